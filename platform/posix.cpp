// The services on POSIX systems. The only drive is C:, the root directory.
#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cstdio>
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
  DIR* dir;               // null for a lookup of a single entry
  std::string folder;     // the pattern up to its final separator, as the caller wrote it
  std::string wildcard;   // the final component of a listing's pattern
};

// Slots are reused, so a long walk allocates nothing per folder once it has reached its depth.
std::vector<Search> searches;
// Open listings, innermost last.
std::vector<size_t> listings;

intptr_t handleOf(size_t slot) { return intptr_t(slot) + 1; }

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
  const int fd = dirfd(search.dir);
  while (const dirent* d = readdir(search.dir)) {
    if (!matchesWildcard(search.wildcard.c_str(), d->d_name)) continue;
    if (describe(fd, d->d_name, d->d_type, entry)) return true;
  }
  return false;
}

// Where a pattern is resolved from: the innermost open listing when the pattern lies directly
// below its folder, else the working directory or root.
struct Target {
  int baseFd;
  std::string folder;  // relative to baseFd; "" for the base folder itself
  std::string last;
  bool literal;  // `last` is a name, never a wildcard
};

bool resolve(const char* pattern, Target* target) {
  if (!listings.empty()) {
    const Search& parent = searches[listings.back()];
    const size_t n = parent.folder.size();
    if (n > 0 && strncmp(pattern, parent.folder.c_str(), n) == 0 && isSeparator(pattern[n])) {
      // Below an open listing the walk asks for an entry it was given, by name, or for that
      // entry's listing ("name\*.*"). A Linux name may hold '\', '*' or '?', so it is taken whole
      // either way: never split into components, never matched as a wildcard.
      const char* rest = pattern + n + 1;
      const size_t length = strlen(rest);
      target->baseFd = dirfd(parent.dir);
      if (length > 4 && isSeparator(rest[length - 4]) && strcmp(rest + length - 3, "*.*") == 0) {
        target->folder.assign(rest, length - 4);
        target->last.assign("*.*");
        target->literal = false;
      } else {
        target->folder.clear();
        target->last.assign(rest);
        target->literal = true;
      }
      return !target->last.empty();
    }
  }
  target->baseFd = AT_FDCWD;
  target->literal = false;
  return translatePattern(pattern, &target->folder, &target->last);
}

intptr_t openListing(const Target& target, const char* pattern, c_file* entry) {
  const char* folder = target.folder.empty() ? "." : target.folder.c_str();
  const int fd = openat(target.baseFd, folder, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return -1;
  DIR* dir = fdopendir(fd);
  if (dir == nullptr) {
    close(fd);
    return -1;
  }
  const size_t slot = freeSlot();
  Search& search = searches[slot];
  search.dir = dir;
  // A pattern without a separator before its wildcard resolves nothing below it.
  const size_t start = lastComponent(pattern);
  search.folder.assign(pattern, start > 0 ? start - 1 : 0);
  search.wildcard = target.last;
  if (!readMatch(search, entry)) {
    closedir(dir);
    return -1;
  }
  search.open = true;
  listings.push_back(slot);
  return handleOf(slot);
}

intptr_t lookUp(const Target& target, c_file* entry) {
  std::string path = target.folder;
  if (!path.empty() && path.back() != '/') path += '/';
  path += target.last;
  struct stat st;
  if (fstatat(target.baseFd, path.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) return -1;
  if (!fill(target.last.c_str(), attribOf(st), &st, entry)) return -1;
  const size_t slot = freeSlot();
  searches[slot].open = true;
  searches[slot].dir = nullptr;
  searches[slot].folder.clear();
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
  Target target;
  if (!resolve(pattern, &target)) return -1;
  if (!target.literal && hasWildcard(target.last.c_str())) {
    return openListing(target, pattern, entry);
  }
  return lookUp(target, entry);
}

int findNext(intptr_t handle, c_file* entry) {
  Search* search = searchOf(handle);
  if (search == nullptr || search->dir == nullptr) return -1;
  return readMatch(*search, entry) ? 0 : -1;
}

int findClose(intptr_t handle) {
  Search* search = searchOf(handle);
  if (search == nullptr) return -1;
  if (search->dir != nullptr) {
    closedir(search->dir);
    search->dir = nullptr;
    for (size_t i = listings.size(); i-- > 0;) {
      if (listings[i] == size_t(handle) - 1) {
        listings.erase(listings.begin() + long(i));
        break;
      }
    }
  }
  search->open = false;
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
