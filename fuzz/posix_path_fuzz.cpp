// The POSIX layer's pure helpers on arbitrary bytes: the wildcard match against a plain dynamic
// programming reference, and the invariants of the pattern translation. The input is a pattern,
// a NUL, and a name.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "platform/posix_path.h"

namespace {

[[noreturn]] void fail(const char* what, const std::string& pattern, const std::string& name) {
  fprintf(stderr, "%s: pattern \"%s\" name \"%s\"\n", what, pattern.c_str(), name.c_str());
  abort();
}

char lower(char c) {
  return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c;
}

// match[i][j]: the first i pattern characters match the first j name characters.
bool referenceMatch(const std::string& pattern, const std::string& name) {
  if (pattern == "*" || pattern == "*.*") return true;
  const size_t m = name.size();
  std::vector<char> previous(m + 1, 0), current(m + 1, 0);
  previous[0] = 1;
  for (char p : pattern) {
    current[0] = p == '*' && previous[0];
    for (size_t j = 1; j <= m; ++j) {
      if (p == '*') {
        current[j] = previous[j] || current[j - 1];
      } else {
        current[j] = previous[j - 1] && (p == '?' || lower(p) == lower(name[j - 1]));
      }
    }
    previous.swap(current);
  }
  return previous[m] != 0;
}

void checkTranslation(const std::string& pattern) {
  std::string folder, last;
  const bool ok = translatePattern(pattern.c_str(), &folder, &last);
  const char* rest = pattern.c_str();
  const bool hasDrive =
      ((rest[0] | 0x20) >= 'a' && (rest[0] | 0x20) <= 'z') && pattern.size() > 1 && rest[1] == ':';
  if (hasDrive) {
    if ((rest[0] | 0x20) != 'c') {
      if (ok) fail("another drive translated", pattern, "");
      return;
    }
    rest += 2;
  }
  std::string unified = rest;
  for (char& c : unified) {
    if (c == '\\') c = '/';
  }
  const bool emptyLast = unified.empty() || unified.back() == '/';
  if (ok == emptyLast) fail("wrong verdict on the last component", pattern, "");
  if (!ok) return;
  if (last.empty() || last.find_first_of("\\/") != std::string::npos) {
    fail("last component holds a separator", pattern, last);
  }
  if (folder.find('\\') != std::string::npos) fail("folder keeps a backslash", pattern, folder);
  // Folder and last component together must give back the whole path, nothing lost or added.
  const bool whole =
      unified.find('/') == std::string::npos
          ? folder == "." && last == unified
          : (folder == "/" && unified == "/" + last) || unified == folder + "/" + last;
  if (!whole) fail("translation does not add up", pattern, folder + " | " + last);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string input(reinterpret_cast<const char*>(data), size);
  const size_t cut = input.find('\0');
  const std::string pattern = input.substr(0, cut);
  const std::string name = cut == std::string::npos ? std::string() : input.substr(cut + 1);
  // Both matchers take time proportional to the product of the lengths; longer inputs add no
  // new paths through them, only time.
  const std::string cName = std::string(name.c_str()).substr(0, 300);
  const std::string cPattern = pattern.substr(0, 300);

  const bool matched = matchesWildcard(cPattern.c_str(), cName.c_str());
  if (matched != referenceMatch(cPattern, cName)) fail("wildcard match differs", cPattern, cName);

  const size_t start = lastComponent(pattern.c_str());
  if (start > pattern.size() || (start > 0 && !isSeparator(pattern[start - 1])) ||
      pattern.find_first_of("\\/", start) != std::string::npos) {
    fail("wrong last component", pattern, "");
  }
  if (hasWildcard(pattern.c_str()) != (pattern.find_first_of("*?") != std::string::npos)) {
    fail("wildcard not seen", pattern, "");
  }
  checkTranslation(pattern);
  return 0;
}
