// An in-memory platform linked in place of the real services: drives, folders and entries are
// table rows, every call is recorded, and failures can be injected anywhere.
#pragma once

#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "platform/platform.h"

struct FakeEntry {
  std::string name;
  uint32_t attrib;
  uint64_t size;
};

struct FakePlatform {
  std::set<int> drives = {3};  // drives that can be made current
  int current = 3;
  int diskError = 0;  // what getDiskFree returns when non-zero
  DiskFree disk = {100, 25, 2, 512};
  // Listings by folder path, as the walk spells it; "." and ".." included.
  std::map<std::string, std::vector<FakeEntry>> folders;
  std::set<std::string> failLookup;              // paths whose own search does not open
  std::set<std::string> failListing;             // folders whose listing does not open
  std::map<std::string, size_t> failNextAfter;   // findNext fails once this many were delivered
  std::map<std::string, uint32_t> lookupAttrib;  // what a folder's own search reports instead
  // What searchFault reports after one of the failures above at this path (a folder's, for its
  // listing and findNext); nothing kept back unless set.
  std::map<std::string, SearchFault> faults;
  std::set<std::string> failAllocation;  // patterns whose findFirst finds memory run out
  std::vector<std::string> calls;
  std::set<intptr_t> openHandles;
  std::set<intptr_t> passes;    // handed out by findPass, not yet taken
  int threads = 64;             // the most searchThreads grants
  int listingMicroseconds = 0;  // how long each listing takes to open, as on a slow disk
  int columns = 0;              // the terminal's that standard error is; 0: none
  std::string notes;            // what showNote wrote
};

extern FakePlatform fake;

void resetFake();

// The services may be called from several threads at once; they take turns on one lock. Tests
// set up the tables before a run and read them after it.

// Adds a folder with "." and ".." to the tables and to its parent's listing.
void addFolder(const std::string& path, uint32_t attrib = kAttrDirectory);
void addFile(const std::string& path, uint64_t size, uint32_t attrib = kAttrArchive);

// Runs the tool on the fake platform; returns its exit status and stores what it printed.
int runCaptured(std::vector<std::string> args, std::string* output);
