#include "platform/posix_listing.h"

#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace {

const size_t kReadSize = 64 * 1024;  // large folders take few reads

// A read that ends on top gives its room back; everything still open lies below it.
void releaseBatch(Pool& pool, Reads& reads) {
  if (reads.batch + reads.length == pool.top) pool.top = reads.batch;
  reads.length = 0;
}

// Room for one read on top of the pool.
bool reserveRead(Pool& pool) {
  if (pool.size - pool.top >= kReadSize) return true;
  const size_t size = std::max(std::max(2 * pool.size, 4 * kReadSize), pool.top + kReadSize);
  char* grown = static_cast<char*>(realloc(pool.bytes.get(), size));
  if (grown == nullptr) return false;
  pool.bytes.release();
  pool.bytes.reset(grown);
  pool.size = size;
  return true;
}

// The first fault a listing meets is the one it reports.
void note(Reads& reads, int error) {
  if (reads.fault.error == 0) reads.fault = faultOf(error);
}

// The next of the entries a listing kept, null after the last.
const char* nextKept(Reads& reads, unsigned char* type) {
  if (reads.restPosition >= reads.rest.size()) return nullptr;
  const char* at = reads.rest.data() + reads.restPosition;
  *type = static_cast<unsigned char>(at[0]);
  reads.restPosition += strlen(at + 1) + 2;
  return at + 1;
}

// The listing's next name and its type, reading the next batch when this one is used up; null at
// the end of the listing or on a failure.
const char* nextName(Pool& pool, Reads& reads, int fd, unsigned char* type) {
  if (reads.position >= reads.length) {
    // A read on top is read over; any other listing reads above the top.
    releaseBatch(pool, reads);
    if (reads.kept) return nextKept(reads, type);
    if (reads.ended) return nullptr;
    if (!reserveRead(pool)) {
      reads.ended = true;
      note(reads, ENOMEM);
      return nullptr;
    }
    const ssize_t length = getdents64(fd, pool.bytes.get() + pool.top, kReadSize);
    reads.batch = pool.top;
    reads.position = 0;
    reads.ended = length <= 0;
    if (length < 0) note(reads, errno);
    if (reads.ended) return nullptr;
    reads.length = size_t(length);
    pool.top += reads.length;
  }
  const auto* d =
      reinterpret_cast<const dirent64*>(pool.bytes.get() + reads.batch + reads.position);
  reads.position += d->d_reclen;
  *type = d->d_type;
  return d->d_name;
}

bool isHidden(const char* name) {
  return name[0] == '.' && strcmp(name, ".") != 0 && strcmp(name, "..") != 0;
}

// Fills `entry` for `name` in the folder `dirFd`. The listing's entry type spares a status call
// for folders, links and special files; only regular and untyped entries are looked at. Returns
// false, leaving `entry` untouched, when the entry cannot be looked at (it vanished, say), the
// reason noted in `reads`.
bool describe(Reads& reads, int dirFd, const char* name, unsigned char type, c_file* entry) {
  switch (type) {
    case DT_DIR:
      return fill(name, kAttrDirectory, nullptr, entry);
    case DT_LNK:
      return fill(name, kAttrReparsePoint, nullptr, entry);
    case DT_REG:
    case DT_UNKNOWN: {
      struct stat st;
      if (fstatat(dirFd, name, &st, AT_SYMLINK_NOFOLLOW) != 0) {
        note(reads, errno);
        return false;
      }
      return fill(name, attribOf(st), &st, entry);
    }
    default:  // fifos, sockets and devices: never opened, counted as empty
      return fill(name, kAttrArchive, nullptr, entry);
  }
}

}  // namespace

void startListing(Pool& pool, Reads& reads) {
  ++pool.listings;
  reads.batch = pool.top;
  reads.length = 0;
  reads.position = 0;
  reads.ended = false;
  reads.kept = false;
  reads.restPosition = 0;
  reads.fault = {0, false};
}

void endListing(Pool& pool, Reads& reads) {
  releaseBatch(pool, reads);
  if (--pool.listings == 0) pool.top = 0;
  std::string().swap(reads.rest);  // its memory too: only folders past the budget keep any
  reads.kept = false;
}

// The reads go above the pool's top and are never kept there: each one is copied out at once. A
// listing given up before has its rest already, and its folder, opened anew, would list again
// from the start.
void keepRest(Pool& pool, Reads& reads, int fd) {
  if (reads.kept) return;
  reads.kept = true;
  if (reads.ended) return;  // nothing left to keep
  for (;;) {
    if (!reserveRead(pool)) {
      note(reads, ENOMEM);
      return;
    }
    const ssize_t length = getdents64(fd, pool.bytes.get() + pool.top, kReadSize);
    if (length < 0) note(reads, errno);
    if (length <= 0) return;
    for (ssize_t at = 0; at < length;) {
      const auto* d = reinterpret_cast<const dirent64*>(pool.bytes.get() + pool.top + at);
      reads.rest += char(d->d_type);
      reads.rest.append(d->d_name, strlen(d->d_name) + 1);
      at += d->d_reclen;
    }
  }
}

bool entriesLeft(const Reads& reads) {
  if (reads.position < reads.length) return true;
  return reads.kept ? reads.restPosition < reads.rest.size() : !reads.ended;
}

bool readEntry(Pool& pool, Reads& reads, int fd, c_file* entry) {
  unsigned char type;
  while (const char* name = nextName(pool, reads, fd, &type)) {
    if (describe(reads, fd, name, type, entry)) return true;
  }
  return false;
}

SearchFault faultOf(int error) {
  switch (error) {
    case 0:
    case ENOENT:
    case ENOTDIR:
      return {0, false};
    case ENOMEM:
    case EMFILE:
    case ENFILE:
      return {error, true};
    default:
      return {error, false};
  }
}

uint32_t attribOf(const struct stat& st) {
  if (S_ISDIR(st.st_mode)) return kAttrDirectory;
  if (S_ISLNK(st.st_mode)) return kAttrReparsePoint;
  const bool writable = (st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) != 0;
  return S_ISREG(st.st_mode) && !writable ? kAttrArchive | kAttrReadOnly : kAttrArchive;
}

bool fill(const char* name, uint32_t attrib, const struct stat* st, c_file* entry) {
  const size_t length = strlen(name);
  if (length >= sizeof entry->name) return false;
  entry->attrib = isHidden(name) ? attrib | kAttrHidden : attrib;
  entry->size = st != nullptr && S_ISREG(st->st_mode) ? uint64_t(st->st_size) : 0;
  entry->timeCreate = st != nullptr ? uint32_t(st->st_ctime) : 0;
  entry->timeAccess = st != nullptr ? uint32_t(st->st_atime) : 0;
  entry->timeWrite = st != nullptr ? uint32_t(st->st_mtime) : 0;
  memcpy(entry->name, name, length + 1);
  return true;
}
