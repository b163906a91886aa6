// Notes for a person at a terminal: why a run printed nothing, or what its line leaves out. Each
// is a line or two of text, every name in it made safe to show; the run writes them to standard
// error only when that is a terminal and the run is not traced, so standard output and the exit
// status never depend on them.
#pragma once

#include <string>

#include "walk/walk.h"

// No reachable drive matches the drive of `path`: the path as typed, and how to write it.
std::string noDriveNote(const char* path);

// The size of the file system or volume that `path` lies on could not be read, for `error`.
std::string driveNote(const char* path, int error);

// Why `path` is no plain folder, so that the walk's total is -2. Looks at the path again, with
// the directory search, to tell what it is.
std::string notAFolderNote(const char* path);

// What the walk of `path` left out, or why it could not finish; "" when it counted everything.
std::string walkNote(const WalkTrouble& trouble);
