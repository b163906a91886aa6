#include "tests/run_program.h"

#include <fcntl.h>
#include <grp.h>
#include <gtest/gtest.h>
#include <pwd.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <thread>

namespace {

void dropPrivileges() {
  if (geteuid() != 0) return;  // permissions already hold
  const passwd* nobody = getpwnam("nobody");
  const uid_t uid = nobody != nullptr ? nobody->pw_uid : 65534;
  const gid_t gid = nobody != nullptr ? nobody->pw_gid : 65534;
  if (setgroups(0, nullptr) != 0 || setgid(gid) != 0 || setuid(uid) != 0) _exit(126);
}

// In the child, between fork and exec.
void setUpChild(const RunOptions& options, int outFd, int errFd, const int pipeFds[2]) {
  signal(SIGPIPE, SIG_DFL);  // as a shell starts it, whatever the test runner does
  dup2(errFd, 2);
  switch (options.out) {
    case RunOptions::kCapture:
      dup2(outFd, 1);
      break;
    case RunOptions::kClosed:
      close(1);
      break;
    case RunOptions::kDevFull:
      dup2(open("/dev/full", O_WRONLY | O_CLOEXEC), 1);
      break;
    case RunOptions::kBrokenPipe:
      dup2(pipeFds[1], 1);  // nobody reads it
      break;
  }
  rlimit limit;
  getrlimit(RLIMIT_NOFILE, &limit);
  if (options.hardFileLimit != 0) limit.rlim_cur = limit.rlim_max = options.hardFileLimit;
  if (options.softFileLimit != 0) limit.rlim_cur = options.softFileLimit;
  setrlimit(RLIMIT_NOFILE, &limit);
  if (options.addressSpace != 0) {
    const rlimit space = {options.addressSpace, options.addressSpace};
    setrlimit(RLIMIT_AS, &space);
  }
  // Whatever the test runner left open without close-on-exec would count against the limits.
  close_range(3, ~0U, 0);
  for (const std::string& setting : options.env) putenv(const_cast<char*>(setting.c_str()));
  if (!options.cwd.empty() && chdir(options.cwd.c_str()) != 0) _exit(125);
  if (options.unprivileged) dropPrivileges();
}

}  // namespace

std::string readAll(int fd) {
  std::string text;
  char buffer[65536];
  ssize_t n;
  lseek(fd, 0, SEEK_SET);
  while ((n = read(fd, buffer, sizeof buffer)) > 0) text.append(buffer, size_t(n));
  return text;
}

RunResult runProgram(std::vector<std::string> args, const RunOptions& options) {
  std::vector<char*> argv;
  for (std::string& arg : args) argv.push_back(arg.data());
  argv.push_back(nullptr);
  // Close-on-exec, so that the program starts with nothing open beyond 0, 1 and 2.
  const int outFd = memfd_create("out", MFD_CLOEXEC);
  const int errFd = memfd_create("err", MFD_CLOEXEC);
  int pipeFds[2] = {-1, -1};
  RunResult result;
  if (outFd < 0 || errFd < 0) return result;
  if (options.out == RunOptions::kBrokenPipe) {
    if (pipe2(pipeFds, O_CLOEXEC) != 0) return result;
    // Closed before the program starts: a reader left open until fork returns here would take
    // what a quick program writes first.
    close(pipeFds[0]);
    pipeFds[0] = -1;
  }
  const pid_t pid = fork();
  if (pid == 0) {
    setUpChild(options, outFd, errFd, pipeFds);
    execv(argv[0], argv.data());
    _exit(127);
  }
  if (pipeFds[1] >= 0) close(pipeFds[1]);
  int status = 0;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(options.seconds);
  while (waitpid(pid, &status, WNOHANG) == 0) {
    if (std::chrono::steady_clock::now() > deadline) {
      kill(pid, SIGKILL);
      waitpid(pid, &status, 0);
      result.timedOut = true;
      break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  result.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  result.out = readAll(outFd);
  result.err = readAll(errFd);
  close(outFd);
  close(errFd);
  return result;
}

RunResult runEveryWay(const std::vector<std::string>& argv, const RunOptions& options) {
  const char* settings[] = {"VOLTALLY_THREADS=1", "VOLTALLY_THREADS=8", "VOLTALLY_THREADS=128"};
  RunResult runs[3];
  for (int i = 0; i < 3; ++i) {
    RunOptions way = options;
    way.env.push_back(settings[i]);
    runs[i] = runProgram(argv, way);
  }
  const std::string what = argv.size() > 1 ? argv[1].substr(0, 80) : "";
  for (int i = 1; i < 3; ++i) {
    EXPECT_EQ(runs[i].status, runs[0].status) << what << " " << settings[i];
    EXPECT_EQ(sameWalk(runs[i].out), sameWalk(runs[0].out)) << what << " " << settings[i];
    EXPECT_EQ(runs[i].err, runs[0].err) << what << " " << settings[i];
  }
  return runs[0];
}

std::string sameWalk(const std::string& out) {
  if (out.empty() || out.back() != '\r') return out;
  const size_t line = out.find_last_of('\n') == std::string::npos ? 0 : out.find_last_of('\n') + 1;
  const size_t total = out.rfind(' ');
  if (total == std::string::npos || total < line) return out;
  return out.substr(0, line) + "#" + out.substr(total);
}

namespace {

// Each terminal on a server of its own: a server being killed may still take a new session.
int terminals = 0;

std::string inTmux(std::vector<std::string> words) {
  const std::vector<std::string> tmux = {
      "/usr/bin/tmux", "-L",
      "voltally-" + std::to_string(getpid()) + "-" + std::to_string(terminals)};
  words.insert(words.begin(), tmux.begin(), tmux.end());
  return runProgram(words).out;
}

}  // namespace

void startTerminal(const std::string& command, int columns, int rows) {
  ++terminals;
  inTmux({"new-session", "-d", "-x", std::to_string(columns), "-y", std::to_string(rows), "bash",
          "-c", command});
}

std::string terminalScreen(const std::string& until, int tenths) {
  std::string screen;
  for (int wait = 0; wait < tenths && screen.find(until) == std::string::npos; ++wait) {
    usleep(100000);
    screen = inTmux({"capture-pane", "-p"});
  }
  return screen;
}

void terminalKeys(const std::string& keys) {
  inTmux({"send-keys", keys});
}

std::string terminalTitle() {
  return inTmux({"display-message", "-p", "#{pane_title}"});
}

void endTerminal() {
  inTmux({"kill-server"});
}

void expectProgressLeavesNothing(const std::string& command, const std::string& traced,
                                 const std::string& folder, const std::string& plain,
                                 const std::regex& report, const char* interrupted,
                                 const std::string& shows, bool jobs, const During& during) {
  const struct {
    std::string before, redirect, file;  // shell commands before the run's, and its redirection
    bool interrupt, lineWhileRunning, job;
    std::string end;  // the screen once the run has ended, the report line as R
    bool trace = false;
  } cases[] = {
      {"", "", "", false, true, false, "R\nstatus 0"},
      {"", " 2>err", "err", false, false, false, "R\nstatus 0"},
      {"", " >out", "out", false, true, false, "status 0"},
      {"", "", "", true, true, false, interrupted},
      // A trace is its own account of the run: the terminal gets neither line nor note.
      {"", " >trace", "", false, false, false, "status 0", true},
      // A job in the background, which writing to the terminal would stop (SIGTTOU), as it stops a
      // job of an interactive shell; this shell's jobs would ignore the signal.
      {"set -m; stty tostop; env --default-signal=TTOU", " >out & set +m; wait $!", "out", false,
       false, true, "status 0"},
      // As a script's background job starts: Ctrl+C must not end the run.
      {"trap '' INT; ", "", "", true, true, true, "R\nstatus 0"},
  };
  for (const auto& c : cases) {
    if (c.job && !jobs) continue;
    unlink((folder + "/out").c_str());
    unlink((folder + "/trace").c_str());
    const auto start = [&] {
      startTerminal("trap true INT; cd '" + folder + "' && " + c.before + " " +
                        (c.trace ? traced : command) + c.redirect + "; echo status $?; sleep 60",
                    100, 10);
    };
    during(start, [&] {
      const std::string screen = terminalScreen(" folders, ", c.lineWhileRunning ? 300 : 16);
      EXPECT_EQ(std::regex_search(screen, std::regex("(^|\n)[0-9]+ files, [0-9]+ folders, ")),
                c.lineWhileRunning)
          << c.before << c.redirect << ":\n"
          << screen;
      if (c.lineWhileRunning && !shows.empty()) {
        EXPECT_NE(screen.find(shows), std::string::npos) << screen;
      }
      if (c.interrupt) terminalKeys("C-c");
    });
    std::string screen = std::regex_replace(terminalScreen("status", 600), report, "R\n");
    endTerminal();
    if (screen.rfind("^C", 0) == 0) screen.erase(0, 2);  // a Windows console's own echo
    EXPECT_EQ(screen.substr(0, screen.find_last_not_of('\n') + 1), c.end) << c.before << c.redirect;
    if (!c.file.empty()) {
      const int fd = open((folder + "/" + c.file).c_str(), O_RDONLY);
      EXPECT_EQ(sameWalk(readAll(fd)), c.file == "out" ? sameWalk(plain) : "") << c.file;
      close(fd);
    }
  }
}
