// The drive, disk-space and process services on Linux. The only drive is C:, the root directory;
// the directory search lives in posix_search.cpp.
#include <errno.h>
#include <limits.h>
#include <signal.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cstdio>
#include <string>

#include "platform/platform.h"
#include "platform/posix_path.h"

namespace {

const int kDriveC = 3;

// The file system of `path`, or of the nearest folder above it that can be looked at. A path
// longer than the system takes in one piece is not tried.
bool statvfsOfPath(const char* path, struct statvfs* vfs) {
  if (path == nullptr) return false;
  std::string at = fileSystemPath(path);
  do {
    if (at.size() < PATH_MAX && statvfs(at.c_str(), vfs) == 0) return true;
  } while (cutToParent(&at));
  return false;
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

int getDiskFree(int drive, const char* path, DiskFree* out) {
  if (drive < 0 || drive > 26) return 87;
  if (drive != 0 && drive != kDriveC) return ENOENT;
  struct statvfs vfs;
  if (!statvfsOfPath(path, &vfs) && statvfs("/", &vfs) != 0) return errno != 0 ? errno : EIO;
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

void startPlatform() {
  // A reader that has gone is a failed write like any other, reported by the exit status rather
  // than by a death from a signal.
  signal(SIGPIPE, SIG_IGN);
}

void finishBareLine() {
  if (isatty(STDOUT_FILENO)) putchar('\n');
}
