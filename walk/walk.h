// Directory sizing: the sum of the sizes that the directory search reports under a folder.
#pragma once

// Every file the walk counts, at every depth, through the whole process.
extern double dirTotal;

// Non-zero turns on the debug trace; set from the command line, read by the walk and the front end.
extern int debugPrint;

// True when `path`, searched exactly as given, is a plain folder (attributes exactly 0x10).
bool isDirectory(const char* path);

// Adds the files under `path` to dirTotal and returns it, or returns -2.0 when `path` is not a
// plain folder; a path whose last component is "*.*" names none. Entries whose names begin with '.'
// are passed over; only plain folders are entered, so links, hidden and read-only folders are
// counted like files, never descended.
double dirSize(const char* path);

// As dirSize, the walk spread over up to `threads` threads, and never traced, since a trace
// follows one walk's order. With `threads` 0 it takes defaultThreads(), started only once the
// walk has entered enough folders, so that a small tree is walked by the calling thread alone.
double dirSizeOnThreads(const char* path, int threads);

// The threads a walk takes unless told otherwise: a few for each processor, within a cap.
int defaultThreads();
