// The directory walk on the fake platform: what counts, what is entered, and what a failure
// leaves out.
#include "walk/walk.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "app/voltally.h"
#include "tests/fake_platform.h"
#include "walk/governor.h"

namespace {

class WalkTest : public testing::Test {
 protected:
  void SetUp() override {
    resetFake();
    dirTotal = 0.0;
    debugPrint = 0;
    addFolder("C:\\t");
  }
  void TearDown() override {
    EXPECT_TRUE(fake.openHandles.empty()) << "a search was left open";
    EXPECT_TRUE(fake.passes.empty()) << "a folder handed out was never taken";
  }
};

// The walk of `path` both ways, on one thread and on four, which must agree to the byte; returns
// the one-thread total, each way having started from a total of 0.
double sized(const char* path) {
  const double before = dirTotal;
  const double one = dirSize(path);
  dirTotal = before;
  EXPECT_EQ(dirSizeOnThreads(path, 4), one) << path;
  return one;
}

TEST_F(WalkTest, EmptyFolderIsZero) {
  EXPECT_EQ(sized("C:\\t"), 0.0);
}

TEST_F(WalkTest, TwoLevelTreeAndItsTrace) {
  addFile("C:\\t\\a", 10);
  addFolder("C:\\t\\sub");
  addFile("C:\\t\\sub\\c", 5);
  addFile("C:\\t\\b", 20);
  debugPrint = 1;
  testing::internal::CaptureStdout();
  EXPECT_EQ(dirSize("C:\\t"), 35.0);
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "c_file attrib    10, 100 name C:\\t\n"
            "pname=C:\\t\\*.*\n"
            "c_file attrib    10, 102 name C:\\t\\sub\n"
            "pname=C:\\t\\sub\\*.*\n");
}

TEST_F(WalkTest, OnlyPlainFoldersAreEntered) {
  // Each folder holds a file that must not be counted; the folder's own size is counted instead.
  const uint32_t attribs[] = {0x11, 0x12, 0x14, 0x30, 0x410};
  double expected = 0;
  for (uint32_t attrib : attribs) {
    const std::string path = "C:\\t\\d" + std::to_string(attrib);
    addFolder(path, attrib);
    fake.folders["C:\\t"].back().size = attrib;
    addFile(path + "\\inside", 1000000);
    expected += attrib;
  }
  EXPECT_EQ(sized("C:\\t"), expected);
  for (const std::string& call : fake.calls) EXPECT_EQ(call.find("inside"), std::string::npos);
}

TEST_F(WalkTest, NamesBeginningWithDotArePassedOver) {
  addFile("C:\\t\\.profile", 100);
  addFile("C:\\t\\profile", 7);
  addFolder("C:\\t\\.git");
  addFile("C:\\t\\.git\\objects", 1000);
  addFile("C:\\t\\hidden", 3, kAttrHidden | kAttrArchive);
  addFile("C:\\t\\system", 2, kAttrSystem);
  EXPECT_EQ(sized("C:\\t"), 12.0);
}

// After each failure a plain folder follows, named from the parent's path, which the failure
// must have left as it was.
TEST_F(WalkTest, FailuresInsideTheWalkLeaveOutOnlyWhatFailed) {
  const auto plainFolderAfter = [](const std::string& failed) {
    addFolder("C:\\t\\after-" + failed);
    addFile("C:\\t\\after-" + failed + "\\f", 2);
  };
  addFolder("C:\\t\\broken");  // its listing stops after ".", "..", and one file
  addFile("C:\\t\\broken\\seen", 1);
  addFile("C:\\t\\broken\\unseen", 1000);
  fake.failNextAfter["C:\\t\\broken"] = 3;
  plainFolderAfter("broken");
  addFolder("C:\\t\\gone");  // vanished between the listing and its own check
  addFile("C:\\t\\gone\\x", 1000);
  fake.failLookup.insert("C:\\t\\gone");
  plainFolderAfter("gone");
  addFolder("C:\\t\\changed");  // became read-only meanwhile
  addFile("C:\\t\\changed\\x", 1000);
  fake.lookupAttrib["C:\\t\\changed"] = 0x11;
  plainFolderAfter("changed");
  addFolder("C:\\t\\locked");  // its listing cannot be opened
  addFile("C:\\t\\locked\\x", 1000);
  fake.failListing.insert("C:\\t\\locked");
  plainFolderAfter("locked");
  addFile("C:\\t\\after", 20);
  // What the system said of the broken listing and the locked folder: each is told, the vanished
  // folder is not.
  fake.faults["C:\\t\\broken"] = {5, false};
  fake.faults["C:\\t\\locked"] = {13, false};
  EXPECT_EQ(dirSize("C:\\t"), 29.0);
  EXPECT_EQ(walkTrouble.unreadable, 2u);
  EXPECT_EQ(walkTrouble.firstPath, "C:\\t\\broken");
  EXPECT_EQ(walkTrouble.firstError, 5);
  EXPECT_EQ(walkTrouble.error, 0);
  dirTotal = 0.0;
  EXPECT_EQ(sized("C:\\t"), 29.0);
  EXPECT_EQ(walkTrouble.unreadable, 2u);
}

TEST_F(WalkTest, TopPathThatIsNotAPlainFolder) {
  addFile("C:\\t\\file", 5);
  addFolder("C:\\ro", 0x11);
  addFolder("C:\\locked");
  fake.failListing.insert("C:\\locked");
  const struct {
    const char* path;
    double result;
  } cases[] = {
      {"C:\\t\\file", -2.0},
      {"C:\\missing", -2.0},
      {"C:\\ro", -2.0},
      {"C:", -2.0},
      {"C:\\locked", 0.0},
      {"C:\\t\\", -2.0},
      // Searched as typed, these would list C:\t, whose first entry "." is a folder.
      {"C:\\t\\*.*", -2.0},
      {"C:\\t/*.*", -2.0},
      {"C:*.*", -2.0},
  };
  for (const auto& c : cases) EXPECT_EQ(sized(c.path), c.result) << c.path;
  EXPECT_EQ(dirTotal, 0.0) << "a failed check adds nothing";
}

TEST_F(WalkTest, InvalidDirectoryTrace) {
  debugPrint = 1;
  testing::internal::CaptureStdout();
  EXPECT_EQ(dirSize("C:\\nothing"), -2.0);
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "c_file attrib    00, -1 name C:\\nothing\n"
            "Error invalid directory C:\\nothing\n");
}

// Every size is added to one integer of 128 bits, rounded to the total once: no byte is lost to a
// double's 53 bits along the way, nor to a 64-bit sum's wrap.
TEST_F(WalkTest, LargeFilesCountInFull) {
  const uint64_t kMost = ~uint64_t(0) >> 1;
  const struct {
    std::vector<uint64_t> sizes;
    double total;
  } cases[] = {
      {{(uint64_t(1) << 32) + 10, uint64_t(1) << 40}, 4294967306.0 + 1099511627776.0},
      {{uint64_t(1) << 53, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1}, 9007199254741002.0},
      {{kMost, kMost, kMost}, 27670116110564327424.0},
      // 2^64 + 2048 lies halfway between two doubles and rounds to even; a byte more, up.
      {{uint64_t(1) << 63, uint64_t(1) << 63, 2048}, 18446744073709551616.0},
      {{uint64_t(1) << 63, uint64_t(1) << 63, 2049}, 18446744073709555712.0},
  };
  for (const auto& c : cases) {
    SetUp();
    for (size_t i = 0; i < c.sizes.size(); ++i) addFile("C:\\t\\f" + std::to_string(i), c.sizes[i]);
    EXPECT_EQ(sized("C:\\t"), c.total) << c.sizes.size() << " files";
  }
}

TEST_F(WalkTest, TotalGrowsAcrossCalls) {
  addFile("C:\\t\\a", 4);
  EXPECT_EQ(dirSize("C:\\t"), 4.0);
  EXPECT_EQ(dirSize("C:\\t"), 8.0);
}

TEST_F(WalkTest, DeepTreeNeedsNoStack) {
  std::string path = "C:\\t";
  const int depth = 3000;
  for (int i = 0; i < depth; ++i) {
    path += "\\d";
    addFolder(path);
    addFile(path + "\\f", 1);
  }
  EXPECT_EQ(sized("C:\\t"), double(depth));
}

// Enough folders that the threads hand many out, with every kind of failure among them: the
// threads' total is the one thread's.
TEST_F(WalkTest, ABushyTreeWithFailuresOnThreads) {
  std::vector<std::string> paths = {"C:\\t"};
  for (size_t i = 1; i < 3000; ++i) {
    const std::string path = paths[(i - 1) / 3] + "\\d" + std::to_string(i);
    paths.push_back(path);
    addFolder(path, i % 23 == 0 ? 0x11u : uint32_t(kAttrDirectory));
    for (size_t f = 0; f < i % 5; ++f) addFile(path + "\\f" + std::to_string(f), i * 10 + f);
    addFile(path + "\\.hidden", 1000000);
    if (i % 7 == 0) fake.failLookup.insert(path);
    if (i % 11 == 0) fake.failListing.insert(path);
    if (i % 13 == 0) fake.failNextAfter[path] = 3;
    if (i % 17 == 0) fake.lookupAttrib[path] = 0x12;
  }
  const double one = dirSize("C:\\t");
  fake.listingMicroseconds = 20;  // time for the threads to wait, and to be handed folders
  for (const int threads : {2, 3, 8}) {
    dirTotal = 0.0;
    EXPECT_EQ(dirSizeOnThreads("C:\\t", threads), one) << threads << " threads";
  }
  EXPECT_GT(std::count(fake.calls.begin(), fake.calls.end(), "findTake"), 0)
      << "no folder was handed out";
}

// The threads a walk keeps, from what it did in the 20 ms since they last grew: more only while its
// busy threads wait on the system, often, and the machine has processors to spare; as many more as
// they wait, and eight times as many from one thread, whose first look counts the program's start.
// Where waits are not counted, a doubling at a time, while each makes the walk half as fast again.
TEST(GovernorTest, MoreThreadsOnlyWhileTheyWaitAndTheMachineHasRoom) {
  const struct {
    const char* what;
    int threads, most, processors;
    double used;     // processors' worth the process used in that time
    int64_t waits;   // of its threads on the system, in that time; -1 where not counted
    double crowded;  // the share of the time some task waited for a processor; -1 where unknown
    double idle;     // the machine's idle share; -1 where unknown, and read only then
    int busy;
    double after;   // seconds since the threads grew
    double faster;  // its rate against the one before the threads grew
    int expected;
  } cases[] = {
      {"warm: the processors busy", 2, 128, 2, 1.9, 0, 0.1, -1, 2, 0.02, 1, 2},
      {"cold: waiting a quarter", 2, 128, 2, 0.5, 400, 0.3, -1, 2, 0.02, 1, 8},
      {"a share far away", 8, 128, 2, 0.08, 4000, 0.2, -1, 8, 0.02, 1, 64},
      {"waiting, tasks queue for processors", 32, 128, 2, 1.0, 20000, 0.9, -1, 32, 0.02, 1, 32},
      {"kept from processors by others", 2, 128, 2, 0.9, 4, 0.9, -1, 2, 0.02, 1, 2},
      {"too few folders for the threads", 64, 128, 2, 0.2, 9000, 0.3, -1, 20, 0.02, 1, 64},
      {"at the most already", 128, 128, 2, 0.1, 9000, 0.3, -1, 128, 0.02, 1, 128},
      {"grown to the most", 64, 128, 2, 0.1, 9000, 0.3, -1, 64, 0.02, 1, 128},
      {"one thread, eight processors", 1, 128, 8, 0.2, 200, 0.1, -1, 1, 0.02, 1, 8},
      {"one thread that waits", 1, 128, 2, 0.5, 200, 0.1, -1, 1, 0.02, 1, 8},
      {"too soon to tell", 2, 128, 2, 0.1, 400, 0.3, -1, 2, 0.005, 1, 2},
      {"the newest threads barely begun", 8, 128, 2, 0.1, 4000, 0.3, -1, 8, 0.015, 1, 8},
      {"no pressure told: idle processors", 8, 128, 2, 0.08, 4000, -1, 0.5, 8, 0.02, 1, 64},
      {"no pressure told: none idle", 8, 128, 2, 0.08, 4000, -1, 0.05, 8, 0.02, 1, 8},
      {"waits not counted: twice as fast", 4, 128, 4, 0.1, -1, -1, 0.5, 4, 0.02, 2, 8},
      {"waits not counted: not half as fast again", 4, 128, 4, 0.1, -1, -1, 0.5, 4, 0.02, 1.2, 4},
  };
  for (const auto& c : cases) {
    Governor governor = startGoverning(c.threads, c.most, c.processors);
    // As it stands after the look at which the threads grew last, having counted 10,000 entries a
    // second before; a growth is judged where waits are not counted.
    governor.last = governor.grown = {
        1.0,    5.0,   c.waits < 0 ? -1 : 1000, c.crowded < 0 ? -1 : 9.0, c.idle < 0 ? -1 : 50.0,
        c.busy, 100000};
    governor.trying = c.waits < 0;
    governor.rateBefore = 10000;
    const WalkSample now = {1.0 + c.after,
                            5.0 + c.used * c.after,
                            c.waits < 0 ? -1 : 1000 + c.waits,
                            c.crowded < 0 ? -1 : 9.0 + c.crowded * c.after,
                            c.idle < 0 ? -1 : 50.0 + c.idle * c.after * c.processors,
                            c.busy,
                            100000 + uint64_t(10000 * c.faster * c.after)};
    EXPECT_EQ(govern(governor, now), c.expected) << c.what;
  }
}

}  // namespace
