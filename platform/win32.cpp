// The services on Windows, straight onto kernel32's ANSI calls. Two departures from the classic
// 32-bit record: the entry size keeps both halves, so a file of 4 GiB or more counts in full, and
// the search handle travels as an intptr_t, so a 64-bit build never truncates it.
//
// Output needs nothing here: the C runtime's standard output is in text mode, so "\n" goes out as
// carriage return and line feed, and the report's bare "\r" stays alone, as a Windows console
// program has always written it.
#include <windows.h>

#include <cstring>

#include "platform/platform.h"

namespace {

static_assert(sizeof(WIN32_FIND_DATAA{}.cFileName) == sizeof(c_file{}.name),
              "an entry's name is copied whole");

// Seconds since 1970 cut to 32 bits, as the C runtime's 32-bit time stamps held them. Nothing in
// the tool reads them.
uint32_t unixSeconds(const FILETIME& time) {
  const uint64_t ticks = (uint64_t(time.dwHighDateTime) << 32) | time.dwLowDateTime;
  const uint64_t kEpochTicks = 116444736000000000u;  // 1601-01-01 to 1970-01-01 in 100 ns
  return ticks < kEpochTicks ? 0 : uint32_t((ticks - kEpochTicks) / 10000000u);
}

void fill(const WIN32_FIND_DATAA& data, c_file* entry) {
  entry->attrib = data.dwFileAttributes == FILE_ATTRIBUTE_NORMAL ? 0 : data.dwFileAttributes;
  entry->timeCreate = unixSeconds(data.ftCreationTime);
  entry->timeAccess = unixSeconds(data.ftLastAccessTime);
  entry->timeWrite = unixSeconds(data.ftLastWriteTime);
  entry->size = (uint64_t(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
  memcpy(entry->name, data.cFileName, sizeof entry->name);
}

HANDLE handleOf(intptr_t handle) {
  return reinterpret_cast<HANDLE>(handle);
}

}  // namespace

int currentDrive() {
  char directory[MAX_PATH];
  const DWORD length = GetCurrentDirectoryA(sizeof directory, directory);
  // 0 is a failure; a length that does not fit is the size the directory would need.
  if (length == 0 || length >= sizeof directory || directory[1] != ':') return 0;
  const char letter = directory[0];
  return (letter >= 'a' && letter <= 'z' ? letter - 'a' + 'A' : letter) - 64;
}

int changeDrive(int drive) {
  if (drive < 1 || drive > 31) return -1;
  const char path[3] = {char(drive + 64), ':', '\0'};
  return SetCurrentDirectoryA(path) ? 0 : -1;
}

int getDiskFree(int drive, DiskFree* out) {
  if (drive < 0 || drive > 26) return ERROR_INVALID_PARAMETER;
  const char root[4] = {char(drive + 64), ':', '\\', '\0'};
  DWORD sectorsPerCluster = 0, bytesPerSector = 0, freeClusters = 0, totalClusters = 0;
  if (!GetDiskFreeSpaceA(drive == 0 ? nullptr : root, &sectorsPerCluster, &bytesPerSector,
                         &freeClusters, &totalClusters)) {
    const DWORD error = GetLastError();
    // A failure must never read as success (0) at the exit status.
    return error != 0 ? int(error) : ERROR_GEN_FAILURE;
  }
  out->totalClusters = totalClusters;
  out->availClusters = freeClusters;
  out->sectorsPerCluster = sectorsPerCluster;
  out->bytesPerSector = bytesPerSector;
  return 0;
}

intptr_t findFirst(const char* pattern, c_file* entry) {
  WIN32_FIND_DATAA data;
  const HANDLE search = FindFirstFileA(pattern, &data);
  if (search == INVALID_HANDLE_VALUE) return -1;
  fill(data, entry);
  return reinterpret_cast<intptr_t>(search);
}

int findNext(intptr_t handle, c_file* entry) {
  WIN32_FIND_DATAA data;
  if (handle == -1 || !FindNextFileA(handleOf(handle), &data)) return -1;
  fill(data, entry);
  return 0;
}

int findClose(intptr_t handle) {
  return handle != -1 && FindClose(handleOf(handle)) ? 0 : -1;
}

// Probing a removable drive without a medium must fail quietly, not wait on a dialog.
void startPlatform() {
  SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
}

// The console's prompt begins on a line of its own, so nothing is added after the bare "\r".
void finishBareLine() {}
