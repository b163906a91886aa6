// The command front end: run sequence, drive resolution, figures and the report line.
#pragma once

#include "platform/platform.h"
#include "walk/walk.h"

enum DisplayType { kBytes = 1, kKBytes = 2, kMBytes = 3, kGBytes = 4 };

// A drive's capacity and used space in every unit; free space is derived when printed.
struct SizeFigures {
  double capacityBytes;
  double capacityKBytes;
  double capacityMBytes;
  double capacityGBytes;
  double usedBytes;
  double usedKBytes;
  double usedMBytes;
  double usedGBytes;
};

// One whole run; returns the process's exit status.
int runVoltally(int argc, char** argv);

void printUsage();

// The number of the reachable drive whose label ("C:") begins with `prefix`, probing B: to Z:,
// or 0. Leaves the current drive as it found it.
int findDrive(const char* prefix);

void computeFigures(const DiskFree& disk, SizeFigures* figures);
void printReport(const SizeFigures& figures, int displayType, double directoryTotal);
