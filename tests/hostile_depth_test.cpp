// The real program on huge and deep trees: a hundred thousand entries in one folder, chains
// deeper than PATH_MAX and than any open-file limit, and a folder renamed away while the walk is
// far below it.
#include <dirent.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstring>
#include <iostream>
#include <string>

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
// depth it counts: a hard limit of 5 leaves it the two descriptors it needs. Four chains side by
// side are walked by as many threads at once where the limit leaves room for them, each within
// its share; under a limit of 5 one thread walks them all. A limit of 4 leaves too few to list a
// folder below the top: the run fails rather than print what it could count.
TEST_F(HostileTest, DeeperThanTheSoftOpenFileLimit) {
  deepChain(1500);
  for (const char* side : {"b", "c", "d"}) {
    folder(side);
    deepChain(1500, side);
  }
  const struct {
    rlim_t soft, hard;
    int status;
    const char* out;  // the last column, or the whole output of a failure
  } cases[] = {
      {256, 0, 0, "6000.00\r"},
      {0, 32, 0, "6000.00\r"},
      {0, 5, 0, "6000.00\r"},
      {0, 4, EMFILE, "-1 -1 \r"},
  };
  for (const auto& c : cases) {
    RunOptions options = within(60);
    options.softFileLimit = c.soft;
    options.hardFileLimit = c.hard;
    const std::string label = "soft " + std::to_string(c.soft) + ", hard " + std::to_string(c.hard);
    const RunResult r = runTool({tool(), "b"}, options);
    EXPECT_EQ(r.status, c.status) << label;
    EXPECT_EQ(r.err, "") << label;
    EXPECT_EQ(c.status == 0 ? lastColumn(r.out) : r.out, c.out) << label;
  }
}

// Under any limit of memory a run gives the tree's total or fails for want of memory, printing no
// total: from a limit too low for the system to load the program at all up to one that lets the
// walk finish, a step at a time. The walk past the descriptor budget keeps the rest of each
// folder it gives up, so memory runs out in the middle of a walk as well as at its start.
TEST_F(HostileTest, MemoryThatRunsOut) {
  if (kSanitized) GTEST_SKIP() << "a sanitizer's runtime reserves more address space than this";
  std::string path;
  for (int level = 0; level < 150; ++level) {
    path += level == 0 ? "s" : "/s";
    folder(path);
    for (int i = 0; i < 200; ++i) file(path + "/f" + std::to_string(i), 10);
  }
  for (const int threads : {1, 8}) {
    int failures = 0;
    for (rlim_t space = 2 << 20;; space += 32 << 10) {
      RunOptions options = onThreads(threads, 60);
      options.addressSpace = space;
      const RunResult r = runProgram({binary, tool(), "b"}, options);
      const std::string label = std::to_string(threads) + " threads, " +
                                std::to_string(space >> 10) + " KiB: " + r.out + " " + r.err;
      ASSERT_FALSE(r.timedOut) << label;
      if (r.status == 127 && r.out.empty()) continue;  // the system could not load the program
      if (r.status == 0) {
        EXPECT_EQ(lastColumn(r.out), "300000.00\r") << label;
        EXPECT_GT(failures, 0) << label << ": no limit let the program start yet not finish";
        break;
      }
      EXPECT_EQ(r.status, ENOMEM) << label;
      EXPECT_EQ(r.out, "-1 -1 \r") << label;
      ++failures;
      ASSERT_LT(space, rlim_t(64) << 20) << label;
    }
  }
}

// A file system where every request waits a millisecond, as a share far away does: the walk by
// default takes as many threads as pay there, and counts what one thread counts, to the byte.
TEST_F(HostileTest, AFileSystemWhereEveryRequestWaits) {
#ifndef LATENCYFS_BINARY
  GTEST_SKIP() << "bench/latencyfs is built where libfuse3 is installed";
#else
  if (geteuid() != 0) GTEST_SKIP() << "a FUSE mount takes root";
  long expected = 0;
  folder("tree");
  for (int a = 0; a < 6; ++a) {
    const std::string top = "tree/a" + std::to_string(a);
    folder(top);
    for (int b = 0; b < 6; ++b) {
      folder(top + "/b" + std::to_string(b));
      for (int f = 1; f <= 5; ++f) {
        file(top + "/b" + std::to_string(b) + "/f" + std::to_string(f), a * 100 + b * 10 + f);
        expected += a * 100 + b * 10 + f;
      }
    }
  }
  folder("m");
  const std::string mount = "'" LATENCYFS_BINARY "' '" + at("tree") + "' '" + at("m") + "' 1000";
  ASSERT_EQ(system(mount.c_str()), 0);
  for (const char* threads : {"VOLTALLY_THREADS=1", "VOLTALLY_THREADS="}) {
    RunOptions options = within(120);
    options.env.push_back(threads);
    expectTotal(runProgram({binary, tool("m"), "b"}, options), std::to_string(expected) + ".00",
                threads);
  }
  EXPECT_EQ(system(("fusermount3 -u '" + at("m") + "'").c_str()), 0);
#endif
}

// The folders held open by process `pid`.
int foldersHeldBy(pid_t pid) {
  const std::string fds = "/proc/" + std::to_string(pid) + "/fd/";
  int folders = 0;
  if (DIR* dir = opendir(fds.c_str())) {
    struct stat st;
    while (const dirent* d = readdir(dir)) {
      folders +=
          d->d_name[0] != '.' && stat((fds + d->d_name).c_str(), &st) == 0 && S_ISDIR(st.st_mode);
    }
    closedir(dir);
  }
  return folders;
}

// Past the budget the walk gives up the folders it is below and finds each again from its child,
// through "..", on the way back, checking that it is the same folder; a folder that its child has
// left is found by its path instead, from the outermost one. The walk is held at the open of its
// deepest folder while folders it is below are renamed into "away" and replaced: a folder found
// where it went, or where it was, counts in full and its replacement never does; a folder found
// neither way fails the run, which prints no total, unless nothing was left to read in it, as on
// threads, which list a folder to its end before they enter the first folder it holds. Each row
// is on a tmpfs, which lists the newest entry first: the chain, and then the files beside it.
// "away" holds files of the same names, 1,000,000 bytes each, that must not count.
TEST_F(HostileTest, FolderRenamedAwayWhileTheWalkIsBelowIt) {
  if (geteuid() != 0) GTEST_SKIP() << "mounts and holding the walk at an open take root";
  const struct {
    std::string row;
    std::vector<std::string> moves;  // into "away", each replaced by a folder of the same name
    const char* out[2];  // on one thread and on eight: the last column, or a failure's output
  } cases[] = {{"found/", {"top/moved"}, {"20100.00\r", "20100.00\r"}},
               {"left/", {"top/moved/lvl"}, {"20100.00\r", "20100.00\r"}},
               {"gone/", {"top/moved/lvl", "top/moved"}, {"-1 -1 \r", "20100.00\r"}}};
  for (const int threads : {1, 8})
    for (const auto& c : cases) {
      const std::string row = std::to_string(threads) + c.row;
      const char* out = c.out[threads > 1];
      folder(row);
      ASSERT_EQ(mount("tmpfs", at(row).c_str(), "tmpfs", 0, "size=16m"), 0);
      for (const char* name : {"top", "top/moved", "away"}) folder(row + name);
      for (int i = 0; i < 20; ++i) {
        file(row + "top/moved/f" + std::to_string(i), 1000);
        file(row + "away/f" + std::to_string(i), 1000000);
      }
      deepChain(100, row + "top/moved");
      std::string deepest = at(row + "top/moved");
      for (int level = 0; level < 100; ++level) deepest += "/lvl";
      RunResult r;
      const bool held = runHeld(
          tool(row + "top"), deepest,
          [&](pid_t pid) {
            EXPECT_LE(foldersHeldBy(pid), threads == 1 ? 64 : 64 + 2 * threads)
                << "folders held open 101 levels down";
            for (const std::string& move : c.moves) {
              const std::string name = move.substr(move.rfind('/') + 1);
              EXPECT_EQ(rename(at(row + move).c_str(), at(row + "away/" + name).c_str()), 0);
              folder(row + move);
              file(row + move + "/replacement", 1000000);
            }
          },
          &r, onThreads(threads, 60));
      EXPECT_TRUE(held) << row << ": the walk never opened its deepest folder";
      EXPECT_EQ(r.status, out[0] == '-' ? ENOENT : 0) << row;
      EXPECT_EQ(r.err, "") << row;
      EXPECT_EQ(out[0] == '-' ? r.out : lastColumn(r.out), out) << row;
      EXPECT_EQ(umount2(at(row).c_str(), MNT_DETACH), 0) << row;
    }
}

// A folder given up past the budget has read the rest of its listing first and goes on from what
// it kept, so a listing that changes while the walk is below it counts every entry that never
// changed once: on overlayfs a merged folder's listing is made anew at each open, in an order that
// may change with it, and on FUSE file systems an offset may name other entries after a change.
// Each row's folder "top/m" holds a 100-level chain of 1-byte files, held at its bottom while "m"
// changes; the walk starts at "top", so that "m" is among the folders given up. Entries that come
// meanwhile hold a million bytes each, so the total's remainder below a million counts the stable
// bytes, and its millions at most the entries that passed. On a tmpfs, which lists the newest
// entry first, the chain comes first in a listing of several reads, whose unread entries, in the
// read under way and after it, must all be kept.
TEST_F(HostileTest, ListingsThatChangeWhileTheWalkIsBelowThem) {
  if (geteuid() != 0) GTEST_SKIP() << "mounts and holding the walk at an open take root";
  const struct {
    const char* fileSystem;
    const char* mount;  // mounts it at top/m; what is written through it then goes to it
    int stable, passing;
    size_t nameLength;  // of the stable files' names, at least
    const char* change;
    long total;
  } cases[] = {
      // A lower layer's 1-byte f0 merged with the files written through m, which land above it.
      {"overlay",
       "mkdir -p lower upper work top/m && printf x >lower/f0 && mount -t overlay overlay -o "
       "lowerdir=lower,upperdir=upper,workdir=work top/m",
       10, 0, 0, "touch top/m/e0", 111},
      {"exfat-fuse",
       "mkdir -p top/m && truncate -s 64M img && mkfs.exfat img >/dev/null && loop=$(losetup -f "
       "--show img) && mount.exfat-fuse $loop top/m >/dev/null; s=$?; losetup -d $loop; exit $s",
       1500, 0, 0,
       "for n in $(seq 100 139); do touch top/m/$(head -c $n /dev/zero | tr '\\0' n); done", 1600},
      {"tmpfs", "mkdir -p top/m && mount -t tmpfs -o size=64m tmpfs top/m", 200, 50, 0,
       "rm top/m/p*; for i in $(seq 50); do truncate -s 1000000 top/m/a$i; done", 300},
      {"tmpfs, several reads", "mkdir -p top/m && mount -t tmpfs -o size=64m tmpfs top/m", 5000, 0,
       45, "true", 5100},
  };
  for (const int threads : {1, 8})
    for (const auto& c : cases) {
      const auto inRoot = [&](const std::string& command) {
        return system(("cd '" + root + "' && (" + command + ") 2>/dev/null").c_str()) == 0;
      };
      if (!inRoot(c.mount)) {
        std::cout << "[ SKIPPED  ] " << c.fileSystem << ": cannot mount it here\n";
        removeAll(root);
        folder("");
        continue;
      }
      for (int i = 0; i < c.stable; ++i) {
        std::string name = "top/m/s" + std::to_string(i);
        file(name + std::string(c.nameLength > name.size() ? c.nameLength - name.size() : 0, 'n'),
             1);
      }
      for (int i = 0; i < c.passing; ++i) file("top/m/p" + std::to_string(i), 1000000);
      deepChain(100, "top/m");
      std::string deepest = at("top/m");
      for (int level = 0; level < 100; ++level) deepest += "/lvl";
      RunResult r;
      EXPECT_TRUE(runHeld(
          tool("top"), deepest, [&](pid_t) { EXPECT_TRUE(inRoot(c.change)) << c.fileSystem; }, &r,
          onThreads(threads, 60)))
          << c.fileSystem;
      EXPECT_EQ(umount2(at("top/m").c_str(), MNT_DETACH), 0) << c.fileSystem;
      EXPECT_FALSE(r.timedOut) << c.fileSystem;
      EXPECT_EQ(r.status, 0) << c.fileSystem;
      const long long total = strtoll(lastColumn(r.out).c_str(), nullptr, 10);
      EXPECT_EQ(total % 1000000, c.total) << c.fileSystem << ": " << r.out;
      EXPECT_LE(total / 1000000, c.passing) << c.fileSystem << ": " << r.out;
      removeAll(root);
      folder("");
    }
}

}  // namespace
