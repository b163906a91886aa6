// The drive, disk-space and process services on Linux. The only drive is C:, the root directory;
// the directory search lives in posix_search.cpp.
#include <errno.h>
#include <signal.h>
#include <stdarg.h>
#include <sys/resource.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cstdio>

#include "platform/platform.h"

namespace {

const int kDriveC = 3;

int outputError = 0;  // the first failed write's error, 0 while every write has gone through

void noteOutputError() {
  if (outputError == 0) outputError = errno != 0 ? errno : EIO;
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

int printOutput(const char* format, ...) {
  va_list arguments;
  va_start(arguments, format);
  errno = 0;
  if (vprintf(format, arguments) < 0) noteOutputError();
  va_end(arguments);
  return outputError;
}

void finishBareLine() {
  if (isatty(STDOUT_FILENO)) printOutput("\n");
}

int finishOutput() {
  errno = 0;
  if (fflush(stdout) != 0 || ferror(stdout)) noteOutputError();
  return outputError;
}
