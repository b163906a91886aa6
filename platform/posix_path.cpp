#include "platform/posix_path.h"

#include <cstring>

namespace {

// The length of a leading drive letter and its colon, or 0.
size_t driveLength(const char* path) {
  const char letter = char(path[0] | 0x20);
  return letter >= 'a' && letter <= 'z' && path[1] == ':' ? 2 : 0;
}

void toSlashes(std::string* path) {
  for (char& c : *path) {
    if (c == '\\') c = '/';
  }
}

}  // namespace

// From the end: the walk asks this of every folder's path, whose final component is short.
size_t lastComponent(const char* pattern) {
  size_t start = strlen(pattern);
  while (start > 0 && !isSeparator(pattern[start - 1])) --start;
  return start;
}

bool translatePattern(const char* pattern, std::string* folder, std::string* last) {
  const size_t drive = driveLength(pattern);
  if (drive != 0 && (pattern[0] | 0x20) != 'c') return false;
  const char* rest = pattern + drive;
  const size_t start = lastComponent(rest);
  if (rest[start] == '\0') return false;
  last->assign(rest + start);
  if (start == 0) {
    folder->assign(".");
    return true;
  }
  folder->assign(rest, start - 1);
  toSlashes(folder);
  // A leading separator left "" for the root itself.
  if (folder->empty()) folder->assign("/");
  return true;
}

std::string fileSystemPath(const char* path) {
  std::string translated = path + driveLength(path);
  toSlashes(&translated);
  return translated;
}

bool cutToParent(std::string* path) {
  size_t end = path->size();
  while (end > 1 && (*path)[end - 1] == '/') --end;
  if (end == 0 || (end == 1 && ((*path)[0] == '/' || (*path)[0] == '.'))) return false;
  while (end > 0 && (*path)[end - 1] != '/') --end;
  while (end > 1 && (*path)[end - 1] == '/') --end;
  path->resize(end);
  if (path->empty()) path->assign(".");
  return true;
}
