#include "app/progress.h"

#include <chrono>
#include <exception>

#include "app/numfmt.h"
#include "app/terminal_text.h"
#include "app/voltally.h"
#include "walk/walk.h"

namespace {

const auto kQuiet = std::chrono::seconds(1);  // a shorter run writes nothing to standard error
const auto kTick = std::chrono::milliseconds(100);
const size_t kLeastFolder = 9;  // columns: less than this of a path tells nothing

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
    const StatusText look = statusText();
    const std::string line =
        progressLine(walkProgress(), folder, progress->displayType, size_t(columns) - 1, look);
    showStatus(line.c_str(), displayColumns(line, look.marksJoin));
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
                         size_t columns, const StatusText& look) {
  static const char* const kUnits[] = {"Bytes", "KBytes", "MBytes", "GBytes"};
  const int unit = displayType >= kBytes && displayType <= kGBytes ? displayType : kMBytes;
  double amount = double(counted.bytes);
  for (int step = kBytes; step < unit; ++step) amount /= 1024.0;
  const std::string files = std::to_string(counted.files);
  const std::string folders = std::to_string(counted.folders);
  const std::string figure = formatFixed(amount, unit == kMBytes ? 0 : 2) + " " + kUnits[unit - 1];
  // Counts and figure are ASCII: a byte a column.
  const std::string line = files + " files, " + folders + " folders, " + figure;
  if (line.size() > columns) {
    // The brief form, as many of its fields as fit, each whole: a number cut short would read as
    // another number, a figure without its unit as a figure in another.
    std::string brief;
    for (const std::string& field : {files + " f", folders + " d", figure}) {
      const size_t more = (brief.empty() ? 0 : 2) + field.size();
      if (brief.size() + more > columns) break;
      brief += (brief.empty() ? "" : ", ") + field;
    }
    return brief;
  }
  if (folder.empty() || line.size() + 2 + kLeastFolder > columns) return line;
  // The separator first: the escapes that follow bring backslashes of their own.
  std::string path = folder;
  for (char& c : path) c = c == '\\' ? look.separator : c;
  return line + "  " +
         cutInMiddle(safeForTerminal(path), columns - line.size() - 2, look.marksJoin);
}
