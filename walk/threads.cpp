// The walk spread over threads. Each thread walks depth first below a folder of its own, as
// dirSize does, except that every listing keeps back the first folder it shows until it has
// ended. Those folders are the thread's stack of work, and it shares only when another thread
// waits: it then hands out the one it kept furthest up, whose subtree is likely the largest, as a
// pass that the waiting thread lists. The threads meet only there, under one lock; nothing is
// shared where entries are counted. The walk ends when every thread waits and nothing is handed
// out.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <exception>
#include <mutex>
#include <new>
#include <string>
#include <thread>
#include <vector>

#include "platform/platform.h"
#include "walk/folder_check.h"
#include "walk/governor.h"
#include "walk/progress.h"
#include "walk/walk.h"

namespace {

// Folders the first thread enters before any other starts, unless the threads were asked for by
// number or it waits on the system: a tree that small is walked as by one thread, at no cost for
// threads it does not need.
const size_t kFoldersBeforeThreads = 256;

// The most threads the governor grows a walk to: as many requests in flight as paid on a share a
// millisecond away.
const int kMostThreads = 128;

// A folder handed out, waiting for a thread to list it.
struct Handed {
  intptr_t pass;
  std::string path;
};

// What the threads share, under `lock`. A folder is handed out only to a thread that waits, so
// the folders `handed` out and those `promised`, being looked at for it, are never more than
// `idle`; `idle` is written under the lock and read without it, as a hint, where a folder is
// found. The walk is `done` once all `threads` wait with nothing handed out.
struct Shared {
  std::mutex lock;
  std::condition_variable wake;
  std::vector<Handed> handed;
  int promised;
  std::atomic<int> idle;
  int threads;
  bool done;
};

// One open listing of a thread's walk. `parentLength` is where the path is cut back to when the
// listing ends; `held` names the first folder it showed, entered once it has `ended` unless
// handed out before. A folder that could not be handed out is `kept`: it stays this thread's.
struct Level {
  intptr_t handle;
  size_t parentLength;
  bool ended;
  bool kept;
  std::string held;
};

// The threads that help the first one. On a walk by default they are as many as the governor
// decides, asked by whichever thread lists a folder once the clock has passed `nextLook`
// (nanoseconds from `start`); `helpers` and `governor` are under `lock`, the governor made at the
// first look. No helper starts before the first thread has entered kFoldersBeforeThreads folders
// or waits on the system; once either has been tried the crew has `begun`.
struct Crew {
  Shared shared;
  std::mutex lock;
  std::vector<std::thread> helpers;
  Governor governor;
  std::atomic<int64_t> nextLook;
  std::chrono::steady_clock::time_point start;
  std::atomic<bool> begun;
};

// One thread's walk: the path of the folder it lists, its open listings, the entry it looks at and
// its tally. No level before `heldFrom` holds a folder that could be handed out. `crew` is the
// crew the thread looks at for the governor, on a walk by default.
struct Worker {
  Shared* shared;
  Crew* crew;
  Tally* tally;
  std::string path;
  std::vector<Level> levels;
  size_t heldFrom;
  c_file entry;
};

void help(Crew* crew, size_t slot, bool governed);

// Starts helpers until the walk has `threads`, or as many as the system grants. Under crew.lock.
void growTo(Crew& crew, int threads, bool governed) {
  const int before = 1 + int(crew.helpers.size());
  threads = std::max(before, searchThreads(std::min(threads, int(kMostTallies))));
  {
    std::lock_guard<std::mutex> hold(crew.shared.lock);
    crew.shared.threads = threads;
  }
  for (int slot = before; slot < threads; ++slot) {
    bool started = roomForAnException();
    try {
      if (started) crew.helpers.emplace_back(help, &crew, size_t(slot), governed);
    } catch (const std::exception&) {
      started = false;
    }
    if (!started) {
      // The system grants no more threads: the walk goes on with those it has.
      std::lock_guard<std::mutex> hold(crew.shared.lock);
      crew.shared.threads = 1 + int(crew.helpers.size());
      break;
    }
  }
  crew.governor.threads = 1 + int(crew.helpers.size());
}

int64_t nanosecondsSince(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now() -
                                                              start)
      .count();
}

// Asks the governor how many threads the walk should have, once the clock has passed the crew's
// next look, and starts them; the first ones also once the first thread has entered enough
// folders. Reading the clock costs no system call; the processor time read at a look does.
void look(Worker& w) {
  Crew& crew = *w.crew;
  const bool begin = !crew.begun.load(std::memory_order_relaxed) &&
                     w.tally->folders.load(std::memory_order_relaxed) >= kFoldersBeforeThreads;
  const int64_t now = nanosecondsSince(crew.start);
  int64_t next = crew.nextLook.load(std::memory_order_relaxed);
  if (!begin && (now < next || !crew.nextLook.compare_exchange_strong(
                                   next, now + int64_t(kGovernorSeconds * 1e9)))) {
    return;
  }
  std::lock_guard<std::mutex> hold(crew.lock);
  if (begin) crew.begun.store(true, std::memory_order_relaxed);
  if (crew.governor.processors == 0) {
    // Counted only now: reading them takes system calls a small tree is spared.
    crew.governor = startGoverning(1, kMostThreads,
                                   int(std::clamp(std::thread::hardware_concurrency(), 1u, 1024u)));
  }
  const ProcessTimes times = processTimes();
  const WalkProgress counted = walkProgress();
  const int busy = crew.governor.threads - crew.shared.idle.load(std::memory_order_relaxed);
  int threads = govern(
      crew.governor, {double(now) * 1e-9, times.processorSeconds, times.waits, times.crowdedSeconds,
                      times.idleSeconds, busy, counted.files + counted.folders});
  if (begin) threads = std::max(threads, crew.governor.processors);
  if (threads <= 1 + int(crew.helpers.size())) return;
  crew.begun.store(true, std::memory_order_relaxed);  // started by waiting, not by its size
  growTo(crew, threads, true);
}

// Opens the listing of the folder `w.path`, whose first entry lands in `w.entry`. Returns false,
// the path cut back to `parentLength`, when the listing does not open.
bool list(Worker& w, size_t parentLength) {
  const size_t length = w.path.size();
  w.path += '\\';
  w.path += kListing;
  const intptr_t handle = findFirst(w.path.c_str(), &w.entry);
  w.path.resize(length);
  if (handle == -1) {
    noteFault(w.path);
    w.path.resize(parentLength);
    return false;
  }
  w.levels.push_back({handle, parentLength, false, false, {}});
  countFolder(*w.tally, w.path);
  if (w.crew != nullptr) look(w);
  return true;
}

// Checks the folder `name` below the folder `w.path` and opens its listing.
bool enter(Worker& w, const std::string& name) {
  const size_t parentLength = w.path.size();
  w.path += '\\';
  w.path += name;
  if (checkFolder(w.path.c_str(), true) && list(w, parentLength)) return true;
  w.path.resize(parentLength);
  return false;
}

// The folder of level `at`, as its listing's pattern named it.
size_t folderLength(const Worker& w, size_t at) {
  return at + 1 < w.levels.size() ? w.levels[at + 1].parentLength : w.path.size();
}

// Hands out the folder held furthest up, when a thread waits for one and none is handed out to it
// yet. A folder that cannot be handed out is kept, and entered as usual.
void handOut(Worker& w) {
  const auto holds = [&](const Level& level) { return !level.held.empty() && !level.kept; };
  while (w.heldFrom < w.levels.size() && !holds(w.levels[w.heldFrom])) ++w.heldFrom;
  if (w.heldFrom == w.levels.size()) return;
  Level& level = w.levels[w.heldFrom];
  std::string path = w.path.substr(0, folderLength(w, w.heldFrom));
  path += '\\';
  path += level.held;
  Shared& shared = *w.shared;
  {
    std::lock_guard<std::mutex> hold(shared.lock);
    const int room = shared.idle.load(std::memory_order_relaxed) - shared.promised;
    if (int(shared.handed.size()) >= room) return;
    ++shared.promised;
  }
  // Looked at outside the lock: it takes a system call.
  const intptr_t pass = findPass(level.handle, path.c_str());
  {
    std::lock_guard<std::mutex> hold(shared.lock);
    --shared.promised;
    if (pass != -1) shared.handed.push_back({pass, std::move(path)});
  }
  if (pass == -1) {
    level.kept = true;
    return;
  }
  level.held.clear();
  shared.wake.notify_one();
}

// The plain folder in `w.entry`, shown by the innermost listing: held when the listing holds none,
// else entered. Returns true when it was entered, its first entry in `w.entry`.
bool found(Worker& w) {
  if (w.shared->idle.load(std::memory_order_relaxed) > 0) handOut(w);
  Level& level = w.levels.back();
  if (!level.held.empty()) return enter(w, w.entry.name);
  level.held = w.entry.name;
  w.heldFrom = std::min(w.heldFrom, w.levels.size() - 1);
  return false;
}

// Moves `w.entry` to the next entry, leaving each listing that has ended once the folder it held
// has been walked. False when the thread's walk is done, or stopped, every listing then closed.
bool advance(Worker& w) {
  while (!w.levels.empty()) {
    if (walkStopped()) {
      for (; !w.levels.empty(); w.levels.pop_back()) findClose(w.levels.back().handle);
      return false;
    }
    Level& level = w.levels.back();
    if (!level.ended) {
      if (findNext(level.handle, &w.entry) == 0) return true;
      level.ended = true;
      if (noteFault(w.path)) continue;
    }
    if (!level.held.empty()) {
      const std::string name = std::move(level.held);
      level.held.clear();
      if (enter(w, name)) return true;
      continue;
    }
    findClose(level.handle);
    w.path.resize(level.parentLength);
    w.levels.pop_back();
    w.heldFrom = std::min(w.heldFrom, w.levels.size());
  }
  return false;
}

// Walks below the listing just opened, whose first entry is in `w.entry`.
void walkListed(Worker& w) {
  for (;;) {
    if (w.entry.name[0] != '.') {
      if (w.entry.attrib != kAttrDirectory) {
        countFile(*w.tally, w.entry.size);
      } else if (found(w)) {
        continue;  // the folder's first entry is the one to look at next
      }
    }
    if (!advance(w)) return;
  }
}

// Waits for a folder handed out, or for the end of the walk (false). A walk that was stopped ends
// for every thread, and the folders still handed out are taken, to be let go.
bool takeHanded(Shared& shared, Handed* handed) {
  std::unique_lock<std::mutex> hold(shared.lock);
  const int idle = shared.idle.load(std::memory_order_relaxed) + 1;
  shared.idle.store(idle, std::memory_order_relaxed);
  if ((idle == shared.threads && shared.handed.empty()) || walkStopped()) {
    shared.done = true;
    shared.wake.notify_all();
  }
  shared.wake.wait(hold, [&] { return shared.done || !shared.handed.empty(); });
  if (walkStopped()) {
    for (; !shared.handed.empty(); shared.handed.pop_back()) {
      findTake(shared.handed.back().pass, shared.handed.back().path.c_str());
    }
  }
  if (shared.handed.empty()) return false;
  *handed = std::move(shared.handed.back());
  shared.handed.pop_back();
  shared.idle.store(shared.idle.load(std::memory_order_relaxed) - 1, std::memory_order_relaxed);
  return true;
}

// Lists the folders handed out, until the walk is done.
void walkHanded(Worker& w) {
  Handed handed;
  while (takeHanded(*w.shared, &handed)) {
    w.path = std::move(handed.path);
    findTake(handed.pass, w.path.c_str());
    if (list(w, w.path.size())) walkListed(w);
  }
}

// Memory that runs out ends the walk; the thread then only sees the others out.
void help(Crew* crew, size_t slot, bool governed) {
  Worker w = {&crew->shared, governed ? crew : nullptr, &tallies[slot], {}, {}, 0, {}};
  try {
    walkHanded(w);
  } catch (const std::bad_alloc&) {
    stopWalk(kOutOfMemory, w.path);
    Handed handed;
    takeHanded(crew->shared, &handed);
  }
}

}  // namespace

double dirSizeOnThreads(const char* top, int threads) {
  Crew crew;
  crew.shared.promised = 0;
  crew.shared.idle.store(0);
  crew.shared.threads = 1;
  crew.shared.done = false;
  crew.governor = {};
  crew.start = std::chrono::steady_clock::now();
  crew.nextLook.store(int64_t(kGovernorSeconds * 1e9));
  crew.begun.store(threads != 0);
  if (!startWalk(top)) return dirTotal;
  Worker w = {&crew.shared, threads == 0 ? &crew : nullptr, &tallies[0], top, {}, 0, {}};
  if (!checkFolder(top, !namesAListing(w.path), true)) return endWalk(top) ? -2.0 : dirTotal;
  try {
    // Threads asked for by number are started at once, whatever the tree.
    if (threads > 1) {
      std::lock_guard<std::mutex> hold(crew.lock);
      growTo(crew, threads, false);
    }
    if (list(w, w.path.size())) walkListed(w);
    walkHanded(w);
  } catch (const std::bad_alloc&) {
    stopWalk(kOutOfMemory, w.path);
    Handed handed;
    takeHanded(crew.shared, &handed);
  }
  for (std::thread& helper : crew.helpers) helper.join();
  if (!endWalk(top)) return dirTotal;
  // Summed as integers, so the order in which the threads count cannot change a byte.
  dirTotal += toDouble(walkBytes());
  return dirTotal;
}
