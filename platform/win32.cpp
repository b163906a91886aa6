// The services on Windows, on kernel32's wide calls. The tool's strings are UTF-8 here; every path
// goes to the system as UTF-16 with the \\?\ prefix, so neither a name outside the ANSI code page
// nor a path past MAX_PATH is lost. Two departures from the classic 32-bit record: the entry size
// keeps both halves, so a file of 4 GiB or more counts in full, and the search handle travels as
// an intptr_t, so a 64-bit build never truncates it.
//
// Redirected, the C runtime's standard output is in text mode, so "\n" goes out as carriage return
// and line feed, and the report's bare "\r" stays alone, as a Windows console program has always
// written it; a console gets the same lines as startPlatform below says.
#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <string>

#include "platform/platform.h"
#include "platform/win32_text.h"

namespace {

static_assert(sizeof(c_file{}.name) >= 3 * (std::size(WIN32_FIND_DATAW{}.cFileName) - 1) + 1,
              "any name the system returns fits in UTF-8");

// \\?\ switches off the system's parsing of a path: no MAX_PATH limit, and names go through as
// they are, trailing dots and spaces included. It takes only a full path, so the path the caller
// names is made full once and remembered; the walk then names the entries below it by appending
// "\" and names it was given, which go in verbatim.
struct Base {
  std::string typed;  // as the caller named it
  std::wstring full;  // the system's full path, with the prefix
};
Base base;

bool fullPath(const char* path, std::wstring* out) {
  std::wstring wide;
  if (!appendUtf16(path, &wide)) return false;
  const DWORD size = GetFullPathNameW(wide.c_str(), 0, nullptr, nullptr);
  if (size == 0) return false;
  std::wstring full(size, L'\0');
  const DWORD length = GetFullPathNameW(wide.c_str(), size, &full[0], nullptr);
  if (length == 0 || length >= size) return false;
  full.resize(length);
  if (full.compare(0, 4, L"\\\\?\\") == 0 || full.compare(0, 4, L"\\\\.\\") == 0) {
    *out = full;
  } else if (full.compare(0, 2, L"\\\\") == 0) {
    *out = L"\\\\?\\UNC" + full.substr(1);  // \\server\share becomes \\?\UNC\server\share
  } else {
    *out = L"\\\\?\\" + full;
  }
  return true;
}

bool systemPath(const char* path, std::wstring* out) {
  const size_t n = base.typed.size();
  if (n != 0 && strncmp(path, base.typed.c_str(), n) == 0 && path[n] == '\\') {
    *out = base.full;
    return appendUtf16(path + n, out);
  }
  if (!fullPath(path, out)) return false;
  base = {path, *out};
  return true;
}

// Seconds since 1970 cut to 32 bits, as the C runtime's 32-bit time stamps held them. Nothing in
// the tool reads them.
uint32_t unixSeconds(const FILETIME& time) {
  const uint64_t ticks = (uint64_t(time.dwHighDateTime) << 32) | time.dwLowDateTime;
  const uint64_t kEpochTicks = 116444736000000000u;  // 1601-01-01 to 1970-01-01 in 100 ns
  return ticks < kEpochTicks ? 0 : uint32_t((ticks - kEpochTicks) / 10000000u);
}

void fill(const WIN32_FIND_DATAW& data, c_file* entry) {
  entry->attrib = data.dwFileAttributes == FILE_ATTRIBUTE_NORMAL ? 0 : data.dwFileAttributes;
  entry->timeCreate = unixSeconds(data.ftCreationTime);
  entry->timeAccess = unixSeconds(data.ftLastAccessTime);
  entry->timeWrite = unixSeconds(data.ftLastWriteTime);
  entry->size = (uint64_t(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
  toUtf8(data.cFileName, entry->name);
}

// A name cannot hold these, and the system's search reads them as wildcards: a name that holds
// one would be searched as a pattern and found as some other entry. Only the listing's own "*.*"
// goes to the system as a pattern.
bool namesOneEntryOrLists(const char* pattern) {
  const char* last = pattern[0] != '\0' && pattern[1] == ':' ? pattern + 2 : pattern;
  for (const char* at = last; *at != '\0'; ++at) {
    if (*at == '\\' || *at == '/') last = at + 1;
  }
  return strcmp(last, "*.*") == 0 || strpbrk(last, "*?<>\"") == nullptr;
}

HANDLE handleOf(intptr_t handle) {
  return reinterpret_cast<HANDLE>(handle);
}

UINT consoleCodePage = 0;  // the console's own output code page, while the run has set UTF-8

void restoreConsole() {
  if (consoleCodePage != 0) SetConsoleOutputCP(consoleCodePage);
}

BOOL WINAPI restoreOnSignal(DWORD) {
  restoreConsole();
  return FALSE;  // the default handling goes on and ends the process
}

}  // namespace

int currentDrive() {
  std::wstring directory(MAX_PATH, L'\0');
  DWORD length = GetCurrentDirectoryW(DWORD(directory.size()), &directory[0]);
  if (length >= directory.size()) {  // too small: the size it needs, with the NUL
    directory.resize(length);
    length = GetCurrentDirectoryW(DWORD(directory.size()), &directory[0]);
  }
  if (length == 0 || length >= directory.size() || directory[1] != L':') return 0;
  const wchar_t letter = directory[0];
  return (letter >= L'a' && letter <= L'z' ? letter - L'a' + L'A' : letter) - 64;
}

int changeDrive(int drive) {
  if (drive < 1 || drive > 31) return -1;
  const wchar_t path[3] = {wchar_t(drive + 64), L':', L'\0'};
  return SetCurrentDirectoryW(path) ? 0 : -1;
}

int getDiskFree(int drive, const char*, DiskFree* out) {
  if (drive < 0 || drive > 26) return ERROR_INVALID_PARAMETER;
  const wchar_t root[4] = {wchar_t(drive + 64), L':', L'\\', L'\0'};
  DWORD sectorsPerCluster = 0, bytesPerSector = 0, freeClusters = 0, totalClusters = 0;
  if (!GetDiskFreeSpaceW(drive == 0 ? nullptr : root, &sectorsPerCluster, &bytesPerSector,
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

// The basic level leaves out the short name the tool never reads, and the large fetch takes a
// folder's entries in fewer, larger reads.
intptr_t findFirst(const char* pattern, c_file* entry) {
  std::wstring path;
  if (!namesOneEntryOrLists(pattern) || !systemPath(pattern, &path)) return -1;
  WIN32_FIND_DATAW data;
  const HANDLE search = FindFirstFileExW(path.c_str(), FindExInfoBasic, &data,
                                         FindExSearchNameMatch, nullptr, FIND_FIRST_EX_LARGE_FETCH);
  if (search == INVALID_HANDLE_VALUE) return -1;
  fill(data, entry);
  return reinterpret_cast<intptr_t>(search);
}

int findNext(intptr_t handle, c_file* entry) {
  WIN32_FIND_DATAW data;
  if (handle == -1 || !FindNextFileW(handleOf(handle), &data)) return -1;
  fill(data, entry);
  return 0;
}

int findClose(intptr_t handle) {
  return handle != -1 && FindClose(handleOf(handle)) ? 0 : -1;
}

// Probing a removable drive without a medium must fail quietly, not wait on a dialog.
//
// The trace prints names in UTF-8, which a console shows only in its UTF-8 code page: that is set
// for the run and given back at exit, or when the console ends the process. The C runtime's text
// mode would hand a console each byte as a character of the C locale's code page, so a console
// gets the bytes in binary mode, where a line feed still ends the line, and buffered, so that a
// character's bytes arrive in one write. Redirected output stays in text mode, byte for byte.
void startPlatform() {
  SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
  DWORD mode;
  if (!GetConsoleMode(GetStdHandle(STD_OUTPUT_HANDLE), &mode)) return;
  _setmode(_fileno(stdout), _O_BINARY);
  setvbuf(stdout, nullptr, _IOFBF, 4096);
  const UINT codePage = GetConsoleOutputCP();
  if (codePage == CP_UTF8 || consoleCodePage != 0 || !SetConsoleOutputCP(CP_UTF8)) return;
  consoleCodePage = codePage;
  atexit(restoreConsole);
  SetConsoleCtrlHandler(restoreOnSignal, TRUE);
}

// The console's prompt begins on a line of its own, so nothing is added after the bare "\r".
void finishBareLine() {}
