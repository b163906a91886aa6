#include "platform/posix_path.h"

#include <cstring>

// From the end: the walk asks this of every folder's path, whose final component is short.
size_t lastComponent(const char* pattern) {
  size_t start = strlen(pattern);
  while (start > 0 && !isSeparator(pattern[start - 1])) --start;
  return start;
}

bool hasWildcard(const char* component) {
  return strpbrk(component, "*?") != nullptr;
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

namespace {

char lowerAscii(char c) {
  return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c;
}

}  // namespace

bool matchesWildcard(const char* pattern, const char* name) {
  if (strcmp(pattern, "*") == 0 || strcmp(pattern, "*.*") == 0) return true;
  // Iterative glob with one backtrack point: linear in practice, never exponential.
  const char* star = nullptr;
  const char* resume = nullptr;
  while (*name != '\0') {
    if (*pattern == '*') {
      star = pattern++;
      resume = name;
    } else if (*pattern == '?' || (*pattern != '\0' && lowerAscii(*pattern) == lowerAscii(*name))) {
      ++pattern;
      ++name;
    } else if (star != nullptr) {
      pattern = star + 1;
      name = ++resume;
    } else {
      return false;
    }
  }
  while (*pattern == '*') ++pattern;
  return *pattern == '\0';
}
