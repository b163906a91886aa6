// The real program on huge and deep trees: a hundred thousand entries in one folder, chains
// deeper than PATH_MAX and than any open-file limit, and a folder renamed away while the walk is
// far below it.
#include <dirent.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/fanotify.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstring>
#include <string>
#include <thread>

#include "tests/hostile.h"

namespace {

TEST_F(HostileTest, HundredThousandEntriesInOneFolder) {
  folder("many");
  // Ten files of 0 to 9 bytes and hard links to them: each name is an entry of its own, and
  // links cost far less to make than files.
  for (int i = 0; i < 10; ++i) file("many/" + std::to_string(i), i);
  for (int i = 10; i < 100000; ++i) {
    ASSERT_EQ(::link(at("many/" + std::to_string(i % 10)).c_str(),
                     at("many/" + std::to_string(i)).c_str()),
              0);
  }
  expectTotal(runTool({tool(), "b"}), "450000.00", "100000 entries");
}

// Deeper than any path the system takes in one piece: the walk goes below its open folders, so
// every level counts. A path typed beyond the limit cannot be looked at and is no folder.
TEST_F(HostileTest, TwoThousandLevelsBeyondPathMax) {
  deepChain(2000);
  std::string deep;
  for (int level = 1; level <= 2000; ++level) deep += level == 1 ? "lvl" : "/lvl";
  const int fits = int(PATH_MAX - root.size() - 2) / 4;  // levels whose path the system takes
  std::string within;
  for (int level = 1; level <= fits; ++level) within += level == 1 ? "lvl" : "/lvl";
  ASSERT_GT(tool(deep).size(), size_t(PATH_MAX) * 3 / 2);
  expectTotal(runTool({tool(), "b"}), "2000.00", "whole tree");
  expectTotal(runTool({tool(within), "b"}), std::to_string(2001 - fits) + ".00", "within");
  expectTotal(runTool({tool(deep), "b"}), "-2.00", "beyond the limit");
}

// The search holds a few folders open, however deep the tree, so no open-file limit bounds the
// depth it counts: a hard limit of 5 leaves it the two descriptors it needs.
TEST_F(HostileTest, DeeperThanTheSoftOpenFileLimit) {
  deepChain(1500);
  const struct { rlim_t soft, hard; } cases[] = {{256, 0}, {0, 32}, {0, 5}};
  for (const auto& c : cases) {
    RunOptions options = within(60);
    options.softFileLimit = c.soft;
    options.hardFileLimit = c.hard;
    const std::string label = "soft " + std::to_string(c.soft) + ", hard " + std::to_string(c.hard);
    expectTotal(runTool({tool(), "b"}, options), "1500.00", label);
  }
}

// Past the budget the walk gives up the folders it is below and finds each again from its child,
// through "..", on the way back, checking that it is the same folder. The walk is held at the open
// of its deepest folder (a fanotify permission event) while a folder it is below is renamed into
// "away" and replaced: a folder found where it went counts in full and its replacement never
// does; a folder that its child has left cannot be found, and reads no further, as does every
// one around it. "away" holds files of the same names, 1,000,000 bytes each, that must not count.
TEST_F(HostileTest, FolderRenamedAwayWhileTheWalkIsBelowIt) {
  if (geteuid() != 0) GTEST_SKIP() << "holding the walk at an open (fanotify) takes root";
  const struct {
    std::string row, moves;
    off_t ownSize;  // of each of the 20 files beside the chain in "moved"
    const char* column;
  } cases[] = {{"found/", "top/moved", 1000, "20100.00"}, {"lost/", "top/moved/lvl", 0, "100.00"}};
  for (const auto& c : cases) {
    const std::string& row = c.row;
    folder(row);
    for (const char* name : {"top", "top/moved", "away"}) folder(row + name);
    for (int i = 0; i < 20; ++i) {
      file(row + "top/moved/f" + std::to_string(i), c.ownSize);
      file(row + "away/f" + std::to_string(i), 1000000);
    }
    deepChain(100, row + "top/moved");
    std::string deepest = at(row + "top/moved");
    for (int level = 0; level < 100; ++level) deepest += "/lvl";
    const int group = fanotify_init(FAN_CLASS_CONTENT | FAN_CLOEXEC, O_RDONLY | O_CLOEXEC);
    if (group < 0) GTEST_SKIP() << "no fanotify here: " << strerror(errno);
    ASSERT_EQ(
        fanotify_mark(group, FAN_MARK_ADD, FAN_OPEN_PERM | FAN_ONDIR, AT_FDCWD, deepest.c_str()),
        0);
    RunResult r;
    std::thread walk([&] { r = runTool({tool(row + "top"), "b"}, within(60)); });
    pollfd ready = {group, POLLIN, 0};
    fanotify_event_metadata event = {};
    const bool held =
        poll(&ready, 1, 30000) == 1 && read(group, &event, sizeof event) == ssize_t(sizeof event);
    EXPECT_TRUE(held) << row << ": the walk never opened its deepest folder";
    if (held) {
      const std::string fds = "/proc/" + std::to_string(event.pid) + "/fd/";
      int folders = 0;
      if (DIR* dir = opendir(fds.c_str())) {
        struct stat st;
        while (const dirent* d = readdir(dir)) {
          folders += d->d_name[0] != '.' && stat((fds + d->d_name).c_str(), &st) == 0 &&
                     S_ISDIR(st.st_mode);
        }
        closedir(dir);
      }
      EXPECT_LE(folders, 64) << "folders held open 101 levels down";
      const std::string moves = row + c.moves;
      const std::string name = c.moves.substr(c.moves.rfind('/') + 1);
      EXPECT_EQ(rename(at(moves).c_str(), at(row + "away/" + name).c_str()), 0);
      folder(moves);
      file(moves + "/replacement", 1000000);
      const fanotify_response allow = {event.fd, FAN_ALLOW};
      EXPECT_EQ(write(group, &allow, sizeof allow), ssize_t(sizeof allow));
      close(event.fd);
    }
    close(group);  // lets anything still held go on
    walk.join();
    expectTotal(r, c.column, row);
  }
}

}  // namespace
