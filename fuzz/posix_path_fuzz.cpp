// The POSIX layer's pure helpers on arbitrary bytes: the invariants of the last component and of
// the pattern translation. The input is a pattern, cut at its first NUL as a C string would be.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/posix_path.h"

namespace {

[[noreturn]] void fail(const char* what, const std::string& pattern, const std::string& name) {
  fprintf(stderr, "%s: pattern \"%s\" name \"%s\"\n", what, pattern.c_str(), name.c_str());
  abort();
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

// Cutting to the parent ends, at "/", "." or "", and each step keeps a prefix of the path.
void checkAncestors(const std::string& pattern) {
  std::string at = fileSystemPath(pattern.c_str());
  if (at.find('\\') != std::string::npos) fail("path keeps a backslash", pattern, at);
  for (size_t steps = 0;; ++steps) {
    const std::string before = at;
    if (!cutToParent(&at)) {
      if (at != before) fail("a failed cut changed the path", pattern, at);
      const bool top = at.empty() || ((at[0] == '/' || at[0] == '.') &&
                                      at.find_first_not_of('/', 1) == std::string::npos);
      if (!top) fail("stopped short of the top", pattern, at);
      return;
    }
    if (steps > pattern.size() + 1) fail("cutting does not end", pattern, at);
    if (at != "." && (at.size() >= before.size() || before.compare(0, at.size(), at) != 0)) {
      fail("the parent is no shorter prefix", pattern, at);
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string input(reinterpret_cast<const char*>(data), size);
  const std::string pattern = input.substr(0, input.find('\0'));
  const size_t start = lastComponent(pattern.c_str());
  if (start > pattern.size() || (start > 0 && !isSeparator(pattern[start - 1])) ||
      pattern.find_first_of("\\/", start) != std::string::npos) {
    fail("wrong last component", pattern, "");
  }
  checkTranslation(pattern);
  checkAncestors(pattern);
  return 0;
}
