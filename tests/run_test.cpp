// The command line, drive probe, figures and report line, on the fake platform.
#include <gtest/gtest.h>

#include <cstdlib>

#include "app/progress.h"
#include "app/terminal_text.h"
#include "app/voltally.h"
#include "tests/fake_platform.h"
#include "tests/usage_text.h"

namespace {

class RunTest : public testing::Test {
 protected:
  void SetUp() override {
    resetFake();
    addFolder("C:\\t");
    addFile("C:\\t\\a", 1024);
    addFile("C:\\t\\b", 1024);
    addFile("C:\\t\\c", 1024);
  }
};

TEST_F(RunTest, WrongArgumentCountPrintsUsage) {
  const std::vector<std::vector<std::string>> cases = {{}, {"C:\\t", "k", "extra"}};
  for (const auto& args : cases) {
    std::string out;
    EXPECT_EQ(runCaptured(args, &out), -1);
    EXPECT_EQ(out, kUsage);
    EXPECT_TRUE(fake.calls.empty()) << "usage must not touch any drive";
  }
}

TEST_F(RunTest, LetterPicksUnitByFirstCharacter) {
  // 100 clusters of 1 KByte, 25 free; three files of 1 KByte.
  const struct {
    const char* letter;
    const char* line;
  } cases[] = {
      {"b", "102400.00 25600.00 76800.00 3072.00\r"},
      {"B", "102400.00 25600.00 76800.00 3072.00\r"},
      {"k", "100.00 25.00 75.00 3.00\r"},
      {"kilobytes", "100.00 25.00 75.00 3.00\r"},
      {"m", "0 0 0 0\r"},
      {"x", "0 0 0 0\r"},
      {"", "0 0 0 0\r"},
      {"\xe9", "0 0 0 0\r"},
      {"g", "0.00 0.00 0.00 0.00\r"},
      {"Gig", "0.00 0.00 0.00 0.00\r"},
  };
  for (const auto& c : cases) {
    std::string out;
    EXPECT_EQ(runCaptured({"C:\\t", c.letter}, &out), 0) << c.letter;
    EXPECT_EQ(out, c.line) << "letter '" << c.letter << "'";
  }
  std::string out;
  EXPECT_EQ(runCaptured({"C:\\t"}, &out), 0);
  EXPECT_EQ(out, "0 0 0 0\r") << "no letter means MBytes";
}

TEST_F(RunTest, DebugLetterTracesWholeRunInMBytes) {
  for (const char* letter : {"d", "D", "debug"}) {
    std::string out;
    EXPECT_EQ(runCaptured({"C:\\t", letter}, &out), 0);
    EXPECT_EQ(out,
              "Display type = 3\n"
              "Sizing C:\\t\n"
              "call dirSizeC:\\t \n"
              "c_file attrib    10, 100 name C:\\t\n"
              "pname=C:\\t\\*.*\n"
              "Disk-Capacity Disk-FreeSpace Disk-UsedSpace Directory-Size \n"
              "in MBytes\n"
              "0 0 0 0\r")
        << letter;
    SetUp();
  }
}

TEST_F(RunTest, ProbeSkipsAbsentDrivesStopsAtMatchAndRestores) {
  fake.drives = {3, 4};
  fake.current = 4;
  std::string out;
  EXPECT_EQ(runCaptured({"C:\\t"}, &out), 0);
  const std::vector<std::string> probe(fake.calls.begin(), fake.calls.begin() + 6);
  EXPECT_EQ(probe,
            (std::vector<std::string>{"currentDrive", "changeDrive 2", "changeDrive 3",
                                      "changeDrive 4", "getDiskFree 3 C:\\t", "findFirst C:\\t"}));
  EXPECT_EQ(fake.current, 4);
}

TEST_F(RunTest, ProbeWithoutCurrentDriveLeavesLastMatchCurrent) {
  fake.drives = {3, 4, 5};
  fake.current = 0;
  EXPECT_EQ(findDrive("D:"), 4);
  EXPECT_EQ(fake.calls.back(), "changeDrive 0");
  EXPECT_EQ(fake.current, 4);
}

TEST_F(RunTest, PrefixResolution) {
  fake.drives = {1, 3, 4};
  const struct {
    const char* prefix;
    int drive;
  } cases[] = {
      {"C:", 3}, {"D:", 4}, {"C", 3}, {"", 3}, {"A:", 0}, {"E:", 0}, {"\\\\", 0}, {"SR", 0},
  };
  for (const auto& c : cases) {
    fake.calls.clear();
    EXPECT_EQ(findDrive(c.prefix), c.drive) << c.prefix;
    EXPECT_EQ(fake.current, 3) << c.prefix;
    for (const std::string& call : fake.calls) EXPECT_NE(call, "changeDrive 1") << "A: probed";
  }
}

TEST_F(RunTest, UnknownDriveEndsSilently) {
  const struct {
    std::vector<std::string> args;
    const char* output;
  } cases[] = {
      {{"Q:\\t"}, ""},
      {{"\\\\server\\share"}, ""},
      {{"a:\\t", "k"}, ""},
      {{"Q:\\t", "d"}, "Display type = 3\nSizing Q:\\t\n"},
  };
  for (const auto& c : cases) {
    std::string out;
    EXPECT_EQ(runCaptured(c.args, &out), -1) << c.args[0];
    EXPECT_EQ(out, c.output) << c.args[0];
  }
}

// Figures that could not be had, the drive's or the walk's, print the marker and end with the
// system's code, on one thread and on several; a trace shows the walk up to where it stopped.
TEST_F(RunTest, FailuresPrintTheMarkerAndTheCode) {
  const std::string trace = "Display type = 3\nSizing C:\\t\n";
  const std::string walked = trace + "call dirSizeC:\\t \nc_file attrib    10, 100 name C:\\t\n";
  const struct {
    const char* what;
    const char* letter;
    int status;
    std::string out;
  } cases[] = {
      {"geometry", "k", 21, "-1 -1 \r"},
      {"geometry", "d", 21, trace + "-1 -1 \r"},
      {"descriptors", "b", 24, "-1 -1 \r"},
      {"descriptors", "d", 24, walked + "pname=C:\\t\\*.*\n-1 -1 \r"},
      {"memory", "b", 12, "-1 -1 \r"},
      {"memory", "d", 12, walked + "pname=C:\\t\\*.*\n-1 -1 \r"},
      {"a folder lost", "b", 2, "-1 -1 \r"},
  };
  for (const char* threads : {"VOLTALLY_THREADS=1", "VOLTALLY_THREADS=4"}) {
    putenv(const_cast<char*>(threads));
    for (const auto& c : cases) {
      SetUp();
      const std::string what = c.what;
      if (what == "geometry") fake.diskError = 21;
      if (what == "descriptors") {
        fake.failListing.insert("C:\\t");
        fake.faults["C:\\t"] = {24, true};
      }
      if (what == "memory") fake.failAllocation.insert("C:\\t\\*.*");
      if (what == "a folder lost") {
        addFolder("C:\\t\\sub");
        fake.failNextAfter["C:\\t"] = 3;
        fake.faults["C:\\t"] = {2, true};
      }
      std::string out;
      EXPECT_EQ(runCaptured({"C:\\t", c.letter}, &out), c.status) << what << " " << threads;
      EXPECT_EQ(out, c.out) << what << " " << c.letter << " " << threads;
    }
  }
  putenv(const_cast<char*>("VOLTALLY_THREADS="));
}

// Why a folder is not sized, for what only a Windows volume reports, and whom a note is for: a
// terminal's person, never a trace's reader nor a redirected standard error.
TEST_F(RunTest, NotesTellWhyAFolderIsNotSized) {
  const struct {
    uint32_t attrib;
    int columns;
    const char* letter;
    const char* note;
  } cases[] = {
      {0x11, 80, "b", "C:\\t\\x is a read-only folder, which is never entered\n"},
      {0x12, 80, "b", "C:\\t\\x is a hidden folder, which is never entered\n"},
      {0x14, 80, "b", "C:\\t\\x is a system folder, which is never entered\n"},
      {0x410, 80, "b",
       "C:\\t\\x is a link or a folder a volume is mounted in, which is never entered\n"},
      {0x11, 0, "b", ""},
      {0x11, 80, "d", ""},
  };
  for (const auto& c : cases) {
    SetUp();
    addFolder("C:\\t\\x", c.attrib);
    fake.columns = c.columns;
    std::string out;
    EXPECT_EQ(runCaptured({"C:\\t\\x", c.letter}, &out), 0);
    const std::string note =
        c.note[0] != '\0' ? std::string("Voltally: Directory-Size is -2: ") + c.note : "";
    EXPECT_EQ(fake.notes, note) << c.attrib << " " << c.columns << " " << c.letter;
  }
}

TEST_F(RunTest, PathThatIsNotAFolderPrintsMinusTwoInEveryUnit) {
  const struct {
    const char* letter;
    const char* line;
  } cases[] = {
      {"b", "102400.00 25600.00 76800.00 -2.00\r"},
      {"k", "100.00 25.00 75.00 -0.00\r"},
      {"m", "0 0 0 -0\r"},
      {"g", "0.00 0.00 0.00 -0.00\r"},
  };
  for (const char* path : {"C:\\t\\a", "C:\\missing", "C:", "C:\\"}) {
    for (const auto& c : cases) {
      std::string out;
      EXPECT_EQ(runCaptured({path, c.letter}, &out), 0);
      EXPECT_EQ(out, c.line) << path << " " << c.letter;
    }
  }
}

TEST(FiguresTest, ReportLines) {
  const struct {
    DiskFree disk;
    int displayType;
    double total;
    const char* line;
  } cases[] = {
      {{100, 0, 2, 512}, kKBytes, 0, "100.00 0.00 100.00 0.00\r"},
      {{100, 0, 2, 512}, kMBytes, 0, "0 0 0 0\r"},
      // 2.5 MBytes of capacity: a half rounds away from zero.
      {{5, 5, 1024, 512}, kMBytes, 2.5 * 1048576, "3 3 0 3\r"},
      // Cluster count x sectors per cluster exceeds 32 bits: the product is kept in double.
      {{4000000000u, 1000000000u, 64, 512}, kGBytes, 0, "122070.31 30517.58 91552.73 0.00\r"},
      {{4000000000u, 1000000000u, 64, 512},
       kBytes,
       1,
       "131072000000000.00 32768000000000.00 98304000000000.00 1.00\r"},
  };
  for (const auto& c : cases) {
    SizeFigures figures;
    computeFigures(c.disk, &figures);
    debugPrint = 0;
    testing::internal::CaptureStdout();
    printReport(figures, c.displayType, c.total);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), c.line);
  }
}

// The progress line fits the terminal in columns: a folder too long keeps its start and end
// around "...", cut between characters, and is left out where too little room is left for it;
// counts that do not fit whole take their brief form, of which only whole fields are shown. Names
// show escaped, never as what a terminal would act on.
TEST(ProgressTest, LinesFitTheTerminal) {
  const std::string deep = "C:\\a\\" + std::string(60, 'b') + "\\zz";
  const std::string wide = "C:\\t\\中文😀中文😀中文";  // 21 columns
  const std::string acute = "e\xcc\x81";
  std::string marks = "C:\\t\\";  // 15 columns, or 25 where marks take a cell
  for (int i = 0; i < 10; ++i) marks += acute;
  const WalkProgress one = {1, 1, 0}, many = {123456, 7890, 5368709120},
                     some = {4321, 321, 1234567};
  const std::string ones = "1 files, 1 folders, 0 MBytes  ";
  const struct {
    WalkProgress counted;
    std::string folder;
    int displayType;
    size_t columns;
    std::string line;
    StatusText look = {'\\', true};
  } cases[] = {
      {{3, 1, 3072}, "C:\\t", kKBytes, 79, "3 files, 1 folders, 3.00 KBytes  C:\\t"},
      {{0, 0, 0}, "", kBytes, 79, "0 files, 0 folders, 0.00 Bytes"},
      {{7, 2, 2621440}, "C:\\t", kMBytes, 79, "7 files, 2 folders, 3 MBytes  C:\\t"},
      {{1, 1, 1073741824}, "C:\\t", kGBytes, 79, "1 files, 1 folders, 1.00 GBytes  C:\\t"},
      {one, deep, kMBytes, 50, ones + "C:\\a\\bbb...bbbbbb\\zz"},
      {one, deep, kMBytes, 36, "1 files, 1 folders, 0 MBytes"},
      {one, "C:/t\\a\\b", kMBytes, 79, ones + "C:/t/a/b", {'/', true}},
      // Wide characters take two columns, and a cut never halves one.
      {one, wide, kMBytes, 51, ones + "C:/t/中文😀中文😀中文", {'/', true}},
      {one, wide, kMBytes, 50, ones + "C:\\t\\中...中文😀中文"},
      {one, wide, kMBytes, 45, ones + "C:\\t\\...😀中文"},
      {one, wide, kMBytes, 39, ones + "C:\\...文"},
      // A combining mark takes no column on a terminal, one on a Windows console.
      {one, marks, kMBytes, 45, ones + marks},
      {one, marks, kMBytes, 45, ones + "C:\\t\\e..." + acute + acute + acute, {'\\', false}},
      {one, "C:\\\xe6\x97\xa5\xe6\x9c\xac\xe8\xaa\x9e" + std::string(30, 'x') + "\\\xe6\x97\xa5",
       kMBytes, 41, ones + "C:\\...xx\\\xe6\x97\xa5"},
      // Escape sequences, terminated or not, controls and bytes that are no UTF-8 show escaped.
      {one, "C:/t\\\x1b]0;pwned\x07", kMBytes, 79, ones + "C:/t/\\033]0;pwned\\a", {'/', true}},
      {one, "C:\\t\\\x1b]2;open", kMBytes, 79, ones + "C:\\t\\\\033]2;open"},
      {one, "C:\\t\\a\tb\nc\xff", kMBytes, 79, ones + "C:\\t\\a\\tb\\nc\\377"},
      // 40, 30 and 20 columns: the counts whole, then in brief, then only their whole fields.
      {many, deep, kKBytes, 39, "123456 f, 7890 d, 5242880.00 KBytes"},
      {some, deep, kMBytes, 39, "4321 files, 321 folders, 1 MBytes"},
      {some, deep, kKBytes, 29, "4321 f, 321 d, 1205.63 KBytes"},
      {some, deep, kKBytes, 19, "4321 f, 321 d"},
      {{123456, 7890, 0}, deep, kMBytes, 20, "123456 f, 7890 d"},
      {some, deep, kKBytes, 5, ""},
  };
  for (const auto& c : cases) {
    const std::string line = progressLine(c.counted, c.folder, c.displayType, c.columns, c.look);
    EXPECT_EQ(line, c.line) << c.columns;
    EXPECT_LE(displayColumns(line, c.look.marksJoin), c.columns) << line;
    EXPECT_EQ(safeForTerminal(line), line) << "raw bytes for the terminal in " << line;
  }
}

// What a name shows as, escaped as `ls -b` does, and the columns that takes.
TEST(ProgressTest, NamesShowEscapedInColumns) {
  const struct {
    std::string bytes, shown;
    size_t columns;
  } cases[] = {
      {"\x1b]52;c;SGVsbG8=\x1b\\", "\\033]52;c;SGVsbG8=\\033\\", 23},
      {"\x1b[2J\x1b[?25l\x1b[31m", "\\033[2J\\033[?25l\\033[31m", 24},
      {std::string("\0\x01\x08\x0b\x0c\x0d\x1f\x7f", 8), "\\000\\001\\b\\v\\f\\r\\037\\177", 24},
      {"\xc2\x9bm\xc2\x85", "\\302\\233m\\302\\205", 17},  // C1: CSI, NEL
      {"\xe2\x80\xa8\xe2\x80\xa9", "\\342\\200\\250\\342\\200\\251", 24},
      {"\xc0\xaf\xe0\x80\xaf", "\\300\\257\\340\\200\\257", 20},  // overlong '/'
      {"\xed\xa0\x80", "\\355\\240\\200", 12},                    // a surrogate
      {"\xf4\x90\x80\x80\xf5\xff", "\\364\\220\\200\\200\\365\\377", 24},
      {"\xe4\xb8\xe4\xb8\xad\x80", "\\344\\270中\\200", 14},  // cut short, stray
      {"\xe4\xb8", "\\344\\270", 8},
      {"中文😀é", "中文😀é", 7},
      {"e\xcc\x81\xe2\x80\x8b", "e\xcc\x81\xe2\x80\x8b", 1},  // a combining mark, a zero width
      {"\xe1\x84\x92\xe1\x85\xa1\xe1\x86\xab", "\xe1\x84\x92\xe1\x85\xa1\xe1\x86\xab", 2},
      {"👨‍👩‍👧", "👨‍👩‍👧", 6},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(safeForTerminal(c.bytes), c.shown) << c.shown;
    EXPECT_EQ(displayColumns(c.shown), c.columns) << c.shown;
  }
}

}  // namespace
