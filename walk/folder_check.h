// What the walk on one thread and the walk on several share: how a folder is checked before it is
// listed, and the pattern that lists it.
#pragma once

#include <string>

// What the walk appends to a folder's path, after a backslash, to list it.
extern const char kListing[];

// Whether `path`, searched exactly as given, is a plain folder (attributes exactly 0x10), with the
// check's trace line in a debug run; `searchable` false stands for a search that cannot open. A
// check that fails for a reason other than the folder's absence is noted, as noteFault notes it,
// unless the folder is the walk's `top`.
bool checkFolder(const char* path, bool searchable, bool top = false);

// Starts a walk of `top`: nothing counted, nothing in trouble, memory set aside (setMemoryAside)
// if it is not yet. False, the walk failed, when memory has run out already.
bool startWalk(const char* top);

// Ends the walk of `top`: false when it failed, walkTrouble then saying why.
bool endWalk(const char* top);

// Notes what kept the search of the folder `path` from delivering everything, as searchFault tells
// it: a fault that ends the walk, or the folder left out in part or whole. Returns true when the
// walk is to stop. Costs no system call; the lock it takes is taken only for a fault.
bool noteFault(const std::string& path);

// Ends the walk for the system's error `error` met at `path`; the first such end is the one kept.
void stopWalk(int error, const std::string& path);

// Whether a fault has ended the walk: every thread then stops as soon as it looks.
bool walkStopped();

// A typed path is a name, yet one whose last component is the listing's own pattern would be
// searched as the listing of the folder before it, whose first entry (".") passes for a folder.
bool namesAListing(const std::string& path);
