// The Win32 services themselves (platform/win32*.cpp), as a Windows program under Wine: the edges
// of their contracts that a run of the tool does not show. The ctest fixture links A:, D:, F: and
// the network path \\server\share to folders and leaves B: and E: absent; C: and Z: come with the
// prefix.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstring>
#include <ctime>
#include <map>
#include <string>
#include <tuple>
#include <utility>

#include "platform/platform.h"
#include "platform/win32_text.h"

namespace {

const uint64_t kBig = (uint64_t(1) << 32) + 10;

// Restores the current directory however a test ends.
class Win32Drives : public testing::Test {
 protected:
  void SetUp() override { ASSERT_NE(GetCurrentDirectoryA(sizeof start_, start_), 0u); }
  void TearDown() override { SetCurrentDirectoryA(start_); }
  char start_[MAX_PATH];
};

TEST_F(Win32Drives, NumbersOutsideTheRangeFailWithoutAsking) {
  for (int drive : {-1, 0, 32, 1000}) EXPECT_EQ(changeDrive(drive), -1) << drive;
  DiskFree disk;
  for (int drive : {-1, 27, 1000}) EXPECT_EQ(getDiskFree(drive, nullptr, &disk), 87) << drive;
}

TEST_F(Win32Drives, ChangeDriveMakesPresentDrivesCurrent) {
  const struct {
    int drive;
    int result;
  } cases[] = {{1, 0}, {2, -1}, {3, 0}, {4, 0}, {5, -1}, {6, 0}, {26, 0}};
  for (const auto& c : cases) {
    const int before = currentDrive();
    EXPECT_EQ(changeDrive(c.drive), c.result) << c.drive;
    EXPECT_EQ(currentDrive(), c.result == 0 ? c.drive : before) << c.drive;
  }
}

TEST_F(Win32Drives, NetworkPathMeansNoCurrentDrive) {
  ASSERT_TRUE(SetCurrentDirectoryA("\\\\server\\share"));
  EXPECT_EQ(currentDrive(), 0);
  EXPECT_EQ(changeDrive(0), -1);
  char directory[MAX_PATH];
  GetCurrentDirectoryA(sizeof directory, directory);
  EXPECT_STREQ(directory, "\\\\server\\share") << "a failed change has no effect";
}

TEST_F(Win32Drives, GeometryOfPresentAndAbsentDrives) {
  DiskFree disk = {};
  ASSERT_EQ(getDiskFree(3, nullptr, &disk), 0);
  EXPECT_GT(disk.totalClusters, 0u);
  EXPECT_LE(disk.availClusters, disk.totalClusters);
  EXPECT_EQ(disk.bytesPerSector, 512u);
  EXPECT_GT(disk.sectorsPerCluster, 0u);
  ASSERT_EQ(changeDrive(3), 0);
  DiskFree current = {};
  ASSERT_EQ(getDiskFree(0, nullptr, &current), 0) << "0 is the current drive";
  EXPECT_EQ(current.totalClusters, disk.totalClusters);
  ASSERT_EQ(getDiskFree(3, "C:\\no\\such\\folder", &current), 0) << "the volume above it";
  EXPECT_EQ(current.totalClusters, disk.totalClusters);
  // A path on an absent drive names no volume, so the drive's root is asked, as without a path.
  for (const auto& [absent, path] :
       {std::pair<int, const char*>{2, nullptr}, {5, nullptr}, {2, "B:\\x"}, {5, "E:\\x"}}) {
    EXPECT_EQ(getDiskFree(absent, path, &disk), ERROR_PATH_NOT_FOUND) << absent;
  }
}

// A folder of the test's own in the prefix's temporary folder.
class Win32Search : public testing::Test {
 protected:
  void SetUp() override {
    char temp[MAX_PATH];
    ASSERT_NE(GetTempPathA(sizeof temp, temp), 0u);
    dir_ = std::string(temp) + "voltally-" +
           testing::UnitTest::GetInstance()->current_test_info()->name();
    RemoveAll();
    ASSERT_TRUE(CreateDirectoryA(dir_.c_str(), nullptr));
    ASSERT_TRUE(CreateDirectoryA((dir_ + "\\sub").c_str(), nullptr));
    File("a", 10, 0);
    File("big", kBig, 0);
    File("readonly", 3, FILE_ATTRIBUTE_READONLY);
    File("hidden", 4, FILE_ATTRIBUTE_HIDDEN);
  }
  void TearDown() override { RemoveAll(); }

  void File(const char* name, uint64_t size, DWORD attributes) {
    const std::string path = dir_ + "\\" + name;
    const HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE) << name;
    LARGE_INTEGER end;
    end.QuadPart = LONGLONG(size);
    EXPECT_TRUE(SetFilePointerEx(file, end, nullptr, FILE_BEGIN) && SetEndOfFile(file)) << name;
    CloseHandle(file);
    if (attributes != 0) {
      EXPECT_TRUE(SetFileAttributesA(path.c_str(), attributes)) << name;
    }
  }

  void RemoveAll() {
    for (const char* name : {"a", "big", "readonly", "hidden"}) {
      const std::string path = dir_ + "\\" + name;
      SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
      DeleteFileA(path.c_str());
    }
    RemoveDirectoryA((dir_ + "\\sub").c_str());
    RemoveDirectoryA(dir_.c_str());
  }

  std::string dir_;
};

TEST_F(Win32Search, ListingReportsEveryEntryWithItsAttributesAndFullSize) {
  std::map<std::string, std::pair<uint32_t, uint64_t>> seen;
  c_file entry;
  const intptr_t handle = findFirst((dir_ + "\\*.*").c_str(), &entry);
  ASSERT_NE(handle, -1);
  do {
    seen[entry.name] = {entry.attrib, entry.size};
  } while (findNext(handle, &entry) == 0);
  EXPECT_EQ(findClose(handle), 0);
  const std::map<std::string, std::pair<uint32_t, uint64_t>> expected = {
      {".", {0x10, 0}},      {"..", {0x10, 0}},       {"a", {0x20, 10}},  {"big", {0x20, kBig}},
      {"hidden", {0x22, 4}}, {"readonly", {0x21, 3}}, {"sub", {0x10, 0}},
  };
  EXPECT_EQ(seen, expected);
}

TEST_F(Win32Search, SearchWithoutWildcardFindsTheEntryItself) {
  c_file entry;
  const intptr_t handle = findFirst((dir_ + "\\big").c_str(), &entry);
  ASSERT_NE(handle, -1);
  EXPECT_STREQ(entry.name, "big");
  EXPECT_EQ(entry.size, kBig);
  EXPECT_EQ(entry.attrib, 0x20u);
  const uint32_t now = uint32_t(time(nullptr));
  EXPECT_LE(entry.timeWrite, now);
  EXPECT_GT(entry.timeWrite + 3600, now) << "written within the hour, in seconds since 1970";
  EXPECT_EQ(findNext(handle, &entry), -1);
  EXPECT_EQ(findClose(handle), 0);
}

TEST_F(Win32Search, FailuresLeaveTheRecordUntouched) {
  c_file entry, untouched;
  memset(&entry, 0xAB, sizeof entry);
  untouched = entry;
  const std::string patterns[] = {dir_ + "\\missing",       dir_ + "\\missing\\*.*", dir_ + "\\",
                                  dir_ + "\\sub\\nothing*", dir_ + "\\su?",          dir_ + "\\*"};
  for (const std::string& pattern : patterns) {
    EXPECT_EQ(findFirst(pattern.c_str(), &entry), -1) << pattern;
    EXPECT_EQ(memcmp(&entry, &untouched, sizeof entry), 0) << pattern;
  }
  EXPECT_EQ(findNext(-1, &entry), -1);
  EXPECT_EQ(findClose(-1), -1);

  const intptr_t handle = findFirst((dir_ + "\\a").c_str(), &entry);
  ASSERT_NE(handle, -1);
  untouched = entry;
  EXPECT_EQ(findNext(handle, &entry), -1);
  EXPECT_EQ(memcmp(&entry, &untouched, sizeof entry), 0) << "after the last entry";
  EXPECT_EQ(findClose(handle), 0);
}

// A path through a network share, thousands of characters deep and named outside any code page:
// the service makes it \\?\UNC\server\share\..., which real Windows needs past MAX_PATH.
TEST(Win32Paths, DeepPathThroughANetworkShare) {
  const std::string top = "\\\\server\\share\\中文😀";
  std::string path = top;
  for (;; path += "\\level") {
    std::wstring wide = L"\\\\?\\UNC";
    ASSERT_TRUE(appendUtf16(path.c_str() + 1, &wide));
    ASSERT_TRUE(CreateDirectoryW(wide.c_str(), nullptr) || GetLastError() == ERROR_ALREADY_EXISTS);
    if (path.size() > 3000) break;
  }
  for (const auto& [pattern, first] : {std::pair<std::string, std::string>{top, "中文😀"},
                                       {path, "level"},
                                       {path + "\\*.*", "."}}) {
    c_file entry;
    const intptr_t handle = findFirst(pattern.c_str(), &entry);
    ASSERT_NE(handle, -1) << pattern.size();
    EXPECT_EQ(entry.name, first);
    EXPECT_EQ(entry.attrib, 0x10u);
    EXPECT_EQ(findClose(handle), 0);
  }
}

// Both ways between UTF-8 and UTF-16, at the edges of each length of sequence; a lone surrogate,
// which a Windows name may hold, keeps a form of its own, and what is not UTF-8 is refused.
TEST(Win32Paths, TextConvertsBothWays) {
  for (const auto& [utf8, wide] :
       {std::pair<std::string, std::wstring>{"caf\xc3\xa9", L"caf\u00e9"},
        {"\xe4\xb8\xad\xef\xbf\xbf", L"\u4e2d\uffff"},
        {"\xf0\x9f\x98\x80\xf4\x8f\xbf\xbf", L"\U0001F600\U0010FFFF"},
        {"\xed\xa0\x80x\xed\xbf\xbf", {0xD800, L'x', 0xDFFF}}}) {
    std::wstring converted;
    EXPECT_TRUE(appendUtf16(utf8.c_str(), &converted) && converted == wide) << utf8;
    std::string back(3 * wide.size() + 1, '\0');
    back.resize(toUtf8(wide.c_str(), &back[0]));
    EXPECT_EQ(back, utf8);
  }
  for (const char* bad : {"\x80", "a\xc3", "\xc0\xaf", "\xe0\x80\x80", "\xe4\xb8",
                          "\xf0\x8f\xbf\xbf", "\xf4\x90\x80\x80", "\xf5\x80\x80\x80", "\xff"}) {
    std::wstring converted;
    EXPECT_FALSE(appendUtf16(bad, &converted)) << testing::PrintToString(bad);
  }
  // One piece of a longer text, as the console gets it: a character cut off at the end waits for
  // the next piece, and what is not UTF-8 shows as U+FFFD.
  for (const auto& [piece, wide, cut] :
       {std::tuple<std::string, std::wstring, size_t>{"a\xe4\xb8", L"a", 2},
        {"\xe4\xb8\xad", L"\u4e2d", 0},
        {"\xf0\x9f\x98", L"", 3},
        {"\xff\xe4x", L"\ufffd\ufffdx", 0}}) {
    std::wstring converted;
    EXPECT_EQ(appendUtf16Piece(piece.data(), piece.size(), &converted), cut) << piece;
    EXPECT_EQ(converted, wide) << piece;
  }
}

}  // namespace
