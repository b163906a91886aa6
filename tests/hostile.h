// The hostile suites' fixture: the real program, copied where user nobody can run it, on trees
// made for each test in a folder of its own, every run bounded in time.
#pragma once

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/fanotify.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "tests/run_program.h"

// A sanitizer's runtime reserves far more address space than any memory limit here allows, and
// needs descriptors of its own: runs under such limits test the program only where it has none.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
inline constexpr bool kSanitized = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
inline constexpr bool kSanitized = true;
#else
inline constexpr bool kSanitized = false;
#endif
#else
inline constexpr bool kSanitized = false;
#endif

// The binary is copied into a world-readable folder so that an unprivileged user can run it.
inline std::string base;
inline std::string binary;

inline RunOptions within(int seconds) {
  RunOptions options;
  options.seconds = seconds;
  return options;
}

// The walk on `threads` threads, for a tree that changes between runs, which runTool cannot size
// every way.
inline RunOptions onThreads(int threads, int seconds) {
  RunOptions options = within(seconds);
  options.env.push_back("VOLTALLY_THREADS=" + std::to_string(threads));
  return options;
}

// Every way (runEveryWay), unless `options` sets the walk's threads itself.
inline RunResult runTool(std::vector<std::string> args, const RunOptions& options = RunOptions()) {
  args.insert(args.begin(), binary);
  for (const std::string& setting : options.env) {
    if (setting.rfind("VOLTALLY_THREADS=", 0) == 0) return runProgram(args, options);
  }
  return runEveryWay(args, options);
}

inline std::string lastColumn(const std::string& line) {
  const size_t space = line.rfind(' ');
  return space == std::string::npos ? line : line.substr(space + 1);
}

// Exit 0, nothing on standard error, and the directory total in bytes.
inline void expectTotal(const RunResult& r, const std::string& column, const std::string& what) {
  EXPECT_FALSE(r.timedOut) << what;
  EXPECT_EQ(r.status, 0) << what;
  EXPECT_EQ(r.err, "") << what;
  EXPECT_EQ(lastColumn(r.out), column + "\r") << what;
}

class HostileTest : public testing::Test {
 protected:
  static void SetUpTestSuite() {
    char dir[] = "/tmp/voltally-hostile-XXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    base = dir;
    chmod(dir, 0755);
    binary = base + "/Voltally";
    const std::string copy = "cp '" VOLTALLY_BINARY "' '" + binary + "'";
    ASSERT_EQ(system(copy.c_str()), 0);
    chmod(binary.c_str(), 0755);
  }
  static void TearDownTestSuite() { removeAll(base); }
  static void removeAll(const std::string& path) {
    const std::string command = "chmod -R u+rwx '" + path + "' 2>/dev/null; rm -rf '" + path + "'";
    EXPECT_EQ(system(command.c_str()), 0);
  }
  void SetUp() override {
    root = base + "/" + testing::UnitTest::GetInstance()->current_test_info()->name();
    ASSERT_EQ(mkdir(root.c_str(), 0755), 0);
  }
  void TearDown() override { removeAll(root); }

  std::string at(const std::string& relative) const { return root + "/" + relative; }
  void folder(const std::string& relative) {
    ASSERT_EQ(mkdir(at(relative).c_str(), 0755), 0) << relative;
  }
  // Sparse files: sizes cost no disk.
  void file(const std::string& relative, off_t size) {
    const int fd = open(at(relative).c_str(), O_CREAT | O_WRONLY | O_TRUNC, 0644);
    ASSERT_GE(fd, 0) << relative;
    ASSERT_EQ(ftruncate(fd, size), 0);
    close(fd);
  }
  void link(const std::string& target, const std::string& relative) {
    ASSERT_EQ(symlink(target.c_str(), at(relative).c_str()), 0) << relative;
  }
  std::string tool(const std::string& relative = "") const {
    return "C:" + root + (relative.empty() ? "" : "/" + relative);
  }
  // A chain of `levels` folders named "lvl" in the folder `under`, each holding a 1-byte file "f";
  // made through open folders, since its paths outgrow what the system takes in one piece.
  void deepChain(int levels, const std::string& under = "") {
    int fd = open(under.empty() ? root.c_str() : at(under).c_str(), O_RDONLY | O_DIRECTORY);
    ASSERT_GE(fd, 0);
    for (int i = 0; i < levels; ++i) {
      ASSERT_EQ(mkdirat(fd, "lvl", 0755), 0) << i;
      const int next = openat(fd, "lvl", O_RDONLY | O_DIRECTORY);
      close(fd);
      ASSERT_GE(next, 0) << i;
      fd = next;
      const int f = openat(fd, "f", O_CREAT | O_WRONLY, 0644);
      ASSERT_GE(f, 0);
      ASSERT_EQ(ftruncate(f, 1), 0);
      close(f);
    }
    close(fd);
  }

  // Holds whatever `start` starts at its open of the folder `deepest` (a fanotify permission
  // event, which takes root) while `whileHeld` runs with the held process's id. Returns false when
  // nothing was held there.
  static bool holdAt(const std::string& deepest, const std::function<void()>& start,
                     const std::function<void(pid_t)>& whileHeld) {
    const int group = fanotify_init(FAN_CLASS_CONTENT | FAN_CLOEXEC, O_RDONLY | O_CLOEXEC);
    if (group < 0 ||
        fanotify_mark(group, FAN_MARK_ADD, FAN_OPEN_PERM | FAN_ONDIR, AT_FDCWD, deepest.c_str())) {
      ADD_FAILURE() << "fanotify on " << deepest << ": " << strerror(errno);
      if (group >= 0) close(group);
      return false;
    }
    start();
    pollfd ready = {group, POLLIN, 0};
    fanotify_event_metadata event = {};
    const bool held =
        poll(&ready, 1, 30000) == 1 && read(group, &event, sizeof event) == ssize_t(sizeof event);
    if (held) {
      whileHeld(event.pid);
      const fanotify_response allow = {event.fd, FAN_ALLOW};
      EXPECT_EQ(write(group, &allow, sizeof allow), ssize_t(sizeof allow));
      close(event.fd);
    }
    close(group);  // lets anything still held go on
    return held;
  }

  // The tool on `path` in bytes, held as holdAt holds it; the run is in `r` either way.
  static bool runHeld(const std::string& path, const std::string& deepest,
                      const std::function<void(pid_t)>& whileHeld, RunResult* r,
                      const RunOptions& options = within(60)) {
    std::thread walk;
    const bool held = holdAt(
        deepest, [&] { walk = std::thread([&] {
                         *r = runTool({path, "b"}, options);
                       }); },
        whileHeld);
    walk.join();
    return held;
  }

  std::string root;
};
