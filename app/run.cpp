#include <cerrno>
#include <cstdio>

#include "app/voltally.h"
#include "walk/walk.h"

void printUsage() {
  printf("\nGet the Voltally\n");
  printf("Voltally [drive:] [b|k|m|g|d] d is debug print out\n");
  printf("output %s", "Disk-Capacity Disk-FreeSpace Disk-UsedSpace Directory-Size \n");
  printf("      separate by space\n");
}

namespace {

char upperAscii(char c) {
  return (c >= 'a' && c <= 'z') ? char(c - 'a' + 'A') : c;
}

int displayTypeFor(const char* letter) {
  switch (upperAscii(letter[0])) {
    case 'B':
      return kBytes;
    case 'K':
      return kKBytes;
    case 'G':
      return kGBytes;
    case 'D':
      debugPrint = 1;
      return kMBytes;
    default:
      return kMBytes;
  }
}

// A report that never reached its reader must not end in success: a script would take the
// missing line for a clean run.
int checkedExit(int status) {
  errno = 0;
  if (fflush(stdout) == 0 && !ferror(stdout)) return status;
  if (status != 0) return status;
  return errno != 0 ? errno : EIO;
}

int run(int argc, char** argv) {
  if (argc < 2 || argc > 3) {
    printUsage();
    return -1;
  }
  const int displayType = argc == 3 ? displayTypeFor(argv[2]) : int(kMBytes);
  if (debugPrint) printf("Display type = %d\n", displayType);

  const char* path = argv[1];
  if (debugPrint) printf("Sizing %s\n", path);

  char prefix[3] = {};
  for (int i = 0; i < 2 && path[i] != '\0'; ++i) prefix[i] = upperAscii(path[i]);

  const int drive = findDrive(prefix);
  if (drive == 0) return -1;

  DiskFree disk = {};
  const int result = getDiskFree(drive, path, &disk);
  if (result != 0) {
    printf("-1 ");
    printf("-1 \r");
    finishBareLine();
    return result;
  }
  SizeFigures figures;
  computeFigures(disk, &figures);

  if (debugPrint) printf("call dirSize%s \n", path);
  const double total = dirSize(path);

  printReport(figures, displayType, total);
  finishBareLine();
  return result;
}

}  // namespace

int runVoltally(int argc, char** argv) {
  debugPrint = 0;
  dirTotal = 0.0;
  startPlatform();
  return checkedExit(run(argc, argv));
}
