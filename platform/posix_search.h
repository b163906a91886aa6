// The tables of the POSIX search, shared by its files: posix_search.cpp resolves patterns and
// provides the services, posix_listing.cpp reads listings, and posix_budget.cpp keeps the
// descriptors the tables hold within a fixed budget. Nothing outside the layer includes it.
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <string>
#include <vector>

#include "platform/posix_listing.h"

// The identity of a folder given up, which the folder found again must have.
struct Away {
  dev_t device;
  ino_t inode;
};

// One search. A lookup of a single entry holds no folder (`fd` -1). A listing holds its open
// folder, except a base past the budget, which has given it up (`fd` -1, `away` recorded, the
// rest of its entries kept in `reads`) until the listing below it closes and it is found again;
// until then it cannot be read. A base whose folder cannot be found again as itself is lost, for
// the reason `lostError` (0 while it is not), and can never be read again.
struct Search {
  bool open;
  bool listing;
  bool isBase;  // on the chain of bases while open
  int lostError;
  int fd;
  Reads reads;
  Away away;
};

// The table of searches: handle h is slot h - 1, open or not. Closed slots are reused, the one
// closed last first, so a long walk allocates nothing per folder once it has reached its depth.
struct Slots {
  std::vector<Search> searches;
  std::vector<size_t> closed;  // every slot whose search is not open
};

// The chain of bases: the open listings that patterns resolve from, innermost last. A listing is
// pushed when it is opened from the root with no base open, or directly below the innermost
// base, so each one's folder lies within the one before it. Their folders, as the caller wrote
// them, extend one another: `folder` is the innermost one's and holds all the others as prefixes
// of lengths `folderLength`, so memory grows with the depth, not with the sum of the path
// lengths.
struct Base {
  size_t slot;
  size_t folderLength;
};
struct Bases {
  std::vector<Base> open;
  std::string folder;
};
