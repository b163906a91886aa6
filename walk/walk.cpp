#include "walk/walk.h"

#include <cinttypes>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "walk/folder_check.h"
#include "walk/progress.h"

double dirTotal = 0.0;
int debugPrint = 0;

const char kListing[] = "*.*";

bool checkFolder(const char* path, bool searchable) {
  c_file entry;
  entry.attrib = 0;  // what the trace shows when the search does not open
  const intptr_t handle = searchable ? findFirst(path, &entry) : -1;
  if (handle != -1) findClose(handle);
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
           bool searchable = true) {
  if (!checkFolder(path.c_str(), searchable)) {
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
  }
  return true;
}

}  // namespace

bool isDirectory(const char* path) {
  return checkFolder(path, true);
}

// Depth-first, in the order the system lists entries, holding one open listing per level. The
// levels live on the heap and the path is one growing buffer, so neither the depth of the tree
// nor the length of its paths is limited by the stack or by a fixed buffer.
double dirSize(const char* top) {
  resetTallies();
  std::string path = top;
  std::vector<Level> levels;
  c_file entry;
  if (!enter(path, path.size(), levels, &entry, !namesAListing(path))) return -2.0;
  while (!levels.empty()) {
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
        dirTotal += double(entry.size);
        countFile(tallies[0], entry.size);
      }
    }
    while (!levels.empty() && findNext(levels.back().handle, &entry) != 0) {
      findClose(levels.back().handle);
      path.resize(levels.back().parentLength);
      levels.pop_back();
    }
  }
  return dirTotal;
}
