#include <cstdio>
#include <cstring>

#include "app/voltally.h"

namespace {

struct DriveSlot {
  int drive;
  char label[4];
};

}  // namespace

int findDrive(const char* prefix) {
  DriveSlot slots[26] = {};
  const int remembered = currentDrive();
  const size_t prefixLength = strlen(prefix);
  int slot = 0;
  int result = 0;
  // The probe starts at B:, so a path on A: never resolves; scripts may rely on that.
  for (int drive = 2; drive <= 26; ++drive) {
    if (changeDrive(drive) != 0) continue;
    slots[slot].drive = drive;
    snprintf(slots[slot].label, sizeof slots[slot].label, "%c:", drive + 64);
    if (strncmp(slots[slot].label, prefix, prefixLength) == 0) {
      result = drive;
      break;
    }
    ++slot;
  }
  changeDrive(remembered);
  return result;
}
