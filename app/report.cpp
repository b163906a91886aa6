#include "app/numfmt.h"
#include "app/voltally.h"

void computeFigures(const DiskFree& disk, SizeFigures* figures) {
  const double totalSectors = double(disk.totalClusters) * double(disk.sectorsPerCluster);
  figures->capacityBytes = double(disk.bytesPerSector) * totalSectors;
  figures->capacityKBytes = figures->capacityBytes / 1024.0;
  figures->capacityMBytes = figures->capacityKBytes / 1024.0;
  figures->capacityGBytes = figures->capacityMBytes / 1024.0;
  // Unsigned on purpose: the figure must match what the drive's own counts say, wrap included.
  const uint32_t usedClusters = disk.totalClusters - disk.availClusters;
  const double usedSectors = double(disk.sectorsPerCluster) * double(usedClusters);
  figures->usedBytes = double(disk.bytesPerSector) * usedSectors;
  figures->usedKBytes = figures->usedBytes / 1024.0;
  figures->usedMBytes = figures->usedKBytes / 1024.0;
  figures->usedGBytes = figures->usedMBytes / 1024.0;
}

namespace {

// Every column is formatted before the first is written: a line is printed whole or not at all.
void printColumns(double capacity, double freeSpace, double used, double total, int decimals) {
  const std::string columns[4] = {formatFixed(capacity, decimals), formatFixed(freeSpace, decimals),
                                  formatFixed(used, decimals), formatFixed(total, decimals)};
  printOutput("%s ", columns[0].c_str());
  printOutput("%s ", columns[1].c_str());
  printOutput("%s ", columns[2].c_str());
  printOutput("%s\r", columns[3].c_str());
}

}  // namespace

void printReport(const SizeFigures& f, int displayType, double directoryTotal) {
  if (debugPrint) printOutput("Disk-Capacity Disk-FreeSpace Disk-UsedSpace Directory-Size \n");
  if (debugPrint && displayType == kMBytes) printOutput("in MBytes\n");
  switch (displayType) {
    case kBytes:
      printColumns(f.capacityBytes, f.capacityBytes - f.usedBytes, f.usedBytes, directoryTotal, 2);
      break;
    case kKBytes:
      printColumns(f.capacityKBytes, f.capacityKBytes - f.usedKBytes, f.usedKBytes,
                   directoryTotal / 1024.0, 2);
      break;
    case kMBytes:
      printColumns(f.capacityMBytes, (f.capacityBytes - f.usedBytes) / 1024.0 / 1024.0,
                   f.usedMBytes, directoryTotal / 1024.0 / 1024.0, 0);
      break;
    case kGBytes:
      printColumns(f.capacityGBytes, f.capacityGBytes - f.usedGBytes, f.usedGBytes,
                   directoryTotal / 1024.0 / 1024.0 / 1024.0, 2);
      break;
  }
}
