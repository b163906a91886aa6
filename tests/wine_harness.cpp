#include "tests/wine_harness.h"

#include <fcntl.h>
#include <ftw.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>

namespace {

int removeEntry(const char* path, const struct stat*, int, struct FTW*) {
  return remove(path);
}

int openUp(const char* path, const struct stat* st, int, struct FTW*) {
  if (S_ISDIR(st->st_mode)) chmod(path, 0755);
  return 0;
}

void removeTree(const std::string& path) {
  nftw(path.c_str(), openUp, 64, FTW_PHYS);
  nftw(path.c_str(), removeEntry, 64, FTW_DEPTH | FTW_PHYS);
}

// The program under test, from ctest's environment.
std::string unixProgram() {
  const char* exe = getenv("VOLTALLY_EXE");
  return exe != nullptr ? exe : "";
}

// The program's prefix and drive folders: in the folder named after its build folder.
std::string wineState() {
  std::string build = unixProgram();
  build.erase(std::min(build.size(), build.rfind('/')));
  return std::string(WINE_STATE) + "/" + build.substr(build.rfind('/') + 1);
}

RunOptions inPrefix() {
  RunOptions options;
  options.env = {"WINEPREFIX=" + winePrefix()};
  return options;
}

}  // namespace

std::string winePrefix() {
  return wineState() + "/wineprefix";
}

std::string windowsProgram() {
  std::string path = "Z:" + unixProgram();
  for (char& c : path) c = c == '/' ? '\\' : c;
  return path;
}

RunResult runCmd(const std::string& line) {
  return runProgram({WINE_RUN, "cmd", "/c", line}, inPrefix());
}

// Wine has been seen, rarely and on a busy machine, to end a run with status 1 and nothing on
// either stream, and once, as it ended, with status 127 and its loader's "Inconsistency detected
// by ld.so: dl-fini.c" on standard error. The program never ends either way under these suites (a
// failed write of its line would give another error code), so such a run is repeated, a few times
// at most, said on stderr and counted, a line each, in the state folder's file wine-reruns, so
// that a rise is seen.
namespace {
bool wineFailed(const RunResult& run) {
  return (run.status == 1 && run.out.empty() && run.err.empty()) ||
         (run.status == 127 && run.err.rfind("Inconsistency detected by ld.so", 0) == 0);
}

RunResult runOnce(const std::vector<std::string>& argv, const RunOptions& options) {
  RunResult run = runProgram(argv, options);
  for (int retry = 0; retry < 3 && wineFailed(run); ++retry) {
    fprintf(stderr, "Wine itself ended a run with status %d; running it again\n", run.status);
    if (FILE* reruns = fopen((wineState() + "/wine-reruns").c_str(), "a")) {
      fprintf(reruns, "%s\n", testing::UnitTest::GetInstance()->current_test_info()->name());
      fclose(reruns);
    }
    run = runProgram(argv, options);
  }
  return run;
}
}  // namespace

// On one thread and on eight, as runEveryWay does, the search handles of a trace being Wine's own.
RunResult runWindows(const std::vector<std::string>& args, const std::string& cwd,
                     RunOptions::Output out) {
  std::vector<std::string> argv = {WINE_RUN, unixProgram()};
  argv.insert(argv.end(), args.begin(), args.end());
  RunResult runs[2];
  for (int threads : {1, 8}) {
    RunOptions options = inPrefix();
    options.cwd = cwd;
    options.out = out;
    options.env.push_back("VOLTALLY_THREADS=" + std::to_string(threads));
    runs[threads > 1] = runOnce(argv, options);
  }
  std::vector<std::string> handles;
  const std::string what = args.empty() ? "" : args[0];
  EXPECT_EQ(runs[1].status, runs[0].status) << what;
  EXPECT_EQ(sameWalk(maskHandles(runs[1].out, &handles)),
            sameWalk(maskHandles(runs[0].out, &handles)))
      << what;
  EXPECT_EQ(runs[1].err, runs[0].err) << what;
  return runs[0];
}

RunResult runOnConsole(const std::vector<std::string>& args) {
  std::string command = std::string(WINE_RUN) + " '" + unixProgram() + "'";
  for (const std::string& arg : args) command += " '" + arg + "'";
  return runProgram({"/usr/bin/script", "-qc", command, "/dev/null"}, inPrefix());
}

static std::string windowsCommand(const std::string& exe, const std::vector<std::string>& args) {
  std::string command =
      "env LC_ALL=C.UTF-8 WINEPREFIX='" + winePrefix() + "' " WINE_RUN " '" + exe + "'";
  for (const std::string& arg : args) command += " '" + arg + "'";
  return command;
}

std::string programCommand(const std::vector<std::string>& args) {
  return windowsCommand(unixProgram(), args);
}

std::string probeOnTerminal(const std::vector<std::string>& args) {
  const std::string program = unixProgram();
  const std::string probe = program.substr(0, program.rfind('/')) + "/tests/console_probe.exe";
  startTerminal(windowsCommand(probe, args) + "; echo probe-ended; sleep 600", 200, 50);
  const std::string screen = terminalScreen("probe-ended", 600);
  endTerminal();
  return screen;
}

RunResult runLinux(const std::vector<std::string>& args) {
  std::vector<std::string> argv = {VOLTALLY_BINARY};
  argv.insert(argv.end(), args.begin(), args.end());
  return runProgram(argv);
}

std::string driveFolder(char drive) {
  return wineState() + "/wine-drives/" + drive;
}

Tree::Tree(char drive, const std::string& name)
    : drive_(std::string(1, char(drive - 'a' + 'A')) + ":\\" + name),
      root_(driveFolder(drive) + "/" + name) {
  removeTree(root_);
  EXPECT_EQ(mkdir(root_.c_str(), 0755), 0) << root_;
}

Tree::~Tree() {
  removeTree(root_);
}

std::string Tree::unixPath(const std::string& relative) const {
  return relative.empty() ? root_ : root_ + "/" + relative;
}

std::string Tree::drivePath(const std::string& relative) const {
  std::string path = relative.empty() ? drive_ : drive_ + "\\" + relative;
  for (char& c : path) c = c == '/' ? '\\' : c;
  return path;
}

void Tree::folder(const std::string& relative, unsigned mode) const {
  EXPECT_EQ(mkdir(unixPath(relative).c_str(), 0755), 0) << relative;
  EXPECT_EQ(chmod(unixPath(relative).c_str(), mode), 0) << relative;
}

void Tree::file(const std::string& relative, uint64_t size, unsigned mode) const {
  const int fd = open(unixPath(relative).c_str(), O_CREAT | O_WRONLY | O_TRUNC, 0644);
  ASSERT_GE(fd, 0) << relative;
  EXPECT_EQ(ftruncate(fd, off_t(size)), 0) << relative;
  close(fd);
  EXPECT_EQ(chmod(unixPath(relative).c_str(), mode), 0) << relative;
}

void Tree::link(const std::string& relative, const std::string& target) const {
  EXPECT_EQ(symlink(target.c_str(), unixPath(relative).c_str()), 0) << relative;
}

void Tree::hide(const std::string& relative) const {
  // Wine keeps the hidden and system bits as Samba does: the text "0x2" in user.DOSATTRIB.
  EXPECT_EQ(setxattr(unixPath(relative).c_str(), "user.DOSATTRIB", "0x2", 3, 0), 0)
      << relative << ": the file system needs user extended attributes";
}

std::string lastColumn(const std::string& out) {
  const size_t space = out.rfind(' ');
  return space == std::string::npos ? out : out.substr(space + 1);
}

std::string maskHandles(const std::string& out, std::vector<std::string>* handles) {
  const std::string key = "c_file attrib    ";
  std::string masked = out;
  for (size_t at = masked.find(key); at != std::string::npos; at = masked.find(key, at + 1)) {
    const size_t start = masked.find(", ", at);
    const size_t end = masked.find(" name ", at);
    if (start == std::string::npos || end == std::string::npos || end < start) break;
    handles->push_back(masked.substr(start + 2, end - start - 2));
    masked.replace(start + 2, end - start - 2, "#");
  }
  return masked;
}
