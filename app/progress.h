// The progress of a long walk, for a person at a terminal: after about a second, a line on
// standard error with what the walk has counted and a folder it walks, redrawn ten times a second
// by a thread of its own and erased before the report. The walk only counts (walk/progress.h).
#pragma once

#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>

#include "platform/platform.h"
#include "walk/progress.h"

// The thread that draws, when standard error is a terminal, and what stops it: `stopping`, under
// `lock`.
struct Progress {
  std::thread drawer;
  std::mutex lock;
  std::condition_variable wake;
  bool stopping;
  int displayType;
};

// Starts drawing, for a walk about to start, when standard error is a terminal.
void startProgress(Progress& progress, int displayType);

// Stops drawing and erases the line; an interrupt that came while it was shown ends the run here.
void endProgress(Progress& progress);

// The line for `counted` and the folder `folder`, a path of the walk's, in the unit `displayType`,
// in at most `columns` columns as `look` shows text: the counts and the figure first, then the
// folder with `look`'s separator between its components, escaped (safeForTerminal) and cut in
// the middle to the room left, or left out when too little is left. Where the counts do not fit
// whole, their brief form, with as many of its fields as fit whole.
std::string progressLine(const WalkProgress& counted, const std::string& folder, int displayType,
                         size_t columns, const StatusText& look);
