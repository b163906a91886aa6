// The whole run on the fake platform with an arbitrary command line: the first byte picks the
// argument count, the rest is split into arguments at NUL bytes. Each argument lives in a block of
// exactly its own size, so reading past its end is caught. The output must be exactly one of the
// shapes the tool defines, every search must be closed, and the exit status must match.
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "app/voltally.h"
#include "tests/fake_platform.h"
#include "tests/usage_text.h"

namespace {

int captureFd = -1;

// Standard output goes to a memory file for the whole process; each run starts it empty.
void startCapture() {
  if (captureFd < 0) {
    captureFd = memfd_create("voltally-out", 0);
    if (captureFd < 0 || dup2(captureFd, STDOUT_FILENO) < 0) abort();
  }
  fflush(stdout);
  if (ftruncate(captureFd, 0) != 0 || lseek(STDOUT_FILENO, 0, SEEK_SET) != 0) abort();
}

std::string captured() {
  fflush(stdout);
  std::string out(size_t(lseek(STDOUT_FILENO, 0, SEEK_CUR)), '\0');
  if (!out.empty() && pread(captureFd, &out[0], out.size(), 0) != ssize_t(out.size())) abort();
  return out;
}

[[noreturn]] void fail(const char* what, const std::string& expected, const std::string& actual) {
  fprintf(stderr, "%s\nexpected: \"%s\"\nactual:   \"%s\"\n", what, expected.c_str(),
          actual.c_str());
  abort();
}

// 100 clusters of 1 KByte, 25 free; C:\t holds 4096 bytes, 2048 of them in C:\t\sub.
void buildTree() {
  resetFake();
  addFolder("C:\\t");
  addFile("C:\\t\\a", 1024);
  addFile("C:\\t\\.hidden", 500);
  addFolder("C:\\t\\sub");
  addFile("C:\\t\\sub\\b", 2048);
  addFile("C:\\t\\b", 1024);
}

char upper(char c) {
  return c >= 'a' && c <= 'z' ? char(c - 'a' + 'A') : c;
}

// Whether the fake's search for `path` itself finds a plain folder: a folder entry looked up in
// its parent (".", ".." and the named folders). A path that ends in the listing's "*.*" names no
// folder, though the listing's first entry here is one.
bool passesFolderCheck(const std::string& path) {
  static const char* const kFolderEntries[] = {"C:\\t",      "C:\\t\\.",      "C:\\t\\..",
                                               "C:\\t\\sub", "C:\\t\\sub\\.", "C:\\t\\sub\\.."};
  for (const char* entry : kFolderEntries) {
    if (path == entry) return true;
  }
  return false;
}

// The report line for a path on C:, worked out by hand for this tree. A path that passes the
// folder check without being a listed folder itself lists nothing, as on Windows.
std::string expectedReport(int unit, const std::string& path) {
  const int which = path == "C:\\t"           ? 0
                    : path == "C:\\t\\sub"    ? 1
                    : passesFolderCheck(path) ? 2
                                              : 3;
  static const char* const kLines[4][4] = {
      {"102400.00 25600.00 76800.00 4096.00\r", "102400.00 25600.00 76800.00 2048.00\r",
       "102400.00 25600.00 76800.00 0.00\r", "102400.00 25600.00 76800.00 -2.00\r"},
      {"100.00 25.00 75.00 4.00\r", "100.00 25.00 75.00 2.00\r", "100.00 25.00 75.00 0.00\r",
       "100.00 25.00 75.00 -0.00\r"},
      {"0 0 0 0\r", "0 0 0 0\r", "0 0 0 0\r", "0 0 0 -0\r"},
      {"0.00 0.00 0.00 0.00\r", "0.00 0.00 0.00 0.00\r", "0.00 0.00 0.00 0.00\r",
       "0.00 0.00 0.00 -0.00\r"},
  };
  return kLines[unit - 1][which];
}

void check(const std::vector<std::string>& args, int status, const std::string& out) {
  const size_t argc = args.size() + 1;
  if (argc < 2 || argc > 3) {
    if (status != -1 || out != kUsage) fail("wrong argument count", kUsage, out);
    return;
  }
  const std::string& path = args[0];
  if (path == "-h" || path == "--help" || path == "-?" || path == "/?") {
    if (status != 0 || out != kUsage) fail("help", kUsage, out);
    return;
  }
  if (path == "--version") {
    const std::string version = "Voltally " VOLTALLY_VERSION "\n";
    if (status != 0 || out != version) fail("version", version, out);
    return;
  }
  int unit = 3;
  bool debug = false;
  if (argc == 3) {
    switch (upper(args[1].c_str()[0])) {
      case 'B':
        unit = 1;
        break;
      case 'K':
        unit = 2;
        break;
      case 'G':
        unit = 4;
        break;
      case 'D':
        debug = true;
        break;
      default:
        break;
    }
  }
  std::string expected = debug ? "Display type = 3\nSizing " + path + "\n" : "";
  std::string prefix;
  for (size_t i = 0; i < 2 && i < path.size(); ++i) prefix += upper(path[i]);
  if (std::string("C:").compare(0, prefix.size(), prefix) != 0) {
    if (status != -1 || out != expected) fail("unknown drive", expected, out);
    return;
  }
  if (status != 0) fail("run on C: failed", "status 0", std::to_string(status));
  if (debug) expected += "call dirSize" + path + " \n";
  if (out.compare(0, expected.size(), expected) != 0) fail("wrong start", expected, out);
  std::string tail = debug ? "Disk-Capacity Disk-FreeSpace Disk-UsedSpace Directory-Size \n"
                             "in MBytes\n"
                           : "";
  tail += expectedReport(unit, path);
  if (out.size() < expected.size() + tail.size() ||
      out.compare(out.size() - tail.size(), tail.size(), tail) != 0) {
    fail("wrong report", tail, out);
  }
  const std::string trace = out.substr(expected.size(), out.size() - expected.size() - tail.size());
  if (!debug && !trace.empty()) fail("trace without the debug letter", "", trace);
  if (debug && trace.compare(0, 17, "c_file attrib    ") != 0) fail("no check line", "", trace);
  if (debug && expectedReport(unit, path).find("-") != std::string::npos) {
    const std::string end = " name " + path + "\nError invalid directory " + path + "\n";
    if (trace.size() < end.size() || trace.compare(trace.size() - end.size(), end.size(), end)) {
      fail("failed check not traced", end, trace);
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const size_t count = data[0] % 5;  // 0 to 4 arguments after the program's name
  std::vector<std::string> args;
  const std::string rest(reinterpret_cast<const char*>(data) + 1, size - 1);
  for (size_t from = 0; args.size() < count;) {
    const size_t cut = std::min(rest.find('\0', from), rest.size());
    args.push_back(rest.substr(std::min(from, rest.size()), cut - std::min(from, rest.size())));
    from = cut + 1;
  }

  std::vector<std::unique_ptr<char[]>> blocks;
  std::vector<char*> argv;
  blocks.emplace_back(new char[9]);
  memcpy(blocks.back().get(), "Voltally", 9);
  for (const std::string& arg : args) {
    blocks.emplace_back(new char[arg.size() + 1]);
    memcpy(blocks.back().get(), arg.c_str(), arg.size() + 1);
  }
  for (auto& block : blocks) argv.push_back(block.get());
  argv.push_back(nullptr);

  buildTree();
  startCapture();
  const int status = runVoltally(int(args.size() + 1), argv.data());
  check(args, status, captured());
  if (!fake.openHandles.empty()) fail("a search was left open", "", "");
  return 0;
}
