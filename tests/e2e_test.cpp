// The real program on trees made here: exact bytes on standard output and exact exit statuses.
#include <fcntl.h>
#include <ftw.h>
#include <gtest/gtest.h>
#include <pty.h>
#include <signal.h>
#include <spawn.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "tests/letter_cases.h"
#include "tests/run_program.h"
#include "tests/usage_text.h"

namespace {

std::vector<char*> argvOf(std::vector<std::string>& args) {
  args.insert(args.begin(), VOLTALLY_BINARY);
  std::vector<char*> argv;
  for (std::string& arg : args) argv.push_back(arg.data());
  argv.push_back(nullptr);
  return argv;
}

// Runs the tool with its output captured, every way; returns the exit status as a shell sees it.
int run(std::vector<std::string> args, std::string* out) {
  args.insert(args.begin(), VOLTALLY_BINARY);
  const RunResult result = runEveryWay(args);
  *out = result.out;
  return result.status;
}

int removeEntry(const char* path, const struct stat*, int, struct FTW*) {
  return remove(path);
}

class TreeTest : public testing::Test {
 protected:
  void SetUp() override {
    char base[] = "/tmp/voltally-e2e-XXXXXX";
    ASSERT_NE(mkdtemp(base), nullptr);
    root = base;
  }
  void TearDown() override {
    for (const std::string& at : mounts) EXPECT_EQ(umount2(at.c_str(), MNT_DETACH), 0) << at;
    chmodAll(root);
    nftw(root.c_str(), removeEntry, 64, FTW_DEPTH | FTW_PHYS);
  }
  static void chmodAll(const std::string& top) {
    nftw(
        top.c_str(),
        [](const char* p, const struct stat* st, int, struct FTW*) {
          if (S_ISDIR(st->st_mode)) chmod(p, 0755);
          return 0;
        },
        64, FTW_PHYS);
  }
  std::string mkdirs(const std::string& relative) {
    const std::string path = root + "/" + relative;
    EXPECT_EQ(mkdir(path.c_str(), 0755), 0) << path;
    return path;
  }
  // Sparse, so that large sizes cost no disk.
  void file(const std::string& relative, off_t size) {
    const std::string path = root + "/" + relative;
    const int fd = open(path.c_str(), O_CREAT | O_WRONLY | O_TRUNC, 0644);
    ASSERT_GE(fd, 0) << path;
    ASSERT_EQ(ftruncate(fd, size), 0);
    close(fd);
  }
  std::string tool(const std::string& relative = "") const {
    return "C:" + root + (relative.empty() ? "" : "/" + relative);
  }
  std::string root;
  std::vector<std::string> mounts;  // unmounted before the tree is removed
};

std::string lastColumn(const std::string& line) {
  const size_t space = line.rfind(' ');
  return space == std::string::npos ? line : line.substr(space + 1);
}

TEST(CommandLine, UsageAndUnknownDrive) {
  const struct {
    std::vector<std::string> args;
    const char* out;
  } cases[] = {
      {{}, kUsage},
      {{"C:/tmp", "k", "x"}, kUsage},
      {{"D:\\tmp"}, ""},
      {{"A:\\"}, ""},
      {{"\\\\server\\share"}, ""},
      {{"/tmp"}, ""},
      {{"D:\\tmp", "d"}, "Display type = 3\nSizing D:\\tmp\n"},
  };
  for (const auto& c : cases) {
    std::string out;
    EXPECT_EQ(run(c.args, &out), 255);
    EXPECT_EQ(out, c.out);
  }
}

TEST_F(TreeTest, UnitsAndWholeWordLetters) {
  file("a", 1536);
  mkdirs("sub");
  file("sub/b", 3 * 1048576 + 512);
  for (const LetterCase& c : kLetterCases) {
    std::string out;
    EXPECT_EQ(run({tool(), c.letter}, &out), 0) << c.letter;
    EXPECT_EQ(lastColumn(out), c.column) << c.letter;
  }
  std::string out;
  EXPECT_EQ(run({"c:" + root, "b"}, &out), 0) << "the drive letter in either case";
  EXPECT_EQ(lastColumn(out), kLetterCases[0].column);
}

// Each column against statvfs of the file system the path lies on, read before and after the run
// since others write to it meanwhile: used space is (f_blocks - f_bavail) x f_frsize. False, with
// nothing expected, when the free space lies outside those two readings, as when it went both ways
// during the run; the caller then runs it again.
bool expectColumnsOf(const std::string& out, const struct statvfs& before,
                     const struct statvfs& after, const std::string& what, bool last) {
  double capacity, freeSpace, used, total;
  EXPECT_EQ(sscanf(out.c_str(), "%lf %lf %lf %lf", &capacity, &freeSpace, &used, &total), 4)
      << what;
  const double unit = double(before.f_frsize);
  const double free1 = double(before.f_bavail) * unit, free2 = double(after.f_bavail) * unit;
  if (!last && (freeSpace < std::min(free1, free2) || freeSpace > std::max(free1, free2))) {
    return false;
  }
  EXPECT_EQ(capacity, double(before.f_blocks) * unit) << what;
  EXPECT_GE(freeSpace, std::min(free1, free2)) << what;
  EXPECT_LE(freeSpace, std::max(free1, free2)) << what;
  const double used1 = double(before.f_blocks - before.f_bavail) * unit;
  const double used2 = double(after.f_blocks - after.f_bavail) * unit;
  EXPECT_GE(used, std::min(used1, used2)) << what;
  EXPECT_LE(used, std::max(used1, used2)) << what;
  return true;
}

// The figures are those of the path's own file system: a tmpfs mounted inside the tree is one of
// its own, and the folder that holds it is on the tree's, with the mount's files counted. A 20 TiB
// one has more blocks than the record's 32-bit counts hold: larger clusters carry it exactly.
TEST_F(TreeTest, DriveColumnsMatchStatvfs) {
  file("h", 11);
  const bool privileged = geteuid() == 0;
  if (privileged) {
    for (const auto& [at, size] :
         {std::pair<std::string, const char*>{"mnt", "size=64m"}, {"huge", "size=20t"}}) {
      ASSERT_EQ(mount("tmpfs", mkdirs(at).c_str(), "tmpfs", 0, size), 0);
      mounts.push_back(root + "/" + at);
    }
    mkdirs("mnt/inner");
    file("mnt/inner/f", 5);
    file("mnt/g", 7);
  }
  const struct {
    const char* path;
    const char* statvfsOf;
    const char* column;
  } cases[] = {
      {"", "", privileged ? "23.00\r" : "11.00\r"},
      {"mnt", "mnt", "12.00\r"},
      {"mnt/inner", "mnt", "5.00\r"},
      {"mnt/missing/deeper", "mnt", "-2.00\r"},
      {"huge", "huge", "0.00\r"},
  };
  for (const auto& c : cases) {
    if (!privileged && c.path[0] != '\0') continue;
    const std::string of = root + (c.statvfsOf[0] ? "/" : "") + c.statvfsOf;
    std::string out;
    for (int attempt = 1;; ++attempt) {
      struct statvfs before, after;
      ASSERT_EQ(statvfs(of.c_str(), &before), 0);
      EXPECT_EQ(run({tool(c.path), "b"}, &out), 0) << c.path;
      ASSERT_EQ(statvfs(of.c_str(), &after), 0);
      if (expectColumnsOf(out, before, after, c.path, attempt == 20)) break;
    }
    EXPECT_EQ(lastColumn(out), c.column) << c.path;
  }
  if (!privileged)
    GTEST_SKIP() << "mounting a tmpfs takes root: only the tree's own file system checked";
}

// A FUSE mount whose daemon has died cannot be read ("Transport endpoint is not connected", df
// says): neither it nor a path below it may take the figures of the folder it is mounted on.
TEST_F(TreeTest, AFileSystemThatCannotBeReadIsAFailure) {
  if (geteuid() != 0 || access("/usr/bin/bindfs", X_OK) != 0) {
    GTEST_SKIP() << "a FUSE mount takes root and bindfs, which scripts/test installs";
  }
  const std::string source = mkdirs("source"), dead = mkdirs("dead");
  mkdirs("source/sub");
  const char* argv[] = {"/usr/bin/bindfs", "-f", source.c_str(), dead.c_str(), nullptr};
  pid_t daemon = 0;
  ASSERT_EQ(posix_spawn(&daemon, argv[0], nullptr, nullptr, const_cast<char**>(argv), environ), 0);
  struct stat mounted = {};
  for (int i = 0; i < 100 && stat((dead + "/sub").c_str(), &mounted) != 0; ++i) usleep(50000);
  kill(daemon, SIGKILL);
  waitpid(daemon, nullptr, 0);
  if (S_ISDIR(mounted.st_mode)) mounts.push_back(dead);
  ASSERT_TRUE(S_ISDIR(mounted.st_mode)) << "bindfs did not mount " << dead;
  for (const char* path : {"dead", "dead/sub"}) {
    std::string out;
    EXPECT_EQ(run({tool(path), "b"}, &out), ENOTCONN) << path;
    EXPECT_EQ(out, "-1 -1 \r") << path;
  }
}

TEST_F(TreeTest, NotAFolderIsMinusTwoInEveryUnit) {
  file("f", 10);
  mkdirs(".git");  // hidden, by its name
  file(".git/objects", 1000);
  const struct {
    const char* letter;
    const char* column;
  } cases[] = {{"b", "-2.00\r"}, {"k", "-0.00\r"}, {"m", "-0\r"}, {"g", "-0.00\r"}};
  for (const std::string& path : {tool("f"), tool("missing"), std::string("C:\\"),
                                  std::string("C:"), tool() + "/", tool(".git")}) {
    for (const auto& c : cases) {
      std::string out;
      EXPECT_EQ(run({path, c.letter}, &out), 0);
      EXPECT_EQ(lastColumn(out), c.column) << path << " " << c.letter;
    }
  }
}

TEST_F(TreeTest, WhatCountsInARealTree) {
  file("big", (off_t(1) << 32) + 10);
  file(".profile", 1000);
  file("profile", 7);
  mkdirs(".git");
  file(".git/objects", 1000);
  mkdirs("linked");
  file("linked/inside", 100);
  ASSERT_EQ(symlink((root + "/linked").c_str(), (root + "/dirlink").c_str()), 0);
  ASSERT_EQ(symlink((root + "/big").c_str(), (root + "/filelink").c_str()), 0);
  ASSERT_EQ(symlink((root + "/nowhere").c_str(), (root + "/dangling").c_str()), 0);
  ASSERT_EQ(symlink(root.c_str(), (root + "/linked/loop").c_str()), 0);
  ASSERT_EQ(mkfifo((root + "/fifo").c_str(), 0644), 0);
  file("readonly", 3);
  chmod((root + "/readonly").c_str(), 0444);
  mkdirs("rodir");
  file("rodir/x", 2);
  chmod((root + "/rodir").c_str(), 0555);
  std::string out;
  EXPECT_EQ(run({tool(), "b"}, &out), 0);
  EXPECT_EQ(lastColumn(out), "4294967418.00\r");  // 2^32 + 10 + 7 + 100 + 3 + 2
}

TEST_F(TreeTest, DebugTraceOfARealTree) {
  mkdirs("sub");
  file("sub/x", 5);
  std::string out;
  EXPECT_EQ(run({tool(), "d"}, &out), 0);
  const std::string path = tool();
  const std::string expected = "Display type = 3\nSizing " + path + "\ncall dirSize" + path +
                               " \nc_file attrib    10, 1 name " + path + "\npname=" + path +
                               "\\*.*\nc_file attrib    10, 2 name " + path +
                               "\\sub\npname=" + path + "\\sub\\*.*\n" +
                               "Disk-Capacity Disk-FreeSpace Disk-UsedSpace Directory-Size \n"
                               "in MBytes\n";
  ASSERT_GE(out.size(), expected.size());
  EXPECT_EQ(out.substr(0, expected.size()), expected);
  EXPECT_EQ(lastColumn(out), "0\r");
}

TEST_F(TreeTest, LongPathsAndDeepTrees) {
  std::string relative;
  for (int i = 0; i < 600; ++i) {
    relative += (i ? "/" : "") + std::string("level");
    mkdirs(relative);
  }
  file(relative + "/deepest", 11);
  std::string longName(200, 'n');
  mkdirs(longName);
  file(longName + "/f", 13);
  std::string out;
  EXPECT_EQ(run({tool(), "b"}, &out), 0);
  EXPECT_EQ(lastColumn(out), "24.00\r");
  ASSERT_GT(tool(longName).size(), 79u);
  EXPECT_EQ(run({tool(longName), "b"}, &out), 0);
  EXPECT_EQ(lastColumn(out), "13.00\r");
}

TEST_F(TreeTest, TerminalGetsALineFeedAfterTheReport) {
  std::vector<std::string> args = {tool(), "k"};
  std::vector<char*> argv = argvOf(args);
  int master = -1;
  const pid_t pid = forkpty(&master, nullptr, nullptr, nullptr);
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    execv(argv[0], argv.data());
    _exit(127);
  }
  std::string out;
  char buffer[256];
  ssize_t n;
  while ((n = read(master, buffer, sizeof buffer)) > 0) out.append(buffer, size_t(n));
  int status = 0;
  waitpid(pid, &status, 0);
  close(master);
  EXPECT_EQ(WEXITSTATUS(status), 0);
  // The terminal turns the tool's "\n" into "\r\n"; the report's own "\r" comes first.
  ASSERT_GE(out.size(), 3u);
  EXPECT_EQ(out.substr(out.size() - 3), "\r\r\n");
}

}  // namespace
