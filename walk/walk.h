// Directory sizing: the sum of the sizes that the directory search reports under a folder.
#pragma once

#include <cstdint>
#include <string>

// Every file the walk counts, at every depth, through the whole process.
extern double dirTotal;

// Non-zero turns on the debug trace; set from the command line, read by the walk and the front end.
extern int debugPrint;

// What the last walk could not count, read once it is over. A walk that could not finish for
// its own reasons (memory ran out, no descriptor was left to list a folder with, a folder given up
// could not be found again) has `error`, the system's code, met at `errorPath`: its total means
// nothing. Otherwise `unreadable` folders below the top were left out in part or whole, the first
// of them `firstPath`, for the system's reason `firstError`.
struct WalkTrouble {
  int error;
  std::string errorPath;
  uint64_t unreadable;
  int firstError;
  std::string firstPath;
};
extern WalkTrouble walkTrouble;

// Sets memory aside for a run to end in order once memory runs out, the first thing it does: the
// first allocation that fails gives it back, and a walk then stops, or does not start, as one
// that ran out of memory. Without it, memory can run out before even an exception's own can be
// had, and the C++ runtime then ends the process. False when not even that much can be had.
bool setMemoryAside();

// Whether a little memory is free for an exception: a call that may throw one (starting a thread)
// is made only then, since an exception that the C++ runtime has no memory for ends the process.
// Leaves that memory free, where the exception will find it.
bool roomForAnException();

// True when `path`, searched exactly as given, is a plain folder (attributes exactly 0x10).
bool isDirectory(const char* path);

// Adds the files under `path` to dirTotal and returns it, or returns -2.0 when `path` is not a
// plain folder; a path whose last component is "*.*" names none. Entries whose names begin with '.'
// are passed over; only plain folders are entered, so links, hidden and read-only folders are
// counted like files, never descended.
double dirSize(const char* path);

// As dirSize, the walk spread over `threads` threads, started at once, or, with `threads` 0, over
// as many as pay: one alone while the tree is small and the walk does not wait, then one a
// processor, then more while the threads wait on the system and more of them make the walk
// faster. Never traced, since a trace follows one walk's order.
double dirSizeOnThreads(const char* path, int threads);
