// The real program against trees and surroundings nobody controls: special files, link loops,
// unreadable folders, churn, odd names, /proc, bad command lines and output that cannot be
// written; huge and deep trees are in hostile_depth_test.cpp. Every run is bounded in time; a run
// that blocks is killed and fails.
#include "tests/hostile.h"

#include <dirent.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/mount.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "tests/usage_text.h"

namespace {

TEST_F(HostileTest, SpecialFilesAreNeverOpened) {
  file("a", 10);
  folder("sub");
  file("sub/b", 20);
  ASSERT_EQ(mkfifo(at("fifo").c_str(), 0644), 0);  // opening it would wait for a writer
  const int sock = socket(AF_UNIX, SOCK_STREAM, 0);
  sockaddr_un address = {};
  address.sun_family = AF_UNIX;
  snprintf(address.sun_path, sizeof address.sun_path, "%s", at("sub/sock").c_str());
  ASSERT_EQ(bind(sock, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  ASSERT_EQ(listen(sock, 1), 0);
  // An endless device: reading it would never finish. Only root may make one.
  const bool device = mknod(at("zero").c_str(), S_IFCHR | 0666, makedev(1, 5)) == 0;
  const struct {
    std::string path;
    const char* column;
  } cases[] = {
      {tool(), "30.00"},
      {tool("fifo"), "-2.00"},
      {tool("sub/sock"), "-2.00"},
      {tool(device ? "zero" : "fifo"), "-2.00"},
  };
  for (const auto& c : cases) expectTotal(runTool({c.path, "b"}, within(20)), c.column, c.path);
  close(sock);
}

TEST_F(HostileTest, LinkLoopsAndDanglingLinksAreNotFollowed) {
  file("a", 7);
  folder("sub");
  file("sub/b", 11);
  link("self", "self");
  link("m2", "m1");
  link("m1", "m2");
  link("..", "sub/up");
  link(root, "sub/top");
  link("/", "sub/slash");
  link("nowhere", "dangling");
  const struct {
    std::string path;
    const char* column;
  } cases[] = {
      {tool(), "18.00"},
      {tool("sub"), "11.00"},
      {tool("sub/up"), "-2.00"},
      {tool("self"), "-2.00"},
      {tool("m1"), "-2.00"},
      {tool("dangling"), "-2.00"},
      {tool("sub/up/sub"), "11.00"},  // a link inside a path typed by the user is the system's
  };
  for (const auto& c : cases) expectTotal(runTool({c.path, "b"}, within(20)), c.column, c.path);
}

TEST_F(HostileTest, UnreadableFoldersAddNothingAndTheWalkGoesOn) {
  file("a", 5);
  folder("ok");
  file("ok/b", 7);
  folder("noread");
  file("noread/x", 100);
  folder("nosearch");  // r-- : can be listed, but nothing in it can be looked at
  file("nosearch/f", 1000);
  folder("nosearch/d");
  file("nosearch/d/g", 2000);
  folder("none");
  file("none/y", 3000);
  chmod(at("noread").c_str(), 0311);
  chmod(at("nosearch").c_str(), 0444);
  chmod(at("none").c_str(), 0);
  // Plain folders, some of which the listing gives after the failing ones: each is named from
  // the parent's path, which a failure must leave as it was.
  for (int i = 0; i < 20; ++i) {
    folder("plain" + std::to_string(i));
    file("plain" + std::to_string(i) + "/f", 1);
  }
  const struct {
    std::string path;
    const char* column;
  } cases[] = {
      {tool(), "32.00"},      {tool("noread"), "0.00"},      {tool("nosearch"), "0.00"},
      {tool("none"), "0.00"}, {tool("nosearch/f"), "-2.00"},
  };
  for (const auto& c : cases) {
    RunOptions options = within(20);
    options.unprivileged = true;
    expectTotal(runTool({c.path, "b"}, options), c.column, c.path);
  }
}

// A helper process keeps creating and deleting files and folders in a large folder while the
// walk runs. The stable files take one byte each and the passing ones a million, so a total's
// remainder below a million is the count of stable files seen, which must be every one exactly
// once, and its millions at most every passing file ever created.
TEST_F(HostileTest, EntriesComingAndGoingDuringTheWalk) {
  const int stable = 20000;
  folder("big");
  for (int i = 0; i < stable; ++i) file("big/s" + std::to_string(i), 1);
  auto* created = static_cast<std::atomic<long>*>(mmap(nullptr, sizeof(std::atomic<long>),
                                                       PROT_READ | PROT_WRITE,
                                                       MAP_SHARED | MAP_ANONYMOUS, -1, 0));
  ASSERT_NE(created, MAP_FAILED);
  new (created) std::atomic<long>(0);
  const pid_t churner = fork();
  if (churner == 0) {
    for (long n = 0;; ++n) {
      const std::string name = "big/c" + std::to_string(n);
      created->fetch_add(1);  // counted before it exists, so the bound is never short
      if (n % 2 == 0) {
        file(name, 1000000);
      } else {
        mkdir(at(name).c_str(), 0755);
        file(name + "/x", 1000000);
      }
      if (n >= 50) {  // keep about fifty at a time
        const std::string old = "big/c" + std::to_string(n - 50);
        unlink(at(old + "/x").c_str());
        rmdir(at(old).c_str());
        unlink(at(old).c_str());
      }
    }
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  for (int run = 0; run < 6; ++run) {
    const RunResult r = runTool({tool(), "b"}, onThreads(run % 2 == 0 ? 1 : 8, 60));
    const long most = created->load();
    ASSERT_FALSE(r.timedOut);
    ASSERT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "");
    const long long total = strtoll(lastColumn(r.out).c_str(), nullptr, 10);
    EXPECT_EQ(total % 1000000, stable) << r.out;
    EXPECT_LE(total / 1000000, most) << r.out;
  }
  kill(churner, SIGKILL);
  waitpid(churner, nullptr, 0);
  EXPECT_GT(created->load(), 100) << "the helper barely ran";
  munmap(created, sizeof(std::atomic<long>));
}

// A Linux name is any bytes but '/' and NUL. Below an open folder the walk takes it whole: a
// backslash, a wildcard or a newline in it never makes the walk size another folder.
TEST_F(HostileTest, OddNamesAreTakenWhole) {
  file("non\xff\xfeutf8", 3);
  file("new\nline", 5);
  file(" spaced name ", 7);
  folder("a\\b");
  file("a\\b/x", 11);
  folder("a");
  folder("a/b");
  file("a/b/y", 1000);
  file("foo", 17);  // what "f*" would match as a wildcard
  folder("f*");
  file("f*/z", 13);
  folder("?");
  file("?/w", 19);
  folder("q\\*");  // there is no folder q for a wildcard to list
  file("q\\*/u", 29);
  folder("new\nfolder");
  file("new\nfolder/v", 23);
  folder("x\\*.*");  // looks like the listing of a folder x, which does not exist
  file("x\\*.*/t", 100);
  const struct {
    std::string path;
    const char* column;
  } cases[] = {
      {tool(), "1227.00"},
      // On the command line both '\' and '/' separate, so "a\b" there names a/b.
      {tool("a\\b"), "1000.00"},
      {tool("new\nfolder"), "23.00"},
      // Typed, a wildcard is a name too: never the first entry it would match ("foo", "f*").
      {tool("f*"), "13.00"},
      {tool("?"), "19.00"},
      {tool("f?"), "-2.00"},
  };
  for (const auto& c : cases) expectTotal(runTool({c.path, "b"}, within(20)), c.column, c.path);
  // Whichever thread meets the folder, and whenever: ten runs on each number of threads.
  const std::vector<std::string> whole = {tool(), "b"};
  for (const int threads : {1, 2, 8, 16}) {
    for (int run = 0; run < 10; ++run) {
      expectTotal(runTool(whole, onThreads(threads, 20)), "1227.00",
                  std::to_string(threads) + " threads");
    }
  }
}

// Sums past what a double holds to the byte, and past 64 bits: sparse files on a tmpfs, which
// takes files up to 2^63 - 1 bytes. Each total is the exact sum rounded once to the report's
// double, then printed to 17 significant digits.
TEST_F(HostileTest, HugeSums) {
  if (geteuid() != 0) GTEST_SKIP() << "mounting a tmpfs takes root";
  const off_t kMost = std::numeric_limits<off_t>::max();
  const struct {
    std::vector<off_t> sizes;
    const char* column;
  } cases[] = {
      {{off_t(1) << 53, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1}, "9007199254741002.00"},
      {{kMost, kMost, kMost}, "27670116110564327000.00"},
  };
  for (const auto& c : cases) {
    folder("t");
    ASSERT_EQ(mount("tmpfs", at("t").c_str(), "tmpfs", 0, "size=1m"), 0);
    for (size_t i = 0; i < c.sizes.size(); ++i) file("t/f" + std::to_string(i), c.sizes[i]);
    expectTotal(runTool({tool("t"), "b"}, within(20)), c.column, c.column);
    EXPECT_EQ(umount2(at("t").c_str(), MNT_DETACH), 0);
    removeAll(at("t"));
  }
}

TEST_F(HostileTest, ProcIsWalkedAndTheRunEnds) {
  link("/proc", "proc");
  file("a", 3);
  expectTotal(runTool({tool(), "b"}, within(20)), "3.00", "link to /proc");
  expectTotal(runTool({"C:/proc/self", "b"}, within(20)), "-2.00", "a link, not followed");
  // What /proc holds changes from one run to the next, so each way is a run of its own.
  for (const char* path : {"C:/proc", "C:/proc/1", "C:/proc/sys"}) {
    for (const int threads : {1, 8}) {
      const RunResult r = runTool({path, "b"}, onThreads(threads, 120));
      EXPECT_FALSE(r.timedOut) << path;
      EXPECT_EQ(r.status, 0) << path;
      EXPECT_EQ(r.err, "") << path;
      double columns[4];
      EXPECT_EQ(sscanf(r.out.c_str(), "%lf %lf %lf %lf", &columns[0], &columns[1], &columns[2],
                       &columns[3]),
                4)
          << path;
      EXPECT_GE(columns[3], 0) << path;
    }
  }
}

TEST_F(HostileTest, BadCommandLines) {
  folder("only");
  folder("only/folders");
  file("only/folders/f", 5);
  const std::string huge = "C:" + root + "/" + std::string(100000 - 3 - root.size(), 'x');
  ASSERT_EQ(huge.size(), 100000u);
  const std::string hugeOther = "Q:" + std::string(99998, '\\');
  const struct {
    std::vector<std::string> args;
    int status;
    std::string column;  // the whole output when it is not a report line
  } cases[] = {
      {{huge, "b"}, 0, "-2.00\r"},
      {{hugeOther, "b"}, 255, ""},
      {{huge.substr(0, 50000), "b"}, 0, "-2.00\r"},
      // A typed path is a name: these name no entry, though "*" and "*.*" would match folders.
      {{"C:" + root + "\\only\\*", "b"}, 0, "-2.00\r"},
      {{"C:" + root + "\\only\\*.*", "b"}, 0, "-2.00\r"},
      {{"C:" + root + "\\only\\nomatch*", "b"}, 0, "-2.00\r"},
      {{"", "b"}, 0, "-2.00\r"},
      {{"C:", "b"}, 0, "-2.00\r"},
      {{"\\\\server\\share", "b"}, 255, ""},
      {{tool("only"), ""}, 0, "0\r"},
      {{tool("only"), "\xc3\xa9"}, 0, "0\r"},
      {{tool("only"), "\xe9"}, 0, "0\r"},
      {{tool("only"), "\xe2\x82\xac"}, 0, "0\r"},
  };
  for (const auto& c : cases) {
    const RunResult r = runTool(c.args, within(30));
    const std::string label = c.args[0].substr(0, 60) + " " + c.args[1];
    EXPECT_FALSE(r.timedOut) << label;
    EXPECT_EQ(r.status, c.status) << label;
    EXPECT_EQ(r.err, "") << label;
    EXPECT_EQ(c.status == 0 ? lastColumn(r.out) : r.out, c.column) << label;
  }
  // The debug trace carries the whole argument, untruncated, in every line that shows it.
  const RunResult r = runTool({huge, "d"}, within(30));
  EXPECT_EQ(r.status, 0);
  const std::string trace = "Display type = 3\nSizing " + huge + "\ncall dirSize" + huge +
                            " \nc_file attrib    00, -1 name " + huge +
                            "\nError invalid directory " + huge + "\n";
  EXPECT_EQ(r.out.compare(0, trace.size(), trace), 0);
}

// `text` for a shell's $'...': every byte but a printable one as \xHH.
std::string shellEscaped(const std::string& text) {
  std::string escaped;
  for (const char byte : text) {
    const unsigned c = static_cast<unsigned char>(byte);
    char hex[5];
    snprintf(hex, sizeof hex, "\\x%02x", c);
    escaped += c >= 0x20 && c < 0x7f && c != '\\' && c != '\'' ? std::string(1, byte) : hex;
  }
  return escaped;
}

// What a person at a terminal learns of a run that printed nothing, or a line that leaves something
// out: a note on standard error, there only. Each row runs once with standard error redirected,
// where nothing may be written and the output and status are the row's, and once in a terminal
// (tmux) with standard output to a file, which must hold the same bytes, and the screen showing
// the note and the status alone. Names in a note are shown escaped.
TEST_F(HostileTest, NotesForAPersonAtATerminal) {
  folder("ok");
  folder("ok/noread");
  file("ok/noread/x", 5000);
  chmod(at("ok/noread").c_str(), 0);
  file("f", 3);
  folder(".hidden");
  file("\x1b]0;pwned\x07", 7);
  deepChain(3, "ok");
  const std::string usage = kUsage;
  const std::string asNobody = "setpriv --reuid=nobody --regid=nogroup --clear-groups ";
  const struct {
    std::vector<std::string> args;
    std::string before;  // the shell's words before the program: a user, a limit
    int status;
    std::string out;   // standard output, or its last column after a report line
    std::string note;  // the screen after the run but "status N"
  } cases[] = {
      {{"--help"}, "", 0, usage, ""},
      {{"-h", "k"}, "", 0, usage, ""},
      {{"/?"}, "", 0, usage, ""},
      {{"-?"}, "", 0, usage, ""},
      {{"--version"}, "", 0, "Voltally 1.1\n", ""},
      {{"/usr/share"},
       "",
       255,
       "",
       "Voltally: no drive matches \"/usr/share\": the path must begin with its drive, as in "
       "C:/usr/share\nOn Linux the one drive, C:, is the root: C:/usr/share; C:. for this folder; "
       "\"C:$PWD\""},
      {{"D:/x", "k"},
       "",
       255,
       "",
       "Voltally: no drive matches \"D:/x\": there is no drive D: here\nOn Linux the one drive, "
       "C:, is the root: C:/usr/share; C:. for this folder; \"C:$PWD\""},
      {{"/usr/share", "d"}, "", 255, "Display type = 3\nSizing /usr/share\n", ""},
      {{tool("missing"), "b"},
       "",
       0,
       "-2.00\r",
       "Voltally: Directory-Size is -2: " + tool("missing") + " does not exist"},
      {{tool() + "/", "b"},
       "",
       0,
       "-2.00\r",
       "Voltally: Directory-Size is -2: " + tool() +
           "/ ends in a separator; without it: " + tool()},
      {{tool("f"), "b"},
       "",
       0,
       "-2.00\r",
       "Voltally: Directory-Size is -2: " + tool("f") + " is a file, not a folder"},
      {{tool(".hidden"), "b"},
       "",
       0,
       "-2.00\r",
       "Voltally: Directory-Size is -2: " + tool(".hidden") +
           " begins with a dot, and such folders are passed over"},
      {{tool("\x1b]0;pwned\x07"), "b"},
       "",
       0,
       "-2.00\r",
       "Voltally: Directory-Size is -2: " + tool("\\033]0;pwned\\a") + " is a file, not a folder"},
      {{tool("ok"), "b"},
       asNobody,
       0,
       "3.00\r",
       "Voltally: the total leaves out 1 folder that could not be read: " + tool("ok/noread") +
           ": Permission denied"},
      {{tool("ok"), "d"}, asNobody, 0, "0\r", ""},
      {{tool("ok/lvl"), "b"},
       "ulimit -n 4; ",
       EMFILE,
       "-1 -1 \r",
       "Voltally: no total: the walk could not go on at " + tool("ok/lvl/lvl") +
           ": Too many open files"},
  };
  for (const auto& c : cases) {
    if (kSanitized && c.before.rfind("ulimit", 0) == 0) continue;  // the runtime needs descriptors
    std::string command = c.before + "'" + binary + "'";
    for (const std::string& arg : c.args) command += " $'" + shellEscaped(arg) + "'";
    const std::string label = command.substr(0, 120);
    RunOptions redirected = within(20);
    redirected.unprivileged = !c.before.empty() && c.before == asNobody;
    if (c.before.rfind("ulimit -n ", 0) == 0) redirected.hardFileLimit = 4;
    std::vector<std::string> args = c.args;
    const RunResult r = runTool(args, redirected);
    EXPECT_EQ(r.status, c.status) << label;
    EXPECT_EQ(r.err, "") << label;
    const bool report = !r.out.empty() && r.out.back() == '\r' && r.out.rfind("-1 -1", 0) != 0;
    EXPECT_EQ(report ? lastColumn(r.out) : r.out, c.out) << label;

    unlink(at("out").c_str());
    startTerminal("cd '" + root + "' && " + command + " >out; echo status $?; sleep 60", 250, 10);
    std::string screen = terminalScreen("status", 100);
    endTerminal();
    screen.erase(screen.find_last_not_of('\n') + 1);
    const std::string status = "status " + std::to_string(c.status);
    EXPECT_EQ(screen, c.note.empty() ? status : c.note + "\n" + status) << label;
    const int fd = open(at("out").c_str(), O_RDONLY);
    EXPECT_EQ(sameWalk(readAll(fd)), sameWalk(r.out)) << label;
    close(fd);
  }
}

// The report never reaches a reader: that must not end in success, and nothing goes to standard
// error. The run also walks folders, so a closed standard output would be the first descriptor
// they are given.
TEST_F(HostileTest, OutputThatCannotBeWritten) {
  for (int i = 0; i < 40; ++i) {
    folder("d" + std::to_string(i));
    file("d" + std::to_string(i) + "/f", 1);
  }
  // A program that writes at once races whoever closes the pipe's reader: repeated, a reader left
  // open too long shows as a success now and then.
  const struct {
    RunOptions::Output out;
    int status;
    int repeats;
  } cases[] = {
      {RunOptions::kClosed, EBADF, 1},
      {RunOptions::kDevFull, ENOSPC, 1},
      {RunOptions::kBrokenPipe, EPIPE, 200},
  };
  for (const auto& c : cases) {
    for (const char* letter : {"b", "d"}) {  // the debug trace outgrows the output buffer
      RunOptions options = within(20);
      options.out = c.out;
      for (int repeat = 0; repeat < c.repeats; ++repeat) {
        const RunResult r = runTool({tool(), letter}, options);
        EXPECT_FALSE(r.timedOut);
        ASSERT_EQ(r.status, c.status) << "case " << c.out << " letter " << letter << " #" << repeat;
        EXPECT_EQ(r.err, "") << "case " << c.out << " letter " << letter;
      }
    }
  }
}

// A person at a terminal sees the walk's progress on standard error once it has run a second, and
// nothing of it after: the walk is held for two seconds in a terminal under tmux, whose screen is
// read while held and once the run has ended. Standard output is the report's bytes whatever
// standard error is, and an interrupt erases the line and ends the run by SIGINT (130). The line
// shows the folder listed after a first hold, whose path holds an escape sequence that would
// retitle the terminal and one left open that would swallow all that follows: both show escaped.
TEST_F(HostileTest, ProgressOnATerminalLeavesNothingBehind) {
  if (geteuid() != 0) GTEST_SKIP() << "holding the walk at an open (fanotify) takes root";
  file("a", 15);
  const std::string named = "\x1b]0;pwned\x07/\x1b]2;open";
  folder("\x1b]0;pwned\x07");
  folder(named);
  deepChain(10, named);
  expectProgressLeavesNothing(
      "'" + binary + "' '" + tool() + "' b", "'" + binary + "' '" + tool() + "' d", root,
      runTool({tool(), "b"}).out, std::regex("^([0-9]+\\.[0-9]{2} ){3}25\\.00\n"), "status 130",
      "\\033]0;pwned\\a/\\033]2;open", true,
      [&](const std::function<void()>& start, const std::function<void()>& look) {
        const auto pause = [](pid_t) { usleep(300000); };
        EXPECT_TRUE(holdAt(
            at(named + "/lvl"), [&] { EXPECT_TRUE(holdAt(at(named), start, pause)); },
            [&](pid_t) {
              look();
              EXPECT_EQ(terminalTitle().find("pwned"), std::string::npos) << terminalTitle();
            }));
      });
}

struct Snapshot {
  std::map<std::string, std::string> entries;  // path -> what stat and the contents say
};

// Either what lstat says of every entry or the contents of every file, by relative path.
void snap(const std::string& path, const std::string& name, Snapshot* s, bool contents) {
  struct stat st;
  ASSERT_EQ(lstat(path.c_str(), &st), 0) << path;
  std::string text;
  if (contents) {
    if (S_ISREG(st.st_mode)) {
      const int fd = open(path.c_str(), O_RDONLY);
      text = std::to_string(std::hash<std::string>()(readAll(fd)));
      close(fd);
    }
  } else {
    text = std::to_string(st.st_mode) + " " + std::to_string(st.st_size) + " " +
           std::to_string(st.st_mtim.tv_sec) + "." + std::to_string(st.st_mtim.tv_nsec) + " " +
           std::to_string(st.st_ctim.tv_sec) + "." + std::to_string(st.st_ctim.tv_nsec);
    // A folder's access time moves when it is listed; that is the kernel's note of a read.
    if (!S_ISDIR(st.st_mode)) {
      text += " " + std::to_string(st.st_atim.tv_sec) + "." + std::to_string(st.st_atim.tv_nsec);
    }
  }
  s->entries[name] = text;
  if (S_ISDIR(st.st_mode)) {
    std::vector<std::string> names;
    if (DIR* dir = opendir(path.c_str())) {
      while (const dirent* d = readdir(dir)) names.push_back(d->d_name);
      closedir(dir);
    }
    for (const std::string& child : names) {
      if (child != "." && child != "..") snap(path + "/" + child, name + "/" + child, s, contents);
    }
  }
}

TEST_F(HostileTest, TheRunChangesNothingOnDisk) {
  folder("sub");
  folder("sub/deeper");
  folder(".hidden");
  const int fd = open(at("sub/data").c_str(), O_CREAT | O_WRONLY, 0644);
  ASSERT_EQ(write(fd, "some bytes", 10), 10);
  close(fd);
  file("sub/deeper/sparse", 1 << 20);
  file(".hidden/h", 3);
  file("readonly", 4);
  chmod(at("readonly").c_str(), 0444);
  link("sub", "link");
  ASSERT_EQ(mkfifo(at("fifo").c_str(), 0644), 0);
  // Contents first: reading them may move access times, which the snapshot of lstat then holds.
  Snapshot contents, before, after, afterContents;
  snap(root, "", &contents, true);
  snap(root, "", &before, false);
  for (const char* letter : {"b", "d"}) {
    RunOptions options = within(20);
    options.cwd = root;
    expectTotal(runTool({tool(), letter}, options), letter[0] == 'b' ? "1048590.00" : "1", letter);
  }
  snap(root, "", &after, false);
  snap(root, "", &afterContents, true);
  EXPECT_EQ(before.entries, after.entries);
  EXPECT_EQ(contents.entries, afterContents.entries);
}

}  // namespace
