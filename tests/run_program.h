// Runs a program the way a script would, with its output captured byte for byte and every run
// bounded in time, so that a program that blocks fails its test instead of hanging the suite.
#pragma once

#include <sys/resource.h>

#include <functional>
#include <regex>
#include <string>
#include <vector>

struct RunOptions {
  enum Output { kCapture, kClosed, kDevFull, kBrokenPipe } out = kCapture;
  std::string cwd;               // empty keeps the caller's
  std::vector<std::string> env;  // "NAME=value" settings added to the caller's environment
  rlim_t softFileLimit = 0;      // 0 leaves the limit alone
  rlim_t hardFileLimit = 0;      // both limits, as `ulimit -n` sets them; 0 leaves them alone
  rlim_t addressSpace = 0;       // in bytes, as `ulimit -v` sets it; 0 leaves it alone
  bool unprivileged = false;     // drop to user nobody when run as root
  int seconds = 60;
};

struct RunResult {
  int status = -1;  // as a shell sees it; 128 + n for death by signal n
  bool timedOut = false;
  std::string out;
  std::string err;
};

// Standard output and error go to memory files rather than pipes: helpers the program leaves
// behind (Wine's server, say) may hold them open without holding the caller up. Nothing beyond
// 0, 1 and 2 is open in the program.
RunResult runProgram(std::vector<std::string> argv, const RunOptions& options = RunOptions());

// Runs the tool every way its walk can go: on one thread (VOLTALLY_THREADS=1), on eight, and on
// the most it takes (128), with far more folders handed between them, and expects the same
// status and the same bytes from each but the drive's figures (sameWalk): no tree may show which
// walk sized it. Returns the one-thread run.
RunResult runEveryWay(const std::vector<std::string>& argv,
                      const RunOptions& options = RunOptions());

// `out` with the drive's three figures of a report line at its end masked: the only part of a
// run's output that others writing to the disk change between two runs.
std::string sameWalk(const std::string& out);

// A terminal of the test's own: a tmux session, on a server of this process's, running the shell
// command `command` in bash on a screen of `columns` x `rows`. One at a time.
void startTerminal(const std::string& command, int columns, int rows);

// The terminal's screen once it shows `until`, or after `tenths` tenths of a second.
std::string terminalScreen(const std::string& until, int tenths);

// Types `keys` (tmux's names, "C-c" for Ctrl+C) into the terminal.
void terminalKeys(const std::string& keys);

// The title that the program in the terminal gave it, or tmux's own.
std::string terminalTitle();

void endTerminal();

// What a person at a terminal sees of a long run of the shell command `command`, run in `folder`
// as it is, with standard error or output redirected to a file there, and interrupted by Ctrl+C:
// the progress line while the run is under way (none with standard error redirected), showing
// `shows` when that is not empty, and after it the report line (matching `report`) and "status N"
// alone, or `interrupted` alone. A file that standard output went to holds `plain`, a run's bytes
// without a terminal, and standard error's file nothing. With `jobs`, also a run in the background
// of a shell with job control and `stty tostop`, which draws nothing and ends, and a run started
// with interrupts ignored, which Ctrl+C does not end. `traced`, the same run with the letter d,
// draws nothing on the terminal, standard output to a file. `during` runs `start`, which starts
// the terminal, and then `look` while the run is under way.
using During =
    std::function<void(const std::function<void()>& start, const std::function<void()>& look)>;
void expectProgressLeavesNothing(const std::string& command, const std::string& traced,
                                 const std::string& folder, const std::string& plain,
                                 const std::regex& report, const char* interrupted,
                                 const std::string& shows, bool jobs, const During& during);

// Everything in the file `fd`, read from its start.
std::string readAll(int fd);
