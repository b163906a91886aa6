#include "walk/walk.h"

#include <atomic>
#include <cinttypes>
#include <cstdlib>
#include <mutex>
#include <new>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "walk/folder_check.h"
#include "walk/progress.h"

double dirTotal = 0.0;
int debugPrint = 0;
WalkTrouble walkTrouble = {0, {}, 0, 0, {}};

const char kListing[] = "*.*";

namespace {

// The walk's threads note their trouble under `lock`; `stopped` is set once the walk is to stop,
// and read without the lock by every thread as it goes.
struct TroubleNotes {
  std::mutex lock;
  std::atomic<bool> stopped;
};
TroubleNotes notes;

// Memory set aside (setMemoryAside): the first allocation that fails gives `block` back and lets
// the walk see that memory ran out (`ranOut`); the next one fails as allocations do.
struct Reserve {
  std::atomic<void*> block;
  std::atomic<bool> ranOut;
};
Reserve reserve;
const size_t kReserveBytes = 64 * 1024;

void giveBackReserve() {
  void* block = reserve.block.exchange(nullptr);
  if (block == nullptr) {
    std::set_new_handler(nullptr);  // the allocation then fails as allocations do
    return;
  }
  free(block);
  reserve.ranOut.store(true, std::memory_order_relaxed);
}

}  // namespace

bool setMemoryAside() {
  if (reserve.block.load() == nullptr) {
    reserve.block.store(malloc(kReserveBytes));
    if (reserve.block.load() == nullptr) return false;
    reserve.ranOut.store(false, std::memory_order_relaxed);
  }
  std::set_new_handler(giveBackReserve);
  return true;
}

bool startWalk(const char* top) {
  resetTallies();
  {
    std::lock_guard<std::mutex> hold(notes.lock);
    walkTrouble = {0, {}, 0, 0, {}};
    notes.stopped.store(false, std::memory_order_relaxed);
  }
  if (!setMemoryAside() || reserve.ranOut.load(std::memory_order_relaxed)) {
    stopWalk(kOutOfMemory, top);
    return false;
  }
  return true;
}

bool roomForAnException() {
  void* room = malloc(4096);
  free(room);
  return room != nullptr;
}

bool endWalk(const char* top) {
  if (reserve.ranOut.load(std::memory_order_relaxed)) stopWalk(kOutOfMemory, top);
  return walkTrouble.error == 0;
}

void stopWalk(int error, const std::string& path) {
  std::lock_guard<std::mutex> hold(notes.lock);
  if (walkTrouble.error == 0) {
    walkTrouble.error = error;
    walkTrouble.errorPath = path;
  }
  notes.stopped.store(true, std::memory_order_relaxed);
}

bool walkStopped() {
  return notes.stopped.load(std::memory_order_relaxed) ||
         reserve.ranOut.load(std::memory_order_relaxed);
}

bool noteFault(const std::string& path) {
  const SearchFault fault = searchFault();
  if (fault.fatal) {
    stopWalk(fault.error, path);
    return true;
  }
  if (fault.error == 0) return false;
  std::lock_guard<std::mutex> hold(notes.lock);
  if (walkTrouble.unreadable++ == 0) {
    walkTrouble.firstError = fault.error;
    walkTrouble.firstPath = path;
  }
  return false;
}

bool checkFolder(const char* path, bool searchable, bool top) {
  c_file entry;
  entry.attrib = 0;  // what the trace shows when the search does not open
  const intptr_t handle = searchable ? findFirst(path, &entry) : -1;
  if (handle != -1) {
    findClose(handle);
  } else if (searchable && (!top || searchFault().fatal)) {
    noteFault(path);
  }
  if (debugPrint) {
    printOutput("c_file attrib    %02x, %" PRIdPTR " name %s\n", entry.attrib, handle, path);
  }
  return handle != -1 && entry.attrib == kAttrDirectory;
}

bool namesAListing(const std::string& path) {
  const size_t n = path.size(), k = sizeof kListing - 1;
  if (n < k || path.compare(n - k, k, kListing) != 0) return false;
  const size_t start = n - k;
  return start == 0 || path[start - 1] == '\\' || path[start - 1] == '/' ||
         (start == 2 && path[1] == ':');
}

namespace {

// One open listing of the walk. `parentLength` is where the path is cut back to when the listing
// ends, dropping this folder's name.
struct Level {
  intptr_t handle;
  size_t parentLength;
};

// Checks the folder named by `path` and opens its listing, whose first entry lands in `entry`.
// Returns false when the folder fails its check. A listing that cannot be opened pushes nothing:
// the folder then contributes nothing.
bool enter(std::string& path, size_t parentLength, std::vector<Level>& levels, c_file* entry,
           bool searchable = true, bool top = false) {
  if (!checkFolder(path.c_str(), searchable, top)) {
    if (debugPrint) printOutput("Error invalid directory %s\n", path.c_str());
    return false;
  }
  const size_t length = path.size();
  path += '\\';
  path += kListing;
  if (debugPrint) printOutput("pname=%s\n", path.c_str());
  const intptr_t handle = findFirst(path.c_str(), entry);
  path.resize(length);
  if (handle != -1) {
    levels.push_back({handle, parentLength});
    countFolder(tallies[0], path);
  } else {
    noteFault(path);
  }
  return true;
}

// Depth first, in the order the system lists entries, holding one open listing per level, until
// the tree is walked or a fault stops it. The levels live on the heap and the path is one growing
// buffer, so neither the depth of the tree nor the length of its paths is limited by the stack
// or by a fixed buffer.
bool walkOneThread(const char* top, std::vector<Level>& levels) {
  std::string path = top;
  c_file entry;
  if (!enter(path, path.size(), levels, &entry, !namesAListing(path), true)) return false;
  while (!levels.empty() && !walkStopped()) {
    if (entry.name[0] != '.') {
      if (entry.attrib == kAttrDirectory) {
        const size_t parentLength = path.size();
        const size_t depth = levels.size();
        path += '\\';
        path += entry.name;
        enter(path, parentLength, levels, &entry);
        if (levels.size() > depth) continue;  // the child's first entry is in `entry`
        path.resize(parentLength);
      } else {
        countFile(tallies[0], entry.size);
      }
    }
    while (!levels.empty() && findNext(levels.back().handle, &entry) != 0) {
      if (noteFault(path)) break;
      findClose(levels.back().handle);
      path.resize(levels.back().parentLength);
      levels.pop_back();
    }
  }
  return true;
}

}  // namespace

bool isDirectory(const char* path) {
  return checkFolder(path, true);
}

// Every size is added to one integer of the walk's, turned into the total once, as the walk on
// threads does: the total cannot depend on the order the sizes came in.
double dirSize(const char* top) {
  if (!startWalk(top)) return dirTotal;
  std::vector<Level> levels;
  bool folder = false;
  try {
    folder = walkOneThread(top, levels);
  } catch (const std::bad_alloc&) {
    // Nothing more is asked of the search: the run ends with the failure.
    stopWalk(kOutOfMemory, top);
    return dirTotal;
  }
  for (; !levels.empty(); levels.pop_back()) findClose(levels.back().handle);
  if (!endWalk(top)) return dirTotal;
  if (!folder) return -2.0;
  dirTotal += toDouble(walkBytes());
  return dirTotal;
}
