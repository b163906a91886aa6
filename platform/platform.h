// Drive and directory services: the only way the tool reaches the operating system.
//
// Every service reports its outcome by its return value alone; none prints but those whose work
// printing is, and none stops the program but statusEnd after an interrupt. Drives are numbered 1
// (A:) to 26 (Z:); a drive's letter is its number plus 64. Paths begin with a drive letter and a
// colon and separate their components with a backslash. Paths and names are byte strings: on
// Linux the system's own bytes, on Windows UTF-8.
#pragma once

#include <cstddef>
#include <cstdint>

// A drive's geometry. Capacity is totalClusters x sectorsPerCluster x bytesPerSector bytes; the
// product can exceed 32 bits, so callers form it in double precision.
struct DiskFree {
  uint32_t totalClusters;
  uint32_t availClusters;  // clusters the calling user can still write
  uint32_t sectorsPerCluster;
  uint32_t bytesPerSector;
};

enum : uint32_t {
  kAttrReadOnly = 0x01,
  kAttrHidden = 0x02,
  kAttrSystem = 0x04,
  kAttrDirectory = 0x10,
  kAttrArchive = 0x20,
  kAttrReparsePoint = 0x400,  // a symbolic link: reported, never followed
};

// One entry of a directory search.
struct c_file {
  uint32_t attrib;  // attribute bits; an entry with only the "normal" attribute reports 0
  uint32_t timeCreate;
  uint32_t timeAccess;
  uint32_t timeWrite;
  uint64_t size;  // bytes; 0 for folders, links and special files
  // The entry's own name, without its folder. A Windows name of up to 259 UTF-16 units takes up to
  // three bytes a unit in UTF-8; a Linux name at most 255 bytes.
  char name[780];
};

// The drive the process works on, or 0 when it is on none (its current directory cannot be read
// or is a network path).
int currentDrive();

// Makes `drive` current. Returns 0, or -1 when the drive is absent or not ready; numbers outside
// 1..31 fail without asking the system.
int changeDrive(int drive);

// How a person writes a path here, in one sentence for a note that explains a run.
const char* pathAdvice();

// Fills `out` with the geometry of the file system or volume that `path`, a path on `drive` (0 =
// the current drive), lies on, and returns 0: for a mount point, the one mounted there (on Windows
// also a volume mounted in a folder); for a path that does not exist, the one its nearest existing
// folder above lies on; for a null `path`, the drive's root's. Returns the system's error code,
// which is never 0 or -1, when that file system or volume cannot be read: never the figures of the
// one it is mounted on. Numbers outside 0..26 return 87 (invalid parameter). After a failure `out`
// is undefined.
// - Linux: the nearest folder above also stands in for a link that loops, a name too long and a
//   path behind a folder this user may not search; any other error is the failure (ENOTCONN for
//   a FUSE mount whose daemon has died).
// - Windows: the volume's root is the one GetVolumePathNameW names for the path as the search
//   makes it full; a path it names none for gives the drive's root.
int getDiskFree(int drive, const char* path, DiskFree* out);

// Opens a search and fills `entry` with its first match. A pattern whose last component is "*.*"
// lists the folder named by the rest: every entry, "." and ".." included where the system lists
// them. Any other pattern names one entry, its last component a name and never a wildcard: where
// names cannot hold '*' or '?' (Windows), such a pattern finds nothing. A pattern whose last
// component is empty finds nothing. Returns the search's handle, never -1, or -1 when nothing
// matches, with `entry` untouched.
intptr_t findFirst(const char* pattern, c_file* entry);

// Fills `entry` with the search's next match and returns 0, or returns -1 at the end of the
// listing or on a failure, with `entry` untouched.
int findNext(intptr_t handle, c_file* entry);

// Ends a search. Returns 0, or -1 when `handle` is not an open search.
int findClose(intptr_t handle);

// What kept the calling thread's last findFirst that returned -1, or the listing that its last
// findNext ended, from delivering everything. `error` is 0 when nothing was kept back: a name that
// names nothing (or no longer does), a listing read to its end; else the system's error code for
// the first thing kept back, such as a folder that may not be read or an entry that may not be
// looked at. `fatal` says that the search cannot go on for its own reasons, whatever the tree:
// memory ran out, no descriptor is left to list a folder with, or a folder given up to stay
// within the search's descriptors could not be found again as itself. Costs no system call.
struct SearchFault {
  int error;
  bool fatal;
};
SearchFault searchFault();

// The system's error code for memory that ran out.
extern const int kOutOfMemory;

// Writes the system's message for the error code `error` to `out`, which holds `size` bytes, cut
// to fit and NUL-terminated (UTF-8 on Windows).
void errorText(int error, char* out, size_t size);

// Searches on several threads. Each thread's searches are its own: a handle is good only on the
// thread that opened it, and a pattern resolves against that thread's open listings alone, so
// threads share no table and take no lock to search. A folder goes from one thread to another
// only as a pass. findFirst, findNext, findClose, findPass and findTake may run on several
// threads at once; every other service is called by one thread at a time.

// How many threads may search at once: from 1 up to `wanted`, fewer where the system cannot hold
// what that many would keep open (on Linux each open listing holds a descriptor, and the open-file
// limit bounds them all). Divides the folders the search holds open among that many, so that all
// of them together hold no more than one thread alone, plus a few a thread. Called before those
// threads search, and again, with more, as a walk adds threads; it then grants at least as many
// as before, and the threads searching already keep within their new share from their next open.
int searchThreads(int wanted);

// Hands a folder of the calling thread's searches to another thread's: returns a pass for the
// entry `path` of the open listing `listing`, which holds what the folder needs to be found from
// the thread that takes it (on Linux the listing's own folder, open). `path` is the listing's
// folder as its pattern named it, a backslash and the entry's name. Asks nothing of the file
// system, so that the caller never waits on it to hand work over. Returns -1 when the folder
// cannot be handed over from there now.
intptr_t findPass(intptr_t listing, const char* path);

// Takes a pass on the calling thread: its next findFirst of `path`, as given to findPass, with
// "\*.*" after it checks the entry as a folder's own search would and, when it is a plain folder,
// lists it, and patterns below it resolve from there; when it is not, that findFirst finds
// nothing. Every pass is taken exactly once.
void findTake(intptr_t pass, const char* path);

// The status line: standard error, only ever for a person at a terminal (on Windows a console),
// shows the progress of a long walk on one line, rewritten in place and erased before the run
// ends. Nothing else is ever written there but the notes of showNote. One thread draws it;
// statusBegin and statusEnd are called by the run's own thread. On Linux it is written only while
// the program is in its terminal's foreground, so that a run in the background of a shell never
// draws over the prompt nor stops for writing to the terminal; a Windows console has no background.

// The width of the terminal that standard error is, in columns (80 when it does not say); 0 when
// it is none (a file, a pipe, nothing).
int statusColumns();

// Called before the thread that draws is started, and before any other: interrupts then go to the
// thread that draws, which calls statusThread first, even while every other waits on the system.
void statusBegin();
void statusThread();

// Shows `text`, which takes `columns` columns, fewer than the terminal has, and holds no control
// character, in place of the line shown before; an empty `text` erases it. From the first line
// shown, an interrupt (Ctrl+C) no longer ends the run at once but is noted, for the line to be
// erased first; an interrupt that the program was started ignoring stays ignored.
void showStatus(const char* text, size_t columns);

// Whether an interrupt has been noted.
bool statusInterrupted();

// Erases the line and puts interrupts back as they were; after an interrupt noted, ends the run
// as the interrupt would have (on Linux by the signal itself, on Windows with the console's
// STATUS_CONTROL_C_EXIT).
void statusEnd();

// Writes `text`, lines that each end in "\n" and hold no control character but it, to standard
// error when it is a terminal (on Windows a console), once the status line is gone: a note for the
// person at it. Written whether or not the program is in the terminal's foreground, as its report
// is, yet never stopping it there.
void showNote(const char* text);

// How the status line shows text on this system. `separator` is the one a person expects between
// a path's components, for the paths of the walk, which use a backslash: on Linux '/', where a
// backslash is a character of a name. `marksJoin` says that a combining mark or a zero-width
// character joins the character before it, as on a terminal, rather than taking a cell of its
// own, as on a Windows console.
struct StatusText {
  char separator;
  bool marksJoin;
};
StatusText statusText();

// Standard output, the stream of everything the tool reports: formats as printf does and writes the
// text, in which "\n" ends a line (CR LF in a redirected Windows stream) and "\r" goes out alone.
// Output may be held back until finishOutput. Returns 0, or the error code of the first write that
// failed, in this call or an earlier one, which is never 0.
int printOutput(const char* format, ...) __attribute__((format(printf, 1, 2)));

// Process hooks beside the services.
//
// Called once before any service: the Windows build switches off the critical-error dialogs so
// that probing a drive without a medium fails quietly instead of waiting on a click, and WOW64's
// file system redirection so that a 32-bit program sees System32 as itself.
void startPlatform();

// What the process has done so far, every thread of it: the processor time it has used, in
// seconds, and how often one of its threads has waited on the system, giving up its processor
// (-1 where the system does not count that). And the machine's so far, in seconds: for how long
// some task that could run waited for a processor (`crowdedSeconds`), or, where the system does
// not tell that, how long its processors, all together, were idle (`idleSeconds`); -1 for what is
// not told. Against the time gone by, they tell a walk whether its threads work or wait on the
// system, and whether the machine has processors to spare for more of them and for the work they
// ask of the file system.
struct ProcessTimes {
  double processorSeconds;
  int64_t waits;
  double crowdedSeconds;
  double idleSeconds;
};
ProcessTimes processTimes();

// Called after a line that ends in a bare carriage return (the report or the failure marker). A
// person at a console or terminal needs a line feed there, or the prompt overwrites the figures;
// redirected and piped output must stay byte-exact, so nothing is added there.
void finishBareLine();

// Called once, last: writes out whatever output is held back. Returns 0 when all of the run's
// output reached standard output, or the error code of the first write that failed, never 0.
int finishOutput();
