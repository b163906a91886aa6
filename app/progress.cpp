#include "app/progress.h"

#include <chrono>
#include <exception>

#include "app/numfmt.h"
#include "app/voltally.h"
#include "walk/walk.h"

namespace {

const auto kQuiet = std::chrono::seconds(1);  // a shorter run writes nothing to standard error
const auto kTick = std::chrono::milliseconds(100);

// Characters of UTF-8 text: bytes that do not continue a sequence.
size_t widthOf(const std::string& text) {
  size_t width = 0;
  for (const char c : text) width += (c & 0xC0) != 0x80;
  return width;
}

// The first `count` characters of `text`, from its character `from` on.
std::string characters(const std::string& text, size_t from, size_t count) {
  size_t at = 0, character = 0;
  for (; at < text.size() && character < from; ++at) character += (text[at] & 0xC0) != 0x80;
  while (at < text.size() && (text[at] & 0xC0) == 0x80) ++at;
  size_t end = at;
  for (size_t taken = 0; end < text.size() && taken < count; ++taken) {
    ++end;
    while (end < text.size() && (text[end] & 0xC0) == 0x80) ++end;
  }
  return text.substr(at, end - at);
}

void draw(Progress* progress) {
  statusThread();
  const auto start = std::chrono::steady_clock::now();
  std::unique_lock<std::mutex> hold(progress->lock);
  while (!progress->wake.wait_for(hold, kTick, [&] { return progress->stopping; })) {
    if (statusInterrupted()) statusEnd();
    // Asked every tick, so that a folder is at hand when the first line is drawn.
    const std::string folder = walkedFolder();
    const int columns = statusColumns();
    if (std::chrono::steady_clock::now() - start < kQuiet || columns < 2) continue;
    const std::string line =
        progressLine(walkProgress(), folder, progress->displayType, size_t(columns) - 1);
    showStatus(line.c_str());
  }
}

}  // namespace

void startProgress(Progress& progress, int displayType) {
  progress.stopping = false;
  progress.displayType = displayType;
  if (statusColumns() == 0) return;
  statusBegin();
  try {
    if (roomForAnException()) progress.drawer = std::thread(draw, &progress);
  } catch (const std::exception&) {
  }
  if (!progress.drawer.joinable()) statusEnd();  // no thread to draw: the run goes on without it
}

void endProgress(Progress& progress) {
  if (!progress.drawer.joinable()) return;
  {
    std::lock_guard<std::mutex> hold(progress.lock);
    progress.stopping = true;
  }
  progress.wake.notify_one();
  progress.drawer.join();
  statusEnd();
}

std::string progressLine(const WalkProgress& counted, const std::string& folder, int displayType,
                         size_t columns) {
  static const char* const kUnits[] = {"Bytes", "KBytes", "MBytes", "GBytes"};
  const int unit = displayType >= kBytes && displayType <= kGBytes ? displayType : kMBytes;
  double amount = double(counted.bytes);
  for (int step = kBytes; step < unit; ++step) amount /= 1024.0;
  std::string line = std::to_string(counted.files) + " files, " + std::to_string(counted.folders) +
                     " folders, " + formatFixed(amount, unit == kMBytes ? 0 : 2) + " " +
                     kUnits[unit - 1];
  const size_t used = widthOf(line) + 2;
  const size_t width = widthOf(folder);
  if (!folder.empty() && used + width <= columns) return line + "  " + folder;
  const size_t room = used < columns ? columns - used : 0;
  if (folder.empty() || room < 9) return characters(line, 0, columns);
  const size_t head = (room - 3) / 2;
  return line + "  " + characters(folder, 0, head) + "..." +
         characters(folder, width - (room - 3 - head), room - 3 - head);
}
