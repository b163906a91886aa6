// The POSIX directory search on real folders: listings whose reads interleave, close out of order
// or nest still deliver every entry exactly once.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <set>
#include <string>

#include "platform/platform.h"

namespace {

// Enough long names that a listing takes several reads.
const int kFiles = 1500;

void makeFolder(const std::string& path) {
  ASSERT_EQ(mkdir(path.c_str(), 0755), 0);
  for (int i = 0; i < kFiles; ++i) {
    const std::string name = path + "/a-name-long-enough-to-fill-reads-" + std::to_string(i);
    const int fd = open(name.c_str(), O_CREAT | O_WRONLY, 0644);
    ASSERT_GE(fd, 0);
    close(fd);
  }
}

TEST(PosixSearch, InterleavedListingsDeliverEveryEntryOnce) {
  char base[] = "/tmp/voltally-search-XXXXXX";
  ASSERT_NE(mkdtemp(base), nullptr);
  const std::string root = base;
  makeFolder(root + "/outer");
  makeFolder(root + "/outer/inner");  // a base's child: resolved below the open outer listing
  makeFolder(root + "/other");        // not below it: resolved from the root
  std::set<std::string> expected = {".", ".."};
  for (int i = 0; i < kFiles; ++i)
    expected.insert("a-name-long-enough-to-fill-reads-" + std::to_string(i));

  // Which listing reads next, and when each one is closed: in step, the outer one ahead, and the
  // outer one closed while the inner one still reads.
  const struct {
    const char* second;
    int outerPerInner;
    bool closeOuterFirst;
  } cases[] = {{"outer\\inner", 1, false}, {"outer\\inner", 3, true}, {"other", 1, true}};
  for (const auto& c : cases) {
    std::set<std::string> seen[2];
    c_file entry;
    const std::string patterns[2] = {"C:" + root + "/outer\\*.*",
                                     "C:" + root + "/" + c.second + "\\*.*"};
    intptr_t handles[2];
    for (int i = 0; i < 2; ++i) {
      handles[i] = findFirst(patterns[i].c_str(), &entry);
      ASSERT_NE(handles[i], -1) << patterns[i];
      seen[i].insert(entry.name);
    }
    bool open[2] = {true, true};
    while (open[0] || open[1]) {
      for (int step = 0; step < c.outerPerInner && open[0]; ++step) {
        if (findNext(handles[0], &entry) == 0) {
          EXPECT_TRUE(seen[0].insert(entry.name).second) << entry.name;
        } else if (c.closeOuterFirst || !open[1]) {
          EXPECT_EQ(findClose(handles[0]), 0);
          open[0] = false;
        }
      }
      if (open[1] && findNext(handles[1], &entry) == 0) {
        EXPECT_TRUE(seen[1].insert(entry.name).second) << entry.name;
      } else if (open[1] && (!c.closeOuterFirst || !open[0])) {
        EXPECT_EQ(findClose(handles[1]), 0);
        open[1] = false;
      }
    }
    std::set<std::string> outer = expected;
    outer.insert("inner");
    EXPECT_EQ(seen[0], outer) << c.second;
    EXPECT_EQ(seen[1], expected) << c.second;
  }
  EXPECT_EQ(system(("rm -rf " + root).c_str()), 0);
}

}  // namespace
