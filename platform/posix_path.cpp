#include "platform/posix_path.h"

#include <cstring>

// From the end: the walk asks this of every folder's path, whose final component is short.
size_t lastComponent(const char* pattern) {
  size_t start = strlen(pattern);
  while (start > 0 && !isSeparator(pattern[start - 1])) --start;
  return start;
}

bool translatePattern(const char* pattern, std::string* folder, std::string* last) {
  const char* rest = pattern;
  if (((pattern[0] | 0x20) >= 'a' && (pattern[0] | 0x20) <= 'z') && pattern[1] == ':') {
    if ((pattern[0] | 0x20) != 'c') return false;
    rest += 2;
  }
  const size_t start = lastComponent(rest);
  if (rest[start] == '\0') return false;
  last->assign(rest + start);
  if (start == 0) {
    folder->assign(".");
    return true;
  }
  folder->assign(rest, start - 1);
  for (char& c : *folder) {
    if (c == '\\') c = '/';
  }
  // A leading separator left "" for the root itself.
  if (folder->empty()) folder->assign("/");
  return true;
}
