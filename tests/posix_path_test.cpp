// How patterns map onto a POSIX file system, and Windows wildcards.
#include "platform/posix_path.h"

#include <gtest/gtest.h>

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

TEST(MatchesWildcard, WindowsMeaning) {
  const struct {
    const char* pattern;
    const char* name;
    bool match;
  } cases[] = {
      {"*.*", "noext", true},   {"*.*", ".", true},           {"*", ".hidden", true},
      {"*.txt", "a.txt", true}, {"*.txt", "a.TXT", true},     {"*.txt", "a.txt.gz", false},
      {"a?c", "abc", true},     {"a?c", "ac", false},         {"*b*", "abc", true},
      {"*b*", "acd", false},    {"x*y*z", "xaaybbz", true},   {"x*y*z", "xaaybb", false},
      {"?", "", false},         {"exact", "exact", true},     {"exact", "exactly", false},
      {"**a", "bba", true},     {"\xe9*", "\xe9t\xe9", true}, {"\xc9*", "\xe9", false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(matchesWildcard(c.pattern, c.name), c.match) << c.pattern << " ~ " << c.name;
  }
}

TEST(MatchesWildcard, ManyStarsDoNotBacktrackForever) {
  // A backtracking matcher would take exponential time here; this one finishes at once.
  const std::string pattern = std::string(30, '*') + "b";
  EXPECT_FALSE(matchesWildcard(pattern.c_str(), std::string(5000, 'a').c_str()));
}

}  // namespace
