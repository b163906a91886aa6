// The Linux program and the Windows program under Wine give the same directory total, in all four
// units, on the same generated trees; the bytes column also equals what the generator laid down.
//
// The trees leave out the two things on which the platforms' attribute mappings differ: folders
// without write permission (Wine reports them read-only, 0x11, and does not enter them; the Linux
// layer never marks a folder read-only) and links to files (Wine follows them; the Linux layer
// reports a link with size 0). Hidden folders are left out too: only Wine keeps the hidden bit (in
// an extended attribute). Everything else goes in: plain, empty and dot folders, links to folders
// (loops included), dangling links, fifos, read-only and hidden files, empty and multi-GiB sparse
// files, and names with spaces, punctuation, mixed case, letters of the ANSI code page and
// letters outside it.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cinttypes>
#include <cstdio>
#include <random>
#include <set>
#include <string>

#include "tests/wine_harness.h"

namespace {

// Names both platforms take as they stand: no character that Windows forbids or treats as a
// wildcard, no '~' (Wine's hashed short names), no trailing dot or space (Windows drops them),
// and no device name (CON, NUL, ...).
const char kNameChars[] =
    "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789 _-+,;=()[]{}!@#$%&'.";
// In UTF-8, as Linux stores them: cafe with an acute e, naive with a diaeresis, Uber with an
// umlaut, Strasse with a sharp s, and "ar ol" with a ring and a slashed o; then names outside the
// ANSI code page (1252 here).
const char* const kNonAsciiNames[] = {
    "caf\303\251", "na\303\257ve", "\303\234ber", "Stra\303\237e", "\303\245r \303\270l", "中文",
    "😀",           "Ελληνικά",     "עברית"};
const char* const kDeviceNames[] = {"con", "prn", "aux", "nul", "com", "lpt"};

struct Shape {
  unsigned seed;
  int maxDepth;
  int entries;  // roughly how many entries the tree gets
};

void PrintTo(const Shape& shape, std::ostream* out) {
  *out << "depth " << shape.maxDepth << ", " << shape.entries << " entries";
}

// One tree in the making: the random stream, the entries still to make, every folder made so far
// (the targets of links) and the bytes that both programs must count.
struct Generation {
  const Tree& tree;
  std::mt19937_64 random;
  int maxDepth;
  int budget;
  std::vector<std::string> folders;
  uint64_t counted;
};

int pick(Generation& g, int below) {
  return int(g.random() % unsigned(below));
}

std::string lower(std::string text) {
  for (char& c : text) c = c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c;
  return text;
}

bool isDevice(const std::string& name) {
  std::string base = lower(name.substr(0, name.find('.')));
  while (!base.empty() && ((base.back() >= '0' && base.back() <= '9') || base.back() == ' ')) {
    base.pop_back();
  }
  for (const char* device : kDeviceNames) {
    if (base == device) return true;
  }
  return false;
}

// A name not yet taken in the folder, compared without case as Windows does.
std::string newName(Generation& g, std::set<std::string>& taken, bool dotName) {
  for (;;) {
    std::string name = dotName ? "." : "";
    if (!dotName && pick(g, 12) == 0) {
      name = kNonAsciiNames[pick(g, int(std::size(kNonAsciiNames)))];
    } else {
      const int length = 1 + pick(g, 12);
      for (int i = 0; i < length; ++i) name += kNameChars[pick(g, int(sizeof kNameChars - 1))];
    }
    if (name[0] == ' ' || (!dotName && name[0] == '.')) continue;
    if (name.back() == ' ' || name.back() == '.' || isDevice(name)) continue;
    if (taken.insert(lower(name)).second) return name;
  }
}

uint64_t newSize(Generation& g) {
  switch (pick(g, 10)) {
    case 0:
    case 1:
      return 0;
    case 2:
      return (uint64_t(1) << 31) + g.random() % (uint64_t(1) << 34);
    default:
      return 1 + g.random() % 100000;
  }
}

enum Kind {
  kFolder,
  kEmptyFolder,
  kFolderLink,
  kDanglingLink,
  kFifo,
  kFile,
  kReadOnlyFile,
  kHiddenFile,
  kDotFile,
  kDotFolder
};

// What the next entry becomes, in percent of the draws.
Kind draw(Generation& g, int depth) {
  const int p = pick(g, 100);
  if (p < 30) return depth < g.maxDepth ? kFolder : kEmptyFolder;
  if (p < 34) return kEmptyFolder;
  if (p < 40) return kFolderLink;  // to any folder made so far: an ancestor makes a loop
  if (p < 43) return kDanglingLink;
  if (p < 45) return kFifo;
  if (p < 51) return kReadOnlyFile;
  if (p < 55) return kHiddenFile;
  if (p < 94) return kFile;
  return p % 2 ? kDotFile : kDotFolder;
}

void fill(Generation& g, const std::string& folder, int depth) {
  std::set<std::string> taken;
  // The top folder takes whatever budget its subfolders leave.
  const int entries = depth == 0 ? g.budget : 2 + pick(g, 10);
  for (int i = 0; i < entries && g.budget > 0; ++i, --g.budget) {
    const Kind kind = draw(g, depth);
    const bool dotName = kind == kDotFile || kind == kDotFolder;
    const std::string path = (folder.empty() ? "" : folder + "/") + newName(g, taken, dotName);
    switch (kind) {
      case kFolder:
        g.tree.folder(path);
        g.folders.push_back(g.tree.unixPath(path));
        fill(g, path, depth + 1);
        break;
      case kEmptyFolder:
        g.tree.folder(path);
        break;
      case kFolderLink:
        g.tree.link(path, g.folders[size_t(pick(g, int(g.folders.size())))]);
        break;
      case kDanglingLink:
        g.tree.link(path, g.tree.unixPath("nowhere"));
        break;
      case kFifo:
        ASSERT_EQ(mkfifo(g.tree.unixPath(path).c_str(), 0644), 0) << path;
        break;
      case kFile:
      case kReadOnlyFile:
      case kHiddenFile: {
        const uint64_t bytes = newSize(g);
        g.tree.file(path, bytes, kind == kReadOnlyFile ? 0444 : 0644);
        if (kind == kHiddenFile) g.tree.hide(path);
        g.counted += bytes;
        break;
      }
      case kDotFile:  // passed over by both
        g.tree.file(path, 1000);
        break;
      case kDotFolder:  // passed over by both, whatever it holds
        g.tree.folder(path);
        g.tree.file(path + "/inside", 1000);
        break;
    }
  }
}

class WineVsLinux : public testing::TestWithParam<Shape> {};

TEST_P(WineVsLinux, SameDirectoryTotalInEveryUnit) {
  const Shape shape = GetParam();
  Tree tree('d', "Diff-" + std::to_string(shape.seed));
  Generation g = {tree,          std::mt19937_64(shape.seed), shape.maxDepth,
                  shape.entries, {tree.unixPath()},           0};
  fill(g, "", 0);
  const uint64_t counted = g.counted;
  char bytes[32];
  snprintf(bytes, sizeof bytes, "%" PRIu64 ".00\r", counted);
  for (const char* letter : {"b", "k", "m", "g"}) {
    const RunResult onLinux = runLinux({"C:" + tree.unixPath(), letter});
    const RunResult onWine = runWindows({tree.drivePath(), letter});
    EXPECT_EQ(onLinux.status, 0);
    EXPECT_EQ(onWine.status, 0);
    EXPECT_EQ(lastColumn(onWine.out), lastColumn(onLinux.out)) << "letter " << letter;
    if (letter[0] == 'b') {
      EXPECT_EQ(lastColumn(onLinux.out), bytes);
    }
  }
}

// Seeds and shapes: wide and shallow, deep and narrow, and a few of each in between.
INSTANTIATE_TEST_SUITE_P(Trees, WineVsLinux,
                         testing::Values(Shape{1, 1, 40}, Shape{2, 4, 120}, Shape{3, 6, 80},
                                         Shape{4, 3, 200}, Shape{5, 2, 150}, Shape{6, 5, 250}),
                         [](const testing::TestParamInfo<Shape>& shape) {
                           return "Seed" + std::to_string(shape.param.seed);
                         });

}  // namespace
