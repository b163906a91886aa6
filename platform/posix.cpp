// The drive, disk-space and process services on Linux. The only drive is C:, the root directory;
// the directory search lives in posix_search.cpp.
#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <signal.h>
#include <stdarg.h>
#include <sys/resource.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/geometry.h"
#include "platform/platform.h"
#include "platform/posix_path.h"

namespace {

const int kDriveC = 3;

int outputError = 0;  // the first failed write's error, 0 while every write has gone through

void noteOutputError() {
  if (outputError == 0) outputError = errno != 0 ? errno : EIO;
}

// Errors of a name that leads to nothing this user can look at: the path or a part of it does not
// exist, is no folder, is a link that loops, is too long, or lies behind a folder that may not be
// searched. Any other error is the file system's own, such as a FUSE mount whose daemon has died
// (ENOTCONN): the folder it is mounted on must not stand in for it.
bool leadsNowhere(int error) {
  return error == ENOENT || error == ENOTDIR || error == ELOOP || error == ENAMETOOLONG ||
         error == EACCES;
}

// statvfs of the file system `path` lies on, or of its nearest folder above when the path leads
// nowhere; "C:" alone and a null `path` are the root. Returns 0 or the error. A path longer than
// the system takes in one piece is not tried.
int statvfsOfPath(const char* path, struct statvfs* vfs) {
  std::string at = path != nullptr ? fileSystemPath(path) : "/";
  for (;;) {
    int error = ENAMETOOLONG;
    if (at.size() < PATH_MAX) error = statvfs(at.c_str(), vfs) == 0 ? 0 : errno;
    if (!leadsNowhere(error)) return error;
    if (!cutToParent(&at)) {
      if (at == "/") return error;
      at = "/";
    }
  }
}

}  // namespace

void errorText(int error, char* out, size_t size) {
  if (size == 0) return;
  // The GNU strerror_r: the message may be a constant string rather than `out`.
  const char* text = strerror_r(error, out, size);
  if (text != out) snprintf(out, size, "%s", text);
}

int currentDrive() {
  char buffer[4096];
  return getcwd(buffer, sizeof buffer) != nullptr || errno == ERANGE ? kDriveC : 0;
}

int changeDrive(int drive) {
  if (drive < 1 || drive > 31) return -1;
  return drive == kDriveC ? 0 : -1;
}

const char* pathAdvice() {
  return "On Linux the one drive, C:, is the root: C:/usr/share; C:. for this folder; \"C:$PWD\"";
}

int getDiskFree(int drive, const char* path, DiskFree* out) {
  if (drive < 0 || drive > 26) return 87;
  if (drive != 0 && drive != kDriveC) return ENOENT;
  struct statvfs vfs;
  const int error = statvfsOfPath(path, &vfs);
  if (error != 0) return error;
  const uint64_t unit = vfs.f_frsize != 0 ? vfs.f_frsize : vfs.f_bsize;
  const uint64_t bytesPerSector = unit % 512 == 0 ? 512 : unit;
  return fitDiskFree(vfs.f_blocks, vfs.f_bavail, unit / bytesPerSector, bytesPerSector, out)
             ? 0
             : EOVERFLOW;
}

// Reads the first line of the file `path` into `line`, `size` bytes at most. Opened and closed
// each time, so that it never holds a descriptor the walk needs.
bool firstLine(const char* path, char* line, size_t size) {
  const int fd = open(path, O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  const ssize_t length = read(fd, line, size - 1);
  close(fd);
  if (length <= 0) return false;
  line[length] = '\0';
  return true;
}

// Linux's pressure stall information: the microseconds in which some task that could run waited
// for a processor, counted precisely. Kernels without it have none (-1).
double crowdedSeconds() {
  char line[256];
  if (!firstLine("/proc/pressure/cpu", line, sizeof line)) return -1;
  const char* total = strstr(line, "total=");
  return total != nullptr ? strtod(total + 6, nullptr) * 1e-6 : -1;
}

// The machine's idle and I/O wait time, from /proc/stat, which counts in clock ticks.
double idleSeconds() {
  char line[256];
  unsigned long long user, nice, system, idle, wait;
  if (!firstLine("/proc/stat", line, sizeof line) ||
      sscanf(line, "cpu %llu %llu %llu %llu %llu", &user, &nice, &system, &idle, &wait) != 5) {
    return -1;
  }
  const long ticks = sysconf(_SC_CLK_TCK);
  return ticks > 0 ? double(idle + wait) / double(ticks) : -1;
}

// The precise pressure where the kernel keeps it; the coarse idle time only where it does not.
ProcessTimes processTimes() {
  rusage used;
  if (getrusage(RUSAGE_SELF, &used) != 0) return {0, -1, -1, -1};
  const auto seconds = [](const timeval& time) {
    return double(time.tv_sec) + double(time.tv_usec) * 1e-6;
  };
  const double crowded = crowdedSeconds();
  return {seconds(used.ru_utime) + seconds(used.ru_stime), int64_t(used.ru_nvcsw), crowded,
          crowded < 0 ? idleSeconds() : -1};
}

void startPlatform() {
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
