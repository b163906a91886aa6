// The services on POSIX systems. The only drive is C:, the root directory.
#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "platform/posix_path.h"

namespace {

const int kDriveC = 3;

// One search. A lookup of a single entry holds no folder; a listing holds its open folder, which
// also serves to resolve the caller's next patterns below it without walking the whole path again.
struct Search {
  bool open;
  bool matchAll;         // the wildcard takes every name, so names need no matching
  bool isBase;           // patterns directly below this listing resolve from its folder
  int fd;                // -1 for a lookup of a single entry
  size_t folderLength;   // a base's folder is this long a prefix of `baseFolder`
  std::string wildcard;  // the final component of a listing's pattern
#ifdef __linux__
  size_t batch;  // this listing's last read in `pool`: its start, length and read position
  size_t batchLength;
  size_t position;
#else
  DIR* dir;
#endif
};

// Slots are reused, so a long walk allocates nothing per folder once it has reached its depth.
std::vector<Search> searches;
// Open base listings, innermost last. Each one's folder, as the caller wrote it, extends the one
// before it, so the innermost one's folder holds them all: memory grows with the depth, not with
// the sum of the path lengths.
std::vector<size_t> listings;
std::string baseFolder;

// A folder check opens the folder it finds and keeps it for the listing that the walk asks for
// next: the listing then costs no second lookup by name and lists the very folder that was
// checked, even if a link has replaced it since.
int checkedFd = -1;
std::string checkedPattern;

// Where findFirst's pattern leads. Below an open listing its parts point into the pattern itself,
// so the hot path copies no path; from the root they point into the translated strings.
struct Target {
  int baseFd;
  const char* folder;  // relative to baseFd, `folderLength` bytes; none for the base folder itself
  size_t folderLength;
  const char* last;  // the final component, NUL-terminated
  bool literal;      // `last` is a name, never a wildcard
  size_t lastStart;  // where the final component starts in the pattern
};
Target target;
// Kept across calls, so that their capacity is reused.
std::string translatedFolder, translatedLast, scratchPath;

intptr_t handleOf(size_t slot) {
  return intptr_t(slot) + 1;
}

Search* searchOf(intptr_t handle) {
  if (handle < 1 || size_t(handle) > searches.size()) return nullptr;
  Search& search = searches[size_t(handle) - 1];
  return search.open ? &search : nullptr;
}

size_t freeSlot() {
  for (size_t slot = searches.size(); slot-- > 0;) {
    if (!searches[slot].open) return slot;
  }
  searches.emplace_back();
  return searches.size() - 1;
}

void dropChecked() {
  if (checkedFd >= 0) close(checkedFd);
  checkedFd = -1;
}

// The folder that the last check opened when `pattern` lists it, else -1.
int takeChecked(const char* pattern, size_t folderLength) {
  const int fd = checkedFd;
  checkedFd = -1;
  if (fd >= 0 && checkedPattern.size() == folderLength &&
      memcmp(checkedPattern.data(), pattern, folderLength) == 0) {
    return fd;
  }
  if (fd >= 0) close(fd);
  return -1;
}

#ifdef __linux__
// Raw listing reads of every open listing share one pool, used as a stack: a listing reads above
// the reads of the listings still open around it, so the walk's memory grows with its depth and
// never with a folder's size. Positions are offsets, so the pool may move when it grows.
const size_t kReadSize = 64 * 1024;  // large folders take few reads
char* pool = nullptr;
size_t poolSize = 0;
size_t poolTop = 0;
size_t openListings = 0;  // with none open, the whole pool is free again

// A batch that ends on top gives its room back; everything still open lies below it.
void releaseBatch(Search& search) {
  if (search.batch + search.batchLength == poolTop) poolTop = search.batch;
  search.batchLength = 0;
}

bool startListing(Search& search, int fd) {
  ++openListings;
  search.fd = fd;
  search.batch = poolTop;
  search.batchLength = 0;
  search.position = 0;
  return true;
}

void endListing(Search& search) {
  close(search.fd);
  releaseBatch(search);
  if (--openListings == 0) poolTop = 0;
}

// The listing's next raw entry, reading the next batch when this one is used up.
bool nextRaw(Search& search, const char** name, unsigned char* type) {
  if (search.position >= search.batchLength) {
    // A batch on top is read over; any other listing reads above the top.
    releaseBatch(search);
    const size_t at = poolTop;
    if (poolSize - at < kReadSize) {
      const size_t size = std::max(std::max(2 * poolSize, 4 * kReadSize), at + kReadSize);
      char* grown = static_cast<char*>(realloc(pool, size));
      if (grown == nullptr) return false;
      pool = grown;
      poolSize = size;
    }
    const ssize_t length = getdents64(search.fd, pool + at, kReadSize);
    search.batch = at;
    search.batchLength = 0;
    search.position = 0;
    if (length <= 0) return false;
    search.batchLength = size_t(length);
    poolTop = at + search.batchLength;
  }
  const auto* d = reinterpret_cast<const struct dirent64*>(pool + search.batch + search.position);
  search.position += d->d_reclen;
  *name = d->d_name;
  *type = d->d_type;
  return true;
}
#else
bool startListing(Search& search, int fd) {
  search.fd = fd;
  search.dir = fdopendir(fd);
  if (search.dir == nullptr) close(fd);
  return search.dir != nullptr;
}

void endListing(Search& search) {
  closedir(search.dir);
}

bool nextRaw(Search& search, const char** name, unsigned char* type) {
  const dirent* d = readdir(search.dir);
  if (d == nullptr) return false;
  *name = d->d_name;
  *type = d->d_type;
  return true;
}
#endif

bool isHidden(const char* name) {
  return name[0] == '.' && strcmp(name, ".") != 0 && strcmp(name, "..") != 0;
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

// Fills `entry` for `name` in the folder `dirFd`. The listing's entry type spares a status call
// for folders, links and special files; only regular and untyped entries are looked at. Returns
// false, leaving `entry` untouched, when the entry cannot be looked at (it vanished, say).
bool describe(int dirFd, const char* name, unsigned char type, c_file* entry) {
  switch (type) {
    case DT_DIR:
      return fill(name, kAttrDirectory, nullptr, entry);
    case DT_LNK:
      return fill(name, kAttrReparsePoint, nullptr, entry);
    case DT_REG:
    case DT_UNKNOWN: {
      struct stat st;
      return fstatat(dirFd, name, &st, AT_SYMLINK_NOFOLLOW) == 0 &&
             fill(name, attribOf(st), &st, entry);
    }
    default:  // fifos, sockets and devices: never opened, counted as empty
      return fill(name, kAttrArchive, nullptr, entry);
  }
}

// Delivers the listing's next entry that matches its wildcard.
bool readMatch(Search& search, c_file* entry) {
  const char* name;
  unsigned char type;
  while (nextRaw(search, &name, &type)) {
    if (!search.matchAll && !matchesWildcard(search.wildcard.c_str(), name)) continue;
    if (describe(search.fd, name, type, entry)) return true;
  }
  return false;
}

// Where a pattern is resolved from: the innermost open listing when the pattern lies directly
// below its folder, else the working directory or root. Returns whether the pattern lies below
// that listing in `below`.
bool resolve(const char* pattern, bool* below) {
  *below = false;
  const size_t n = baseFolder.size();
  if (!listings.empty() && n > 0 && strncmp(pattern, baseFolder.data(), n) == 0 &&
      isSeparator(pattern[n])) {
    // Below an open listing the walk asks for an entry it was given, by name, or for that
    // entry's listing ("name\*.*"). A Linux name may hold '\', '*' or '?', so it is taken whole
    // either way: never split into components, never matched as a wildcard.
    const char* rest = pattern + n + 1;
    const size_t length = strlen(rest);
    const bool listing =
        length > 4 && isSeparator(rest[length - 4]) && strcmp(rest + length - 3, "*.*") == 0;
    target.baseFd = searches[listings.back()].fd;
    target.folder = rest;
    target.folderLength = listing ? length - 4 : 0;
    target.last = listing ? rest + length - 3 : rest;
    target.lastStart = size_t(target.last - pattern);
    target.literal = !listing;
    *below = true;
    return target.last[0] != '\0';
  }
  target.baseFd = AT_FDCWD;
  target.literal = false;
  if (!translatePattern(pattern, &translatedFolder, &translatedLast)) return false;
  target.folder = translatedFolder.c_str();
  target.folderLength = translatedFolder.size();
  target.last = translatedLast.c_str();
  target.lastStart = lastComponent(pattern);
  return true;
}

intptr_t openListing(const char* pattern, bool below, c_file* entry) {
  // A pattern without a separator before its wildcard resolves nothing below it.
  const size_t folderLength = target.lastStart > 0 ? target.lastStart - 1 : 0;
  int fd = takeChecked(pattern, folderLength);
  if (fd < 0) {
    if (target.folderLength > 0) {
      scratchPath.assign(target.folder, target.folderLength);
    } else {
      scratchPath.assign(".");
    }
    fd = openat(target.baseFd, scratchPath.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return -1;
  }
  const size_t slot = freeSlot();
  Search& search = searches[slot];
  if (!startListing(search, fd)) return -1;
  search.matchAll = strcmp(target.last, "*") == 0 || strcmp(target.last, "*.*") == 0;
  if (!search.matchAll) search.wildcard.assign(target.last);
  search.open = true;  // open before the first read, so the pool sees its batch
  if (!readMatch(search, entry)) {
    search.open = false;
    endListing(search);
    return -1;
  }
  // Only a listing that extends the innermost base can resolve below itself; another one leaves
  // the bases as they are, and patterns below it resolve from the root.
  search.isBase = listings.empty() || below;
  if (search.isBase) {
    // Below the innermost base, only this folder's own name is new.
    if (below) {
      baseFolder.append(pattern + baseFolder.size(), folderLength - baseFolder.size());
    } else {
      baseFolder.assign(pattern, folderLength);
    }
    search.folderLength = folderLength;
    listings.push_back(slot);
  }
  return handleOf(slot);
}

intptr_t lookUp(const char* pattern, c_file* entry) {
  const char* path = target.last;
  if (target.baseFd == AT_FDCWD) {
    scratchPath.assign(target.folder, target.folderLength);
    if (scratchPath.back() != '/') scratchPath += '/';
    scratchPath += target.last;
    path = scratchPath.c_str();
  }
  // A folder is checked by opening it, never through a link; what does not open that way is
  // looked at by name, without following a link either.
  struct stat st;
  const int fd = openat(target.baseFd, path, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  if (fd >= 0 && fstat(fd, &st) != 0) {
    close(fd);
    return -1;
  }
  if (fd < 0 && fstatat(target.baseFd, path, &st, AT_SYMLINK_NOFOLLOW) != 0) return -1;
  if (!fill(target.last, attribOf(st), &st, entry)) {
    if (fd >= 0) close(fd);
    return -1;
  }
  if (fd >= 0) {
    checkedFd = fd;
    checkedPattern.assign(pattern);
  }
  const size_t slot = freeSlot();
  searches[slot].open = true;
  searches[slot].fd = -1;
  searches[slot].isBase = false;
  return handleOf(slot);
}

}  // namespace

int currentDrive() {
  char buffer[4096];
  return getcwd(buffer, sizeof buffer) != nullptr || errno == ERANGE ? kDriveC : 0;
}

int changeDrive(int drive) {
  if (drive < 1 || drive > 31) return -1;
  return drive == kDriveC ? 0 : -1;
}

int getDiskFree(int drive, DiskFree* out) {
  if (drive < 0 || drive > 26) return 87;
  if (drive != 0 && drive != kDriveC) return ENOENT;
  struct statvfs vfs;
  if (statvfs("/", &vfs) != 0) return errno != 0 ? errno : EIO;
  uint64_t unit = vfs.f_frsize != 0 ? vfs.f_frsize : vfs.f_bsize;
  uint64_t bytesPerSector = unit % 512 == 0 ? 512 : unit;
  uint64_t sectorsPerCluster = unit / bytesPerSector;
  uint64_t total = vfs.f_blocks;
  uint64_t avail = vfs.f_bavail;
  // Counts are 32 bits wide: on a huge file system, fewer and larger clusters carry the same
  // capacity to within one cluster.
  while (total > UINT32_MAX && sectorsPerCluster <= UINT32_MAX / 2) {
    sectorsPerCluster *= 2;
    total /= 2;
    avail /= 2;
  }
  if (total > UINT32_MAX || bytesPerSector > UINT32_MAX) return EOVERFLOW;
  out->totalClusters = uint32_t(total);
  out->availClusters = uint32_t(avail > total ? total : avail);
  out->sectorsPerCluster = uint32_t(sectorsPerCluster);
  out->bytesPerSector = uint32_t(bytesPerSector);
  return 0;
}

intptr_t findFirst(const char* pattern, c_file* entry) {
  bool below;
  if (!resolve(pattern, &below)) {
    dropChecked();
    return -1;
  }
  if (!target.literal && hasWildcard(target.last)) return openListing(pattern, below, entry);
  dropChecked();
  return lookUp(pattern, entry);
}

int findNext(intptr_t handle, c_file* entry) {
  Search* search = searchOf(handle);
  if (search == nullptr || search->fd < 0) return -1;
  return readMatch(*search, entry) ? 0 : -1;
}

int findClose(intptr_t handle) {
  Search* search = searchOf(handle);
  if (search == nullptr) return -1;
  search->open = false;
  if (search->fd < 0) return 0;
  endListing(*search);
  search->fd = -1;
  if (search->isBase) {
    for (size_t i = listings.size(); i-- > 0;) {
      if (listings[i] == size_t(handle) - 1) {
        listings.erase(listings.begin() + long(i));
        break;
      }
    }
    if (!listings.empty()) baseFolder.resize(searches[listings.back()].folderLength);
  }
  return 0;
}

void startPlatform() {
  // The walk holds one open folder per level: take every descriptor the system grants, so that a
  // tree deeper than the usual soft limit is still counted in full.
  rlimit files;
  if (getrlimit(RLIMIT_NOFILE, &files) == 0 && files.rlim_cur < files.rlim_max) {
    files.rlim_cur = files.rlim_max;
    setrlimit(RLIMIT_NOFILE, &files);
  }
  // A reader that has gone is a failed write like any other, reported by the exit status rather
  // than by a death from a signal.
  signal(SIGPIPE, SIG_IGN);
}

void finishBareLine() {
  if (isatty(STDOUT_FILENO)) putchar('\n');
}
