// Listings of the POSIX search: raw reads with getdents64 into one pool that every open listing
// shares, and entries described from the listing's own types. Each function is handed the pool,
// the listing's reads and its open folder; none keeps anything of its own.
#pragma once

#include <sys/stat.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>

#include "platform/platform.h"

// Raw listing reads of every open listing share one pool, used as a stack: a listing reads above
// the reads of the listings still open around it, so memory grows with the depth and never with
// a folder's size. Every open listing's last read lies below `top`; with no listing open the
// whole pool is free (`top` is 0). Reads are held as offsets, so the pool may move when it grows.
struct FreeBytes {
  void operator()(char* bytes) const { free(bytes); }
};
struct Pool {
  std::unique_ptr<char, FreeBytes> bytes;  // grown with realloc, so never value-initialized
  size_t size;
  size_t top;
  size_t listings;  // open listings
};

// One listing's last read: where it starts in the pool, its length, and where its next entry
// starts within it. A listing whose read is used up reads its next one on top of the pool, unless
// it has kept the rest of its entries: it then goes on from `rest` and never reads its folder
// again, so a folder opened anew (whose offsets may name other entries by then) serves only to
// look at them. `rest` is empty unless `kept`. `fault` is what the listing has kept back so far:
// the first entry it could not look at or read that failed, with the error 0 while it has kept
// back nothing.
struct Reads {
  size_t batch;
  size_t length;
  size_t position;
  bool ended;  // a read of the folder gave nothing more, or failed
  bool kept;
  std::string rest;  // each entry after the last read: its type byte, its name and a NUL
  size_t restPosition;
  SearchFault fault;
};

// What the system's error `error` means for a search: nothing kept back when the name is no
// longer there, a fault that ends the search when memory or descriptors ran out, else a fault.
SearchFault faultOf(int error);

void startListing(Pool& pool, Reads& reads);

// Gives the listing's room in the pool back; its folder is the caller's to close.
void endListing(Pool& pool, Reads& reads);

// Reads the rest of the listing from its open folder `fd` into `reads.rest`, so that the folder can
// be closed while the listing goes on. A read that fails ends the listing there, its fault noted:
// the entries read before it are kept.
void keepRest(Pool& pool, Reads& reads, int fd);

// Whether the listing has entries left to deliver.
bool entriesLeft(const Reads& reads);

// Fills `entry` with the listing's next entry that can be described, reading from the open
// folder `fd` when the last read is used up. False at the end of the listing or on a failure,
// which `reads.fault` then holds, as it holds each entry passed over.
bool readEntry(Pool& pool, Reads& reads, int fd, c_file* entry);

uint32_t attribOf(const struct stat& st);

// Fills `entry` for `name`; time stamps and size come from `st`, or are 0 without it. Returns
// false, leaving `entry` untouched, when the name does not fit.
bool fill(const char* name, uint32_t attrib, const struct stat* st, c_file* entry);
