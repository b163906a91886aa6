#include <cstdlib>
#include <cstring>
#include <new>

#include "app/notes.h"
#include "app/progress.h"
#include "app/voltally.h"
#include "walk/walk.h"

void printUsage() {
  printOutput("\nGet the Voltally\n");
  printOutput("Voltally [drive:] [b|k|m|g|d] d is debug print out\n");
  printOutput("output %s", "Disk-Capacity Disk-FreeSpace Disk-UsedSpace Directory-Size \n");
  printOutput("      separate by space\n");
}

namespace {

const long kMostThreadsWanted = 1024;

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

// VOLTALLY_THREADS, a whole number of threads for the walk from 1 up; 0 (the default) when it is
// unset or anything else.
int threadsWanted() {
  const char* setting = std::getenv("VOLTALLY_THREADS");
  if (setting == nullptr || *setting == '\0') return 0;
  long threads = 0;
  for (const char* at = setting; *at != '\0'; ++at) {
    if (*at < '0' || *at > '9' || threads > kMostThreadsWanted) return 0;
    threads = 10 * threads + (*at - '0');
  }
  return threads <= kMostThreadsWanted ? int(threads) : 0;
}

// No drive is named so: asking for help can never hide a path to size.
bool asksForHelp(const char* word) {
  return strcmp(word, "-h") == 0 || strcmp(word, "--help") == 0 || strcmp(word, "/?") == 0 ||
         strcmp(word, "-?") == 0;
}

// The line that stands for figures that could not be had, ended as the report is.
void printFailureMarker() {
  printOutput("-1 ");
  printOutput("-1 \r");
  finishBareLine();
}

// Notes are for a person at a terminal, and a trace is its own account of the run.
bool forAPerson() {
  return !debugPrint && statusColumns() > 0;
}

// A report that never reached its reader must not end in success: a script would take the
// missing line for a clean run.
int checkedExit(int status) {
  const int outputError = finishOutput();
  return status != 0 ? status : outputError;
}

// One run, up to its last output; what a person at a terminal should be told of it goes to `note`.
int run(int argc, char** argv, std::string* note) {
  if (argc < 2 || argc > 3) {
    printUsage();
    return -1;
  }
  if (asksForHelp(argv[1])) {
    printUsage();
    return 0;
  }
  if (strcmp(argv[1], "--version") == 0) {
    printOutput("Voltally %s\n", VOLTALLY_VERSION);
    return 0;
  }
  const int displayType = argc == 3 ? displayTypeFor(argv[2]) : int(kMBytes);
  if (debugPrint) printOutput("Display type = %d\n", displayType);

  const char* path = argv[1];
  if (debugPrint) printOutput("Sizing %s\n", path);

  char prefix[3] = {};
  for (int i = 0; i < 2 && path[i] != '\0'; ++i) prefix[i] = upperAscii(path[i]);

  const int drive = findDrive(prefix);
  if (drive == 0) {
    if (forAPerson()) *note = noDriveNote(path);
    return -1;
  }

  DiskFree disk = {};
  const int result = getDiskFree(drive, path, &disk);
  if (result != 0) {
    printFailureMarker();
    if (forAPerson()) *note = driveNote(path, result);
    return result;
  }
  SizeFigures figures;
  computeFigures(disk, &figures);

  if (debugPrint) printOutput("call dirSize%s \n", path);
  // A trace follows one walk's order, and one thread is that walk, call for call; a trace is its
  // own progress.
  const int threads = debugPrint ? 1 : threadsWanted();
  Progress progress;
  if (!debugPrint) startProgress(progress, displayType);
  const double total = threads == 1 ? dirSize(path) : dirSizeOnThreads(path, threads);
  endProgress(progress);
  // A walk that could not finish has no total to give, however plausible its count so far.
  if (walkTrouble.error != 0) {
    printFailureMarker();
    if (forAPerson()) *note = walkNote(walkTrouble);
    return walkTrouble.error;
  }

  printReport(figures, displayType, total);
  finishBareLine();
  if ((total == -2.0 || walkTrouble.unreadable > 0) && forAPerson()) {
    *note = total == -2.0 ? notAFolderNote(path) : walkNote(walkTrouble);
  }
  return result;
}

}  // namespace

int runVoltally(int argc, char** argv) {
  debugPrint = 0;
  dirTotal = 0.0;
  startPlatform();
  int status;
  std::string note;
  try {
    if (setMemoryAside()) {
      status = run(argc, argv, &note);
    } else {
      printFailureMarker();
      status = kOutOfMemory;
    }
  } catch (const std::bad_alloc&) {
    // The report is made whole before any of it is written, so nothing of it is out yet.
    printFailureMarker();
    status = kOutOfMemory;
  }
  status = checkedExit(status);
  // After the report, which standard output may have held back until now.
  if (!note.empty()) showNote(note.c_str());
  return status;
}
