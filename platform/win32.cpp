// The services on Windows, on kernel32's wide calls. The tool's strings are UTF-8 here; every path
// goes to the system as UTF-16 with the \\?\ prefix, so neither a name outside the ANSI code page
// nor a path past MAX_PATH is lost. Two departures from the classic 32-bit record: the entry size
// keeps both halves, so a file of 4 GiB or more counts in full, and the search handle travels as
// an intptr_t, so a 64-bit build never truncates it. Standard output is in win32_output.cpp.
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <cwctype>
#include <iterator>
#include <memory>
#include <string>

#include "platform/geometry.h"
#include "platform/platform.h"
#include "platform/win32_text.h"

namespace {

static_assert(sizeof(c_file{}.name) >= 3 * (std::size(WIN32_FIND_DATAW{}.cFileName) - 1) + 1,
              "any name the system returns fits in UTF-8");

// \\?\ switches off the system's parsing of a path: no MAX_PATH limit, and names go through as
// they are, trailing dots and spaces included. It takes only a full path, so the path the caller
// names is made full once and remembered; the walk then names the entries below it by appending
// "\" and names it was given, which go in verbatim.
// Each thread searching has its own: its folders are its own.
struct Base {
  std::string typed;  // as the caller named it
  std::wstring full;  // the system's full path, with the prefix
};
thread_local Base base;

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
  // "D:" alone names the drive's root, as the walk's listing of it ("D:\*.*") does, never the
  // folder that the drive was last in.
  const char root[4] = {path[0], ':', '\\', '\0'};
  if (path[0] != '\0' && path[1] == ':' && path[2] == '\0') path = root;
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

// What the calling thread's last search that came to nothing ran into (searchFault).
thread_local SearchFault fault = {0, false};

// What the system's error means for a search: nothing kept back when the name is not there (any
// more) or the listing has ended, a fault that ends the search when memory or handles ran out,
// else a fault.
SearchFault faultOf(DWORD error) {
  switch (error) {
    case ERROR_SUCCESS:
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_NO_MORE_FILES:
    case ERROR_DIRECTORY:
      return {0, false};
    case ERROR_NOT_ENOUGH_MEMORY:
    case ERROR_OUTOFMEMORY:
    case ERROR_TOO_MANY_OPEN_FILES:
    case ERROR_NO_SYSTEM_RESOURCES:
    case ERROR_NONPAGED_SYSTEM_RESOURCES:
    case ERROR_PAGED_SYSTEM_RESOURCES:
    case ERROR_COMMITMENT_LIMIT:
      return {int(error), true};
    default:
      return {int(error), false};
  }
}

// The letter of the drive the process is on, upper-cased, with its current folder there in
// `folder`; 0 when that folder cannot be read or lies on no drive (a network path).
wchar_t currentLetter(std::wstring* folder) {
  folder->assign(MAX_PATH, L'\0');
  DWORD length = GetCurrentDirectoryW(DWORD(folder->size()), &(*folder)[0]);
  if (length >= folder->size()) {  // too small: the size it needs, with the NUL
    folder->resize(length);
    length = GetCurrentDirectoryW(DWORD(folder->size()), &(*folder)[0]);
  }
  if (length < 2 || length >= folder->size() || (*folder)[1] != L':') return 0;
  folder->resize(length);
  const wchar_t letter = (*folder)[0];
  return letter >= L'a' && letter <= L'z' ? wchar_t(letter - L'a' + L'A') : letter;
}

// Making a drive current by its letter alone ("D:") goes to the folder named by the hidden
// variable "=D:", or to the drive's root when there is none, and only cmd keeps those variables.
// The folder being left is recorded there first, as cmd does, so that coming back to its drive
// lands in it again however the program was started.
void rememberFolderLeft(wchar_t letter) {
  std::wstring folder;
  const wchar_t left = currentLetter(&folder);
  if (left == 0 || left == letter) return;
  const wchar_t variable[4] = {L'=', left, L':', L'\0'};
  SetEnvironmentVariableW(variable, folder.c_str());
}

// A 32-bit process on 64-bit Windows is shown SysWOW64 wherever it names System32, \\?\ paths
// included, so a folder that holds System32 would be sized with the other one in its place. The
// redirection is switched off for the whole run, in every thread that searches, since it is a
// thread's own. It also decides where DLLs load from, and every DLL this program uses is loaded
// with it at start. Found at run time: systems without WOW64 lack the call, and in a 64-bit
// process it does nothing.
using DisableRedirection = BOOL(WINAPI*)(PVOID*);
DisableRedirection disableRedirection = nullptr;  // found once, before any thread searches

void seeSystemFoldersAsThemselves() {
  PVOID previous = nullptr;
  if (disableRedirection != nullptr) disableRedirection(&previous);
}

// The classic call counts clusters in 32 bits, which cannot hold 2^32 clusters (16 TiB with 4 KiB
// clusters): Wine wraps them, Windows may clamp them. The byte counts of the Ex call carry any
// size, and the classic call gives the geometry they are measured in; both are the caller's
// quota-aware figures. `root` is a volume's root, or null for the current drive's.
int volumeGeometry(const wchar_t* root, DiskFree* out) {
  DWORD sectorsPerCluster = 0, bytesPerSector = 0, freeClusters = 0, totalClusters = 0;
  ULARGE_INTEGER available, total;
  if (!GetDiskFreeSpaceW(root, &sectorsPerCluster, &bytesPerSector, &freeClusters,
                         &totalClusters) ||
      !GetDiskFreeSpaceExW(root, &available, &total, nullptr)) {
    const DWORD error = GetLastError();
    // A failure must never read as success (0) at the exit status.
    return error != 0 ? int(error) : ERROR_GEN_FAILURE;
  }
  const uint64_t cluster = uint64_t(sectorsPerCluster) * bytesPerSector;
  if (cluster == 0) return ERROR_INVALID_DATA;
  return fitDiskFree(total.QuadPart / cluster, available.QuadPart / cluster, sectorsPerCluster,
                     bytesPerSector, out)
             ? 0
             : ERROR_ARITHMETIC_OVERFLOW;
}

// The root of the volume that `path` lies on, named as the walk names the path: for a folder on a
// volume mounted in a folder (C:\Data\Photos on a disk mounted at C:\Data), the mount point. The
// system climbs past what does not exist, so a missing path gives the volume of its nearest
// existing folder above. False when the path or its volume cannot be named.
bool volumeRootOf(const char* path, std::wstring* root) {
  std::wstring full;
  if (!systemPath(path, &full)) return false;
  // The root is normally the start of the path; room to spare is left for any other.
  root->assign(full.size() + MAX_PATH, L'\0');
  if (!GetVolumePathNameW(full.c_str(), &(*root)[0], DWORD(root->size()))) return false;
  root->resize(wcslen(root->c_str()));
  // Wine leaves the separator off a mount point typed as the path; Windows documents the classic
  // call's root with one.
  if (root->empty() || root->back() != L'\\') *root += L'\\';
  return true;
}

}  // namespace

int currentDrive() {
  std::wstring folder;
  const wchar_t letter = currentLetter(&folder);
  return letter != 0 ? letter - 64 : 0;
}

int changeDrive(int drive) {
  if (drive < 1 || drive > 31) return -1;
  const wchar_t letter = wchar_t(drive + 64);
  rememberFolderLeft(letter);
  wchar_t path[4] = {letter, L':', L'\0', L'\0'};
  if (SetCurrentDirectoryW(path)) return 0;
  // The folder remembered for the drive may have gone since; the drive is there all the same.
  path[2] = L'\\';
  return SetCurrentDirectoryW(path) ? 0 : -1;
}

const char* pathAdvice() {
  return "A path begins with its drive letter, as in C:\\Users; map a network share to a letter";
}

// A volume that cannot be read is a failure, never its parent's figures. A path the system cannot
// name a volume for leaves the drive's root, which a run without a path reports.
int getDiskFree(int drive, const char* path, DiskFree* out) {
  if (drive < 0 || drive > 26) return ERROR_INVALID_PARAMETER;
  std::wstring volume;
  if (path != nullptr && volumeRootOf(path, &volume)) return volumeGeometry(volume.c_str(), out);
  const wchar_t root[4] = {wchar_t(drive + 64), L':', L'\\', L'\0'};
  return volumeGeometry(drive == 0 ? nullptr : root, out);
}

// The basic level leaves out the short name the tool never reads, and the large fetch takes a
// folder's entries in fewer, larger reads.
// A folder handed over by another thread (findTake) is checked by the thread that takes it, as it
// lists it, so that the thread that handed it over goes on at once.
thread_local std::string unchecked;

intptr_t findFirst(const char* pattern, c_file* entry) {
  fault = {0, false};
  if (!unchecked.empty()) {
    std::string folder;
    folder.swap(unchecked);
    if (folder.compare(0, std::string::npos, pattern, folder.size()) == 0 &&
        strcmp(pattern + folder.size(), "\\*.*") == 0) {
      c_file own;
      const intptr_t check = findFirst(folder.c_str(), &own);
      if (check == -1) return -1;
      findClose(check);
      if (own.attrib != kAttrDirectory) return -1;
    }
  }
  std::wstring path;
  if (!namesOneEntryOrLists(pattern) || !systemPath(pattern, &path)) return -1;
  WIN32_FIND_DATAW data;
  const HANDLE search = FindFirstFileExW(path.c_str(), FindExInfoBasic, &data,
                                         FindExSearchNameMatch, nullptr, FIND_FIRST_EX_LARGE_FETCH);
  if (search == INVALID_HANDLE_VALUE) {
    fault = faultOf(GetLastError());
    return -1;
  }
  fill(data, entry);
  return reinterpret_cast<intptr_t>(search);
}

int findNext(intptr_t handle, c_file* entry) {
  fault = {0, false};
  WIN32_FIND_DATAW data;
  if (handle == -1) return -1;
  if (!FindNextFileW(handleOf(handle), &data)) {
    fault = faultOf(GetLastError());
    return -1;
  }
  fill(data, entry);
  return 0;
}

SearchFault searchFault() {
  return fault;
}

const int kOutOfMemory = ERROR_NOT_ENOUGH_MEMORY;

// The system's message, without the line end and the full stop it ends in.
void errorText(int error, char* out, size_t size) {
  if (size == 0) return;
  wchar_t* text = nullptr;
  const DWORD length = FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, DWORD(error), 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
  std::wstring message = length > 0 ? std::wstring(text, length) : std::wstring();
  if (text != nullptr) LocalFree(text);
  while (!message.empty() && (iswspace(message.back()) || message.back() == L'.')) {
    message.pop_back();
  }
  if (message.empty()) {
    snprintf(out, size, "error %d", error);
    return;
  }
  std::string utf8(3 * message.size() + 1, '\0');
  utf8.resize(toUtf8(message.c_str(), &utf8[0]));
  snprintf(out, size, "%s", utf8.c_str());
}

int findClose(intptr_t handle) {
  return handle != -1 && FindClose(handleOf(handle)) ? 0 : -1;
}

// Windows counts a thread's context switches, not which of them were waits on the system, and
// the time its processors were idle, not how long tasks waited for one.
ProcessTimes processTimes() {
  const auto seconds = [](const FILETIME& time) {  // in 100 ns
    return double((uint64_t(time.dwHighDateTime) << 32) | time.dwLowDateTime) * 1e-7;
  };
  FILETIME created, ended, kernel, user, idle, allKernel, allUser;
  if (!GetProcessTimes(GetCurrentProcess(), &created, &ended, &kernel, &user)) {
    return {0, -1, -1, -1};
  }
  const bool machine = GetSystemTimes(&idle, &allKernel, &allUser);
  return {seconds(kernel) + seconds(user), -1, -1, machine ? seconds(idle) : -1};
}

// Probing a removable drive without a medium must fail quietly, not wait on a dialog.
void startPlatform() {
  SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
  if (const HMODULE kernel = GetModuleHandleW(L"kernel32.dll")) {
    disableRedirection = reinterpret_cast<DisableRedirection>(
        reinterpret_cast<void (*)()>(GetProcAddress(kernel, "Wow64DisableWow64FsRedirection")));
  }
  seeSystemFoldersAsThemselves();
}

// Nothing here holds a search open between calls, so any number of threads can search.
int searchThreads(int wanted) {
  return wanted > 1 ? wanted : 1;
}

// A pass is the folder's full path, which the taker's paths below it extend.
intptr_t findPass(intptr_t, const char* path) {
  std::wstring full;
  if (!systemPath(path, &full)) return -1;
  return reinterpret_cast<intptr_t>(new std::wstring(std::move(full)));
}

// A thread that searches takes a pass first: its search is set up here.
void findTake(intptr_t pass, const char* path) {
  std::unique_ptr<std::wstring> full(reinterpret_cast<std::wstring*>(pass));
  base = {path, std::move(*full)};
  unchecked = path;
  seeSystemFoldersAsThemselves();
}
