// What the walk on one thread and the walk on several share: how a folder is checked before it is
// listed, and the pattern that lists it.
#pragma once

#include <string>

// What the walk appends to a folder's path, after a backslash, to list it.
extern const char kListing[];

// Whether `path`, searched exactly as given, is a plain folder (attributes exactly 0x10), with the
// check's trace line in a debug run; `searchable` false stands for a search that cannot open.
bool checkFolder(const char* path, bool searchable);

// A typed path is a name, yet one whose last component is the listing's own pattern would be
// searched as the listing of the folder before it, whose first entry (".") passes for a folder.
bool namesAListing(const std::string& path);
