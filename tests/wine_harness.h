// The Linux side of the Wine suites: runs Voltally.exe under Wine and the Linux Voltally, and
// makes the trees they size in the folders that the ctest fixture maps to drive letters.
//
// The program is the Voltally.exe named by the environment variable VOLTALLY_EXE. Its fixture
// (tests/wine_prefix.sh, one prefix per program and ctest run) links A:, D:, F: and
// \\server\share to folders of their own and leaves B: and E: absent; C: is the prefix's drive_c
// and Z: the Unix root.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tests/run_program.h"

// Voltally.exe under Wine in the fixture's prefix. `cwd` is the Unix folder it starts in (Wine
// turns it into a drive path: the folder of D: is D:\); empty keeps the test's own. `out` is
// where its standard output goes.
RunResult runWindows(const std::vector<std::string>& args, const std::string& cwd = "",
                     RunOptions::Output out = RunOptions::kCapture);

// cmd /c `line` under Wine in the fixture's prefix; `line` names the program as `windowsProgram()`.
RunResult runCmd(const std::string& line);

// The program under test as a Windows path (on Z:, the Unix root).
std::string windowsProgram();

// The fixture's prefix, as a Unix folder.
std::string winePrefix();

// Voltally.exe under Wine on a console: a pseudo-terminal under script(1), whose output is what
// Wine's console host makes of the console, its escape sequences included.
RunResult runOnConsole(const std::vector<std::string>& args);

// The console probe of the program's build (tests/console_probe.cpp) under Wine, given `args`, in
// a terminal of its own (a tmux session); returns the terminal's screen once the probe has ended.
std::string probeOnTerminal(const std::vector<std::string>& args);

// The shell command that runs the program under Wine in the fixture's prefix with `args`, for a
// terminal (startTerminal).
std::string programCommand(const std::vector<std::string>& args);

// The Linux program built beside the harness.
RunResult runLinux(const std::vector<std::string>& args);

// A folder of a test's own, under the folder of a fixture drive, removed with everything in it
// when the test ends (leftovers of an interrupted run are removed first).
class Tree {
 public:
  Tree(char drive, const std::string& name);
  ~Tree();
  Tree(const Tree&) = delete;
  Tree& operator=(const Tree&) = delete;

  // `relative` uses '/'; unixPath joins it with '/', drivePath with '\' ("D:\name\a\b").
  std::string unixPath(const std::string& relative = "") const;
  std::string drivePath(const std::string& relative = "") const;

  void folder(const std::string& relative, unsigned mode = 0755) const;
  void file(const std::string& relative, uint64_t size, unsigned mode = 0644) const;  // sparse
  void link(const std::string& relative, const std::string& target) const;            // symbolic
  void hide(const std::string& relative) const;  // Wine's hidden attribute, in an xattr

 private:
  std::string drive_;
  std::string root_;
};

// The folder that the fixture maps to `drive` ('a', 'd' or 'f').
std::string driveFolder(char drive);

// The text after the last space (the report's last column with its "\r").
std::string lastColumn(const std::string& out);

// Replaces the search handle of every "c_file attrib" debug line by "#" and returns the handles,
// whose values are Wine's own.
std::string maskHandles(const std::string& out, std::vector<std::string>* handles);
