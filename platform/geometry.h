// A volume's size carried in the 32-bit counts of DiskFree, however large the volume.
#pragma once

#include <cstdint>

#include "platform/platform.h"

// Fills `out` with `totalClusters` clusters of `sectorsPerCluster` x `bytesPerSector` bytes, of
// which `availClusters` (at most all of them) are free. Counts past 32 bits are carried by fewer,
// larger clusters, the sectors per cluster doubled as often as needed, which keeps capacity and
// free space to within one cluster; counts that fit are kept exactly. Returns false when even
// that cannot fit.
bool fitDiskFree(uint64_t totalClusters, uint64_t availClusters, uint64_t sectorsPerCluster,
                 uint64_t bytesPerSector, DiskFree* out);
