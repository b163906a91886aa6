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
