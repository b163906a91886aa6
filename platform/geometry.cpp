#include "platform/geometry.h"

bool fitDiskFree(uint64_t totalClusters, uint64_t availClusters, uint64_t sectorsPerCluster,
                 uint64_t bytesPerSector, DiskFree* out) {
  if (availClusters > totalClusters) availClusters = totalClusters;
  while (totalClusters > UINT32_MAX && sectorsPerCluster <= UINT32_MAX / 2) {
    sectorsPerCluster *= 2;
    totalClusters /= 2;
    availClusters /= 2;
  }
  if (totalClusters > UINT32_MAX || sectorsPerCluster > UINT32_MAX || bytesPerSector > UINT32_MAX) {
    return false;
  }
  out->totalClusters = uint32_t(totalClusters);
  out->availClusters = uint32_t(availClusters);
  out->sectorsPerCluster = uint32_t(sectorsPerCluster);
  out->bytesPerSector = uint32_t(bytesPerSector);
  return true;
}
