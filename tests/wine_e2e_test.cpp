// Voltally.exe end to end under Wine: exact bytes through the C runtime's text-mode output, exit
// statuses as a Linux parent sees them, drive letters, and the attributes Wine reports.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <regex>

#include "tests/letter_cases.h"
#include "tests/wine_harness.h"

namespace {

const char kUsage[] =
    "\r\nGet the Voltally\r\n"
    "Voltally [drive:] [b|k|m|g|d] d is debug print out\r\n"
    "output Disk-Capacity Disk-FreeSpace Disk-UsedSpace Directory-Size \r\n"
    "      separate by space\r\n";

const char kHeader[] =
    "Disk-Capacity Disk-FreeSpace Disk-UsedSpace Directory-Size \r\n"
    "in MBytes\r\n";

const uint64_t kBig = (uint64_t(1) << 32) + 10;

std::string testName() {
  return testing::UnitTest::GetInstance()->current_test_info()->name();
}

// A report is one line ended by a lone carriage return.
void expectReportLine(const RunResult& run) {
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.err, "");
  ASSERT_FALSE(run.out.empty());
  EXPECT_EQ(run.out.back(), '\r');
  EXPECT_EQ(std::count(run.out.begin(), run.out.end(), '\r'), 1) << run.out;
  EXPECT_EQ(run.out.find('\n'), std::string::npos) << run.out;
}

TEST(WineCommandLine, UsageAbsentDrivesAndUnreachablePrefixes) {
  const struct {
    std::vector<std::string> args;
    const char* out;
  } cases[] = {
      {{}, kUsage},
      {{"D:\\", "k", "x"}, kUsage},
      {{"E:\\x"}, ""},  // absent
      {{"b:\\x"}, ""},  // absent
      {{"A:\\"}, ""},   // present in the prefix, but never probed
      {{"\\\\server\\share"}, ""},
      {{"src"}, ""},
      {{"E:\\x", "d"}, "Display type = 3\r\nSizing E:\\x\r\n"},
  };
  for (const auto& c : cases) {
    const RunResult run = runWindows(c.args);
    const std::string label = c.args.empty() ? "(none)" : c.args[0];
    EXPECT_EQ(run.status, 255) << label << ": -1 is 0xFFFFFFFF, whose low byte Linux sees";
    EXPECT_EQ(run.out, c.out) << label;
    EXPECT_EQ(run.err, "") << label;
  }
}

// On a console, as a person in cmd sees them: the usage text for the help words, the version, and
// for a path that matches no drive a note saying how to write it, from a folder of D:, the drive
// the program is on.
TEST(WineCommandLine, OnAConsoleHelpAndNotes) {
  const std::string advice =
      "\nA path begins with its drive letter, as in C:\\Users; map a network share to a letter";
  const std::string usage =
      "\nGet the Voltally\nVoltally [drive:] [b|k|m|g|d] d is debug print out\noutput "
      "Disk-Capacity Disk-FreeSpace Disk-UsedSpace Directory-Size\n      separate by space";
  const struct {
    std::vector<std::string> args;
    int status;
    std::string screen;
  } cases[] = {
      {{"/?"}, 0, usage},
      {{"-?"}, 0, usage},
      {{"-h"}, 0, usage},
      {{"--help"}, 0, usage},
      {{"--version"}, 0, "Voltally 1.1"},
      {{"\\windows"},
       255,
       "Voltally: no drive matches \"\\windows\": the path must begin with its drive, as in "
       "D:\\windows" +
           advice},
      {{"."},
       255,
       "Voltally: no drive matches \".\": the path must begin with its drive, as in D:." + advice},
      {{"E:\\x", "k"},
       255,
       "Voltally: no drive matches \"E:\\x\": there is no drive E: here" + advice},
      {{"\\\\server\\share"},
       255,
       "Voltally: no drive matches \"\\\\server\\share\": a network path has no drive letter" +
           advice},
  };
  for (const auto& c : cases) {
    startTerminal(
        "cd '" + driveFolder('d') + "' && " + programCommand(c.args) + "; echo status $?; sleep 60",
        200, 20);
    std::string screen = terminalScreen("status", 300);
    endTerminal();
    screen.erase(screen.find_last_not_of('\n') + 1);
    EXPECT_EQ(screen, c.screen + "\nstatus " + std::to_string(c.status)) << c.args[0];
  }
}

TEST(WineDrives, FoundAfterAnAbsentDrive) {
  Tree tree('f', testName());
  tree.file("a", 1234);
  // As typed, lower-case, drive-relative (F:'s current folder is its root) and with '/'.
  for (const std::string& path : {tree.drivePath(), "f" + tree.drivePath().substr(1),
                                  "F:" + testName(), "F:/" + testName()}) {
    const RunResult run = runWindows({path, "b"});
    expectReportLine(run);
    EXPECT_EQ(lastColumn(run.out), "1234.00\r") << path;
  }
}

// The prefix "F" (one character) matches F:, so the probe walks B: to F: and the path "F" is then
// sized relative to whatever drive is current: D:\F when the probe set D: back, F:\F when not.
TEST(WineDrives, CurrentDriveIsRestoredAfterTheProbe) {
  Tree onD('d', "F");
  Tree onF('f', "F");
  onD.file("x", 7);
  onF.file("y", 1000);
  for (const char* path : {"F", "f"}) {
    const RunResult run = runWindows({path, "b"}, driveFolder('d'));
    expectReportLine(run);
    EXPECT_EQ(lastColumn(run.out), "7.00\r") << path;
  }
}

// Unmounts its folder before the tree that holds it is removed, however the test ends.
struct Mounted {
  std::string at;
  ~Mounted() {
    if (!at.empty()) umount2(at.c_str(), MNT_DETACH);
  }
};

// Started in a folder of D: by anything but cmd, the program has no remembered folder for its own
// drive, yet the probe must bring it back there; and a remembered folder that has gone since must
// not hide its drive. "D:" alone names the drive's root, never the folder the program is in: as
// root that folder is a tmpfs of its own, whose figures "D:" must not take.
TEST(WineDrives, DriveRelativePathsStartInTheFolderTheUserIsIn) {
  Tree tree('d', testName());
  for (const char* folder : {"mnt", "gone"}) tree.folder(folder);
  Mounted mounted;
  if (geteuid() == 0 &&
      mount("tmpfs", tree.unixPath("mnt").c_str(), "tmpfs", 0, "size=300m") == 0) {
    mounted.at = tree.unixPath("mnt");
  }
  tree.folder("mnt/sub");
  tree.folder("mnt/sub/deeper");
  tree.file("mnt/sub/deeper/f", 5);
  struct statvfs drive;
  ASSERT_EQ(statvfs(driveFolder('d').c_str(), &drive), 0);
  for (const auto& [path, column] : {std::pair<std::string, std::string>{"D:deeper", "5.00\r"},
                                     {"D:..\\sub", "5.00\r"},
                                     {"D:", "-2.00\r"}}) {
    const RunResult run = runWindows({path, "b"}, tree.unixPath("mnt/sub"));
    expectReportLine(run);
    EXPECT_EQ(lastColumn(run.out), column) << path;
    if (path == "D:") {
      EXPECT_EQ(strtod(run.out.c_str(), nullptr),
                double(drive.f_blocks) * double(drive.f_frsize / 512) * 512.0)
          << "the capacity of D: itself" << (mounted.at.empty() ? "" : ", not of the tmpfs");
    }
  }
  const std::string gone = tree.drivePath("gone");
  const RunResult run = runCmd("cd /d " + gone + " & cd /d C:\\ & rmdir " + gone + " & " +
                               windowsProgram() + " " + tree.drivePath("mnt/sub") + " b");
  expectReportLine(run);
  EXPECT_EQ(lastColumn(run.out), "5.00\r");
}

TEST(WineReport, UnitsAndWholeWordLetters) {
  Tree tree('f', testName());
  tree.file("a", 1536);
  tree.folder("sub");
  tree.file("sub/b", 3 * 1048576 + 512);
  for (const LetterCase& c : kLetterCases) {
    const RunResult run = runWindows({tree.drivePath(), c.letter});
    expectReportLine(run);
    EXPECT_EQ(lastColumn(run.out), c.column) << "letter '" << c.letter << "'";
  }
}

// A report that never reached its reader is no success: the C runtime's error number is the exit
// status (as Wine's runtime gives them).
TEST(WineReport, AnUnwrittenReportIsNeverASuccess) {
  Tree tree('d', testName());
  const struct {
    RunOptions::Output out;
    int status;
  } cases[] = {{RunOptions::kDevFull, 28}, {RunOptions::kClosed, 9}, {RunOptions::kBrokenPipe, 22}};
  for (const auto& c : cases) {
    for (const char* letter : {"b", "d"}) {
      EXPECT_EQ(runWindows({tree.drivePath(), letter}, "", c.out).status, c.status) << letter;
    }
  }
}

// Wine answers the geometry calls from statvfs: 512-byte sectors, f_frsize/512 sectors per
// cluster, f_bavail free and f_blocks total clusters (these disks have fewer than 2^32). Checks the
// run on `path` against statvfs of `volume`, the Unix folder of the volume it lies on.
void expectVolumeColumns(const std::string& path, const std::string& volume, double directory) {
  SCOPED_TRACE(path);
  const auto bytes = [](uint64_t clusters, const struct statvfs& vfs) {
    return double(clusters) * double(vfs.f_frsize / 512) * 512.0;
  };
  // Other writers on the same file system move the free space; a run during which it went both
  // ways (two programs' suites write side by side) is taken again.
  for (int attempt = 1;; ++attempt) {
    struct statvfs before, after;
    ASSERT_EQ(statvfs(volume.c_str(), &before), 0);
    const RunResult run = runWindows({path, "b"});
    ASSERT_EQ(statvfs(volume.c_str(), &after), 0);
    expectReportLine(run);
    double capacity, freeSpace, used, total;
    ASSERT_EQ(sscanf(run.out.c_str(), "%lf %lf %lf %lf", &capacity, &freeSpace, &used, &total), 4);
    const double low = std::min(bytes(before.f_bavail, before), bytes(after.f_bavail, after));
    const double high = std::max(bytes(before.f_bavail, before), bytes(after.f_bavail, after));
    if (attempt < 20 && (freeSpace < low || freeSpace > high)) continue;
    EXPECT_EQ(capacity, bytes(before.f_blocks, before));
    EXPECT_GE(freeSpace, low);
    EXPECT_LE(freeSpace, high);
    // Used space is the clusters not free, each count as the volume gives it, not the report's
    // own difference.
    EXPECT_GE(used, bytes(before.f_blocks, before) - high);
    EXPECT_LE(used, bytes(before.f_blocks, before) - low);
    EXPECT_EQ(total, directory);
    break;
  }
}

// As root, a tmpfs mounted in a folder of F: is a volume mounted in a folder: what lies on it,
// present or not, gets its figures, and the folder beside it keeps F:'s. The mount point, a reparse
// point (0x410), is never entered.
TEST(WineReport, DriveColumnsMatchStatvfs) {
  Tree tree('f', testName());
  tree.folder("beside");
  tree.file("beside/g", 7);
  Mounted mounted;
  if (geteuid() == 0) {
    tree.folder("mnt");
    ASSERT_EQ(mount("tmpfs", tree.unixPath("mnt").c_str(), "tmpfs", 0, "size=300m"), 0);
    mounted.at = tree.unixPath("mnt");
    tree.folder("mnt/sub");
    tree.file("mnt/sub/f", 5000);
  }
  const struct {
    const char* path;
    const char* volume;
    double directory;
  } rows[] = {{"", "", 7},
              {"beside", "", 7},
              {"mnt/sub", "mnt", 5000},
              {"mnt/missing/deeper", "mnt", -2},
              {"mnt", "mnt", -2}};
  for (const auto& row : rows) {
    if (mounted.at.empty() && row.volume[0] != '\0') continue;
    expectVolumeColumns(tree.drivePath(row.path), tree.unixPath(row.volume), row.directory);
  }
  if (mounted.at.empty()) GTEST_SKIP() << "mounting a tmpfs needs root: only F:'s figures checked";
}

// Volumes of 2^32 clusters and more, which the classic geometry call cannot count: tmpfs allocates
// nothing up front, so root mounts one of any size and maps it as G:. Each column must be
// statvfs's to within one cluster, of the size the 32-bit counts need.
TEST(WineReport, VolumesOfAnySize) {
  if (geteuid() != 0) GTEST_SKIP() << "mounting a tmpfs needs root";
  char dir[] = "/tmp/voltally-volume-XXXXXX";
  ASSERT_NE(mkdtemp(dir), nullptr);
  const std::string drive = winePrefix() + "/dosdevices/g:";
  for (const uint64_t size : {uint64_t(20) << 40, (uint64_t(16) << 40) + 65536}) {
    if (mount("tmpfs", dir, "tmpfs", 0, ("size=" + std::to_string(size)).c_str()) != 0) {
      rmdir(dir);
      GTEST_SKIP() << "cannot mount a tmpfs: " << strerror(errno);
    }
    struct statvfs vfs;
    const bool measured = statvfs(dir, &vfs) == 0 && symlink(dir, drive.c_str()) == 0;
    const RunResult run = runWindows({"G:\\", "b"});
    unlink(drive.c_str());
    umount(dir);
    ASSERT_TRUE(measured);
    expectReportLine(run);
    double printed[4];
    ASSERT_EQ(sscanf(run.out.c_str(), "%lf %lf %lf %lf", &printed[0], &printed[1], &printed[2],
                     &printed[3]),
              4);
    double cluster = double(vfs.f_frsize);
    while (double(vfs.f_blocks) * double(vfs.f_frsize) / cluster > double(UINT32_MAX)) {
      cluster *= 2;
    }
    const double truth[3] = {double(vfs.f_blocks) * double(vfs.f_frsize),
                             double(vfs.f_bavail) * double(vfs.f_frsize),
                             double(vfs.f_blocks - vfs.f_bavail) * double(vfs.f_frsize)};
    for (int column = 0; column < 3; ++column) {
      EXPECT_LT(std::fabs(printed[column] - truth[column]), cluster) << size << " " << column;
    }
  }
  rmdir(dir);
}

TEST(WineReport, NotAFolderIsMinusTwoInEveryUnit) {
  Tree tree('d', testName());
  tree.file("f", 10);
  tree.folder("sub");
  const struct {
    const char* letter;
    const char* column;
  } units[] = {{"b", "-2.00\r"}, {"k", "-0.00\r"}, {"m", "-0\r"}, {"g", "-0.00\r"}};
  const std::string paths[] = {
      tree.drivePath("f"),           // a file
      tree.drivePath("missing"),     // nothing
      "D:\\",                        // a drive's root: its own search finds nothing
      "D:",                          // the same, drive-relative
      tree.drivePath("sub") + "\\",  // a trailing separator
      tree.drivePath("su*"),         // wildcards, which no name holds: never their first match
      tree.drivePath("*"),
      tree.drivePath("*.*"),
  };
  for (const std::string& path : paths) {
    for (const auto& unit : units) {
      const RunResult run = runWindows({path, unit.letter});
      expectReportLine(run);
      EXPECT_EQ(lastColumn(run.out), unit.column) << path << " " << unit.letter;
    }
  }
}

// Each special folder holds a file that must not be counted, and the plain folder named outside
// the code page one that must; Wine reports folders with size 0.
TEST(WineWalk, OnlyPlainFoldersAreEntered) {
  Tree tree('d', testName());
  tree.file("plain", 10);
  tree.folder("sub");
  tree.file("sub/counted", 20);
  tree.file("hidden file", 40);
  tree.hide("hidden file");
  tree.file(".profile", 1000);
  tree.folder(".git");
  tree.file(".git/objects", 1000);
  for (const char* name : {"readonly", "hidden", "dirlink-target", "中文😀"}) {
    tree.folder(name);
    tree.file(std::string(name) + "/inside", 1000);
  }
  tree.hide("hidden");
  tree.link("dirlink", tree.unixPath("dirlink-target"));
  tree.link("dirloop", tree.unixPath());
  chmod(tree.unixPath("readonly").c_str(), 0555);

  const RunResult run = runWindows({tree.drivePath(), "b"});
  expectReportLine(run);
  EXPECT_EQ(lastColumn(run.out), "2070.00\r");  // 10 + 20 + 40 + dirlink-target, 中文😀

  // What Wine reports for each folder (0x11: no write permission; 0x410: a link, a reparse
  // point), seen in the check line of a debug run on it, whose bytes are UTF-8.
  const struct {
    const char* name;
    const char* attrib;
    bool entered;
  } folders[] = {
      {"sub", "10", true},       {"readonly", "11", false}, {"hidden", "12", false},
      {"dirlink", "410", false}, {"dirloop", "410", false}, {"中文😀", "10", true},
  };
  for (const auto& f : folders) {
    const std::string path = tree.drivePath(f.name);
    std::vector<std::string> handles;
    const std::string trace = maskHandles(runWindows({path, "d"}).out, &handles);
    const std::string check =
        std::string("c_file attrib    ") + f.attrib + ", # name " + path + "\r\n" +
        (f.entered ? "pname=" + path + "\\*.*\r\n" : "Error invalid directory " + path + "\r\n");
    EXPECT_NE(trace.find(check), std::string::npos) << trace;
    ASSERT_EQ(handles.size(), 1u);
    EXPECT_NE(handles[0], "-1");
  }
}

TEST(WineWalk, SparseFileOfFourGiBPlusTenCountsInFull) {
  Tree tree('d', testName());
  tree.file("big", kBig);
  const struct {
    const char* letter;
    const char* column;
  } cases[] = {{"b", "4294967306.00\r"}, {"k", "4194304.01\r"}, {"m", "4096\r"}, {"g", "4.00\r"}};
  for (const auto& c : cases) {
    const RunResult run = runWindows({tree.drivePath(), c.letter});
    expectReportLine(run);
    EXPECT_EQ(lastColumn(run.out), c.column) << c.letter;
  }
}

// A 32-bit program on 64-bit Windows is shown SysWOW64 where it names System32 unless it says
// otherwise: each folder must be sized as itself, as the Linux program sizes the prefix's own.
TEST(WineWalk, SystemFoldersAreSizedAsThemselves) {
  for (const std::string name : {"system32", "syswow64"}) {
    const RunResult onWindows = runWindows({"C:\\windows\\" + name, "b"});
    const RunResult onLinux = runLinux({"C:" + winePrefix() + "/drive_c/windows/" + name, "b"});
    expectReportLine(onWindows);
    EXPECT_NE(lastColumn(onWindows.out), "-2.00\r") << name;
    EXPECT_EQ(lastColumn(onWindows.out), lastColumn(onLinux.out)) << name;
  }
}

// The one difference from the Linux layer: Wine follows a link to a file and reports its target;
// a dangling link is not listed at all. Both count nothing for the Linux program.
TEST(WineWalk, LinkToAFileCountsItsTarget) {
  Tree tree('d', testName());
  tree.file("target", 33);
  tree.link("filelink", tree.unixPath("target"));
  tree.link("dangling", tree.unixPath("nowhere"));
  const RunResult run = runWindows({tree.drivePath(), "b"});
  expectReportLine(run);
  EXPECT_EQ(lastColumn(run.out), "66.00\r");
}

// Every folder counts: paths past MAX_PATH (260 characters) and a chain thousands of characters
// deep. A path on the command line reaches the walk whole, never as the "??" that the ANSI calls
// made of it and that matched the folder "ab" beside it.
TEST(WineWalk, EveryFolderCountsWhateverItsNameOrLength) {
  Tree tree('d', testName());
  tree.file("plain", 4750);
  const size_t top = tree.drivePath().size() + 1;  // where a name in the tree's folder begins
  const std::string at258(258 - top, 'p'), at271(271 - top, 'q');  // full path lengths
  for (const std::string& name :
       std::initializer_list<std::string>{at258, at271, at271 + "/s", "c", "c/ab", "c/中文"}) {
    tree.folder(name);
  }
  tree.file(at258 + "/f", 300);
  tree.file(at271 + "/s/f", 2000);
  tree.file("c/ab/f", 5);
  tree.file("c/中文/f", 22);
  uint64_t total = 4750 + 300 + 2000 + 5 + 22;
  std::string chain = "deep";
  for (tree.folder(chain); tree.drivePath(chain).size() < 3000; ++total) {
    chain += "/level";
    tree.folder(chain);
    tree.file(chain + "/f", 1);
  }
  for (const auto& [path, column] :
       {std::pair<std::string, std::string>{tree.drivePath(), std::to_string(total) + ".00\r"},
        {tree.drivePath("c/中文"), "22.00\r"}}) {
    const RunResult run = runWindows({path, "b"});
    expectReportLine(run);
    EXPECT_EQ(lastColumn(run.out), column) << path;
  }
}

TEST(WineTrace, ExactBytesOfATwoLevelTree) {
  Tree tree('d', testName());
  tree.file("a", 10);
  tree.folder("sub");
  tree.file("sub/x", 5);
  const RunResult run = runWindows({tree.drivePath(), "d"});
  EXPECT_EQ(run.status, 0);
  const std::string p = tree.drivePath();
  std::vector<std::string> handles;
  const std::string trace = maskHandles(run.out, &handles);
  const std::string expected = "Display type = 3\r\nSizing " + p + "\r\ncall dirSize" + p +
                               " \r\nc_file attrib    10, # name " + p + "\r\npname=" + p +
                               "\\*.*\r\nc_file attrib    10, # name " + p + "\\sub\r\npname=" + p +
                               "\\sub\\*.*\r\n" + kHeader;
  ASSERT_GE(trace.size(), expected.size()) << trace;
  EXPECT_EQ(trace.substr(0, expected.size()), expected);
  const std::string report = trace.substr(expected.size());
  EXPECT_TRUE(std::regex_match(report, std::regex("[0-9]+ [0-9]+ [0-9]+ 0\r"))) << report;
  ASSERT_EQ(handles.size(), 2u);
  for (const std::string& handle : handles) {
    EXPECT_TRUE(std::regex_match(handle, std::regex("[1-9][0-9]*"))) << handle;
  }
}

// On a console the trace's names show in UTF-8: in the console's UTF-8 code page, and whole, not
// byte by byte. (Wine's console is 80 columns wide; longer lines wrap.)
TEST(WineTrace, OnAConsoleNamesShowInUtf8) {
  Tree tree('d', testName());
  tree.folder("中文");
  const std::string path = tree.drivePath("中文");
  const RunResult run = runOnConsole({path, "d"});
  EXPECT_NE(run.out.find("Sizing " + path + "\r"), std::string::npos) << run.out;
}

// On a console the code page stays the console's own, even for a run ended in the middle of its
// walk, and the trace's names show as themselves.
TEST(WineTrace, OnAConsoleTheCodePageStaysAndNamesShow) {
  Tree tree('d', testName());
  tree.folder("中文");
  // The Unix /usr, with its hundred thousand entries and more, takes Wine seconds to walk.
  const std::string screen = probeOnTerminal({windowsProgram(), tree.drivePath("中文"), "Z:\\usr"});
  EXPECT_NE(screen.find("Sizing " + tree.drivePath("中文")), std::string::npos) << screen;
  EXPECT_NE(screen.find("ended while walking: yes"), std::string::npos) << screen;
  std::smatch pages;
  ASSERT_TRUE(
      std::regex_search(screen, pages, std::regex("code page before ([0-9]+) after ([0-9]+)")))
      << screen;
  EXPECT_EQ(pages[1], pages[2]) << screen;
}

// A walk of more than a second shows its progress on the console's standard error and leaves
// nothing of it: not on the screen once the report is printed, not in standard error or output
// redirected to a file, and not after Ctrl+C, which ends the run as the console's own handling
// does (STATUS_CONTROL_C_EXIT, whose low byte Linux sees). The Unix /usr/lib takes Wine seconds;
// it is walked through a folder whose CJK name takes two columns a character, and whose
// decomposed accents take a column each on the console, which the line shows without wrapping.
TEST(WineTrace, OnAConsoleTheProgressLineLeavesNothingBehind) {
  std::string name = "中文字符";
  for (int i = 0; i < 10; ++i) name += "e\u0301";  // ten cells more than on a terminal
  const std::string files = "/tmp/" + name + "-voltally-wine-" + std::to_string(getpid());
  ASSERT_EQ(mkdir(files.c_str(), 0755), 0);
  ASSERT_EQ(symlink("/usr", (files + "/usr").c_str()), 0);
  std::string folder = "Z:" + files + "/usr/lib";
  std::replace(folder.begin(), folder.end(), '/', '\\');
  expectProgressLeavesNothing(
      programCommand({folder, "k"}), programCommand({folder, "d"}), files,
      runWindows({folder, "k"}).out, std::regex("^([0-9]+\\.[0-9]{2} ){3}[0-9]+\\.[0-9]{2}\n"),
      "status 58", "\\" + name.substr(0, name.find("e\u0301") + 4 * 3), false,
      [](const std::function<void()>& start, const std::function<void()>& look) {
        start();
        look();
      });
  EXPECT_EQ(system(("rm -rf '" + files + "'").c_str()), 0);
}

}  // namespace
