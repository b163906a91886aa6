#include "tests/fake_platform.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <new>
#include <thread>

FakePlatform fake;

namespace {

struct FakeSearch {
  const std::vector<FakeEntry>* entries;  // null for a single entry's own search
  size_t next;
  size_t failAfter;
  std::string folder;
};

thread_local SearchFault lastFault = {0, false};
thread_local std::string unchecked;  // a folder taken over, checked as it is listed

// The failure injected at `path`: what it reports, and -1.
int failAt(const std::string& path) {
  const auto fault = fake.faults.find(path);
  lastFault = fault != fake.faults.end() ? fault->second : SearchFault{0, false};
  return -1;
}

std::map<intptr_t, FakeSearch> searches;
intptr_t nextHandle = 100;
std::recursive_mutex turn;

std::string parentOf(const std::string& path) {
  const size_t cut = path.rfind('\\');
  return cut == std::string::npos ? std::string() : path.substr(0, cut);
}

std::string nameOf(const std::string& path) {
  return path.substr(path.rfind('\\') + 1);
}

void deliver(const FakeEntry& from, c_file* entry) {
  *entry = c_file{};
  entry->attrib = from.attrib;
  entry->size = from.size;
  snprintf(entry->name, sizeof entry->name, "%s", from.name.c_str());
}

const FakeEntry* findEntry(const std::string& path) {
  const auto folder = fake.folders.find(parentOf(path));
  if (folder == fake.folders.end()) return nullptr;
  for (const FakeEntry& e : folder->second) {
    if (e.name == nameOf(path)) return &e;
  }
  return nullptr;
}

}  // namespace

void resetFake() {
  fake = FakePlatform();
  searches.clear();
  nextHandle = 100;
  fake.folders["C:"] = {};
}

void addFolder(const std::string& path, uint32_t attrib) {
  fake.folders[parentOf(path)].push_back({nameOf(path), attrib, 0});
  fake.folders[path] = {{".", kAttrDirectory, 0}, {"..", kAttrDirectory, 0}};
}

void addFile(const std::string& path, uint64_t size, uint32_t attrib) {
  fake.folders[parentOf(path)].push_back({nameOf(path), attrib, size});
}

int currentDrive() {
  std::lock_guard<std::recursive_mutex> hold(turn);
  fake.calls.push_back("currentDrive");
  return fake.current;
}

int changeDrive(int drive) {
  std::lock_guard<std::recursive_mutex> hold(turn);
  fake.calls.push_back("changeDrive " + std::to_string(drive));
  if (fake.drives.count(drive) == 0) return -1;
  fake.current = drive;
  return 0;
}

const char* pathAdvice() {
  return "Begin with the drive.";
}

int getDiskFree(int drive, const char* path, DiskFree* out) {
  std::lock_guard<std::recursive_mutex> hold(turn);
  fake.calls.push_back("getDiskFree " + std::to_string(drive) + " " + path);
  if (fake.diskError != 0) return fake.diskError;
  *out = fake.disk;
  return 0;
}

intptr_t findFirst(const char* pattern, c_file* entry) {
  if (fake.listingMicroseconds > 0 && strstr(pattern, "*.*") != nullptr) {
    std::this_thread::sleep_for(std::chrono::microseconds(fake.listingMicroseconds));
  }
  std::lock_guard<std::recursive_mutex> hold(turn);
  fake.calls.push_back(std::string("findFirst ") + pattern);
  lastFault = {0, false};
  const std::string p = pattern;
  if (fake.failAllocation.count(p) != 0) throw std::bad_alloc();
  if (!unchecked.empty()) {
    const std::string folder = std::move(unchecked);
    unchecked.clear();
    if (p == folder + "\\*.*") {
      c_file own;
      const intptr_t check = findFirst(folder.c_str(), &own);
      if (check == -1) return -1;
      findClose(check);
      if (own.attrib != kAttrDirectory) return -1;
    }
  }
  const std::string suffix = "\\*.*";
  FakeSearch search = {nullptr, 1, SIZE_MAX, {}};
  if (p.size() > suffix.size() && p.compare(p.size() - suffix.size(), suffix.size(), suffix) == 0) {
    const std::string folder = p.substr(0, p.size() - suffix.size());
    const auto it = fake.folders.find(folder);
    if (it == fake.folders.end() || it->second.empty() || fake.failListing.count(folder)) {
      return failAt(folder);
    }
    search.entries = &it->second;
    search.folder = folder;
    if (fake.failNextAfter.count(folder)) search.failAfter = fake.failNextAfter[folder];
    deliver(it->second[0], entry);
  } else {
    const FakeEntry* found = findEntry(p);
    if (found == nullptr || fake.failLookup.count(p)) return failAt(p);
    deliver(*found, entry);
    if (fake.lookupAttrib.count(p)) entry->attrib = fake.lookupAttrib[p];
  }
  const intptr_t handle = nextHandle++;
  searches[handle] = search;
  fake.openHandles.insert(handle);
  return handle;
}

int findNext(intptr_t handle, c_file* entry) {
  std::lock_guard<std::recursive_mutex> hold(turn);
  fake.calls.push_back("findNext");
  lastFault = {0, false};
  const auto it = searches.find(handle);
  if (it == searches.end() || it->second.entries == nullptr) return -1;
  FakeSearch& search = it->second;
  if (search.next >= search.failAfter) return failAt(search.folder);
  if (search.next >= search.entries->size()) return -1;
  deliver((*search.entries)[search.next++], entry);
  return 0;
}

int findClose(intptr_t handle) {
  std::lock_guard<std::recursive_mutex> hold(turn);
  fake.calls.push_back("findClose");
  if (searches.erase(handle) == 0) return -1;
  fake.openHandles.erase(handle);
  return 0;
}

SearchFault searchFault() {
  return lastFault;
}

const int kOutOfMemory = 12;

void errorText(int error, char* out, size_t size) {
  snprintf(out, size, "error %d", error);
}

int searchThreads(int wanted) {
  std::lock_guard<std::recursive_mutex> hold(turn);
  fake.calls.push_back("searchThreads " + std::to_string(wanted));
  return std::max(1, std::min(wanted, fake.threads));
}

intptr_t findPass(intptr_t listing, const char* path) {
  std::lock_guard<std::recursive_mutex> hold(turn);
  fake.calls.push_back(std::string("findPass ") + path);
  const auto search = searches.find(listing);
  if (search == searches.end() || search->second.entries == nullptr || findEntry(path) == nullptr) {
    return -1;
  }
  fake.passes.insert(nextHandle);
  return nextHandle++;
}

// The folder is checked as its taker lists it, as the real services check it.
void findTake(intptr_t pass, const char* path) {
  std::lock_guard<std::recursive_mutex> hold(turn);
  fake.calls.push_back("findTake");
  if (fake.passes.erase(pass) == 0) fake.calls.push_back("findTake of no pass");
  unchecked = path;
}

// Standard error is a terminal of fake.columns columns, where nothing is drawn.
int statusColumns() {
  return fake.columns;
}
void statusBegin() {}
void statusThread() {}
void showStatus(const char*, size_t) {}
bool statusInterrupted() {
  return false;
}
void statusEnd() {}
void showNote(const char* text) {
  std::lock_guard<std::recursive_mutex> hold(turn);
  fake.notes += text;
}
StatusText statusText() {
  return {'\\', true};
}

int printOutput(const char* format, ...) {
  va_list arguments;
  va_start(arguments, format);
  vprintf(format, arguments);
  va_end(arguments);
  return 0;
}

ProcessTimes processTimes() {
  return {0, -1, -1, -1};
}

void startPlatform() {}

void finishBareLine() {}

int finishOutput() {
  return fflush(stdout) == 0 ? 0 : EIO;
}
