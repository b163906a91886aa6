// How patterns map onto a POSIX file system.
#include "platform/posix_path.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

TEST(TranslatePattern, DriveAndSeparators) {
  const struct {
    const char* pattern;
    bool ok;
    const char* folder;
    const char* last;
  } cases[] = {
      {"C:\\tmp\\x", true, "/tmp", "x"},
      {"c:/tmp/x", true, "/tmp", "x"},
      {"C:\\x", true, "/", "x"},
      {"C:x", true, ".", "x"},
      {"C:src\\a", true, "src", "a"},
      {"src\\a", true, "src", "a"},
      {"a", true, ".", "a"},
      {"\\x", true, "/", "x"},
      {"C:\\tmp\\*.*", true, "/tmp", "*.*"},
      {"C:\\tmp\\\\*.*", true, "/tmp/", "*.*"},
      {"C:\\a\\b/c", true, "/a/b", "c"},
      {"C:\\t\xe9\\\xff", true, "/t\xe9", "\xff"},
      {"C:", false, "", ""},
      {"C:\\", false, "", ""},
      {"C:\\tmp\\", false, "", ""},
      {"", false, "", ""},
      {"D:\\tmp", false, "", ""},
      {"a:x", false, "", ""},
  };
  for (const auto& c : cases) {
    std::string folder, last;
    ASSERT_EQ(translatePattern(c.pattern, &folder, &last), c.ok) << c.pattern;
    if (!c.ok) continue;
    EXPECT_EQ(folder, c.folder) << c.pattern;
    EXPECT_EQ(last, c.last) << c.pattern;
  }
}

// The geometry's path and the ancestors it falls back on, nearest first.
TEST(FileSystemPath, AncestorsByText) {
  const struct {
    const char* path;
    std::vector<std::string> chain;
  } cases[] = {
      {"C:\\tmp\\m/x", {"/tmp/m/x", "/tmp/m", "/tmp", "/"}},
      {"c:/tmp/m/", {"/tmp/m/", "/tmp", "/"}},
      {"C://a//b", {"//a//b", "//a", "/"}},
      {"C:src\\a", {"src/a", "src", "."}},
      {"C:..", {"..", "."}},
      {"C:", {""}},
      {"C:\\", {"/"}},
      {"C:.", {"."}},
  };
  for (const auto& c : cases) {
    std::vector<std::string> chain = {fileSystemPath(c.path)};
    std::string at = chain[0];
    while (cutToParent(&at)) chain.push_back(at);
    EXPECT_EQ(chain, c.chain) << c.path;
  }
}

}  // namespace
