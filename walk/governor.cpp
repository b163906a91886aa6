#include "walk/governor.h"

#include <algorithm>

namespace {

// Busy threads that keep less than this share of the processors they could use busy wait on the
// system for much of their time.
const double kWaitingShare = 0.8;

// Busy threads that keep less than these shares busy hardly work at all: four times as many would
// still wait, or eight times.
const double kHardlyWorking = 0.3;
const double kBarelyWorking = 0.06;

// A thread that waits on the system waits far more often than this a second: a disk's read, a
// request to a FUSE daemon or a server. One that is only kept from a processor by others is
// preempted, which is not a wait.
const double kWaitsPerSecond = 200;

// Where waits are not counted, twice as many threads must make the walk this much faster.
const double kProves = 1.5;

// A machine on which some task waited for a processor this share of the time or more, or whose
// processors were idle less than the other share, has none to spare: more threads would only
// queue for them, whether for the walk's work or the file system's (a FUSE daemon's, ssh's).
const double kCrowdedShare = 0.8;
const double kSpareShare = 0.1;

}  // namespace

Governor startGoverning(int threads, int most, int processors) {
  Governor governor = {};
  governor.threads = threads;
  governor.most = most;
  governor.processors = std::max(processors, 1);
  // The process's times count from its start, the machine's from the machine's: the walk's first
  // look has nothing to measure the latter from.
  governor.grown.crowdedSeconds = governor.grown.idleSeconds = -1;
  return governor;
}

int govern(Governor& governor, const WalkSample& now) {
  if (now.seconds - governor.last.seconds < kGovernorSeconds) return governor.threads;
  governor.last = now;
  if (now.busy <= 0 || 2 * now.busy < governor.threads || governor.threads >= governor.most) {
    return governor.threads;
  }
  // Measured since the threads last grew, or since the walk started: the longer the threads have
  // been as many as they are, the better their time is known.
  const WalkSample& grown = governor.grown;
  const double seconds = now.seconds - grown.seconds;
  const int usable = std::min(now.busy, governor.processors);
  const double share = (now.processorSeconds - grown.processorSeconds) / seconds / usable;
  const bool waitsOften =
      now.waits < 0 || double(now.waits - grown.waits) >= kWaitsPerSecond * seconds * now.busy;
  // The machine's times are unknown before the walk's first look; its idle time counts in coarse
  // ticks, and is read only where the precise pressure is not told.
  bool spare = true;
  if (now.crowdedSeconds >= 0 && grown.crowdedSeconds >= 0) {
    spare = now.crowdedSeconds - grown.crowdedSeconds < kCrowdedShare * seconds;
  } else if (now.idleSeconds >= 0 && grown.idleSeconds >= 0) {
    spare = now.idleSeconds - grown.idleSeconds >= kSpareShare * seconds * governor.processors;
  }
  // Threads just started have barely begun to work: more are judged by at least two intervals.
  const bool judged = governor.threads == 1 || seconds >= 2 * kGovernorSeconds;
  if (!judged) return governor.threads;
  const double rate = double(now.entries - grown.entries) / seconds;
  if (governor.trying) {
    governor.trying = false;
    governor.settled = rate < kProves * governor.rateBefore;
  }
  if (governor.settled || !waitsOften || !spare || share >= kWaitingShare) return governor.threads;
  // The first look's share counts the process's start too: a single thread that waits often at
  // all is taken to hardly work.
  const int factor = now.waits < 0                                     ? 2
                     : governor.threads == 1 || share < kBarelyWorking ? 8
                     : share < kHardlyWorking                          ? 4
                                                                       : 2;
  governor.threads =
      std::min(governor.most, std::max(factor * governor.threads, governor.processors));
  governor.grown = now;
  governor.trying = now.waits < 0;
  governor.rateBefore = rate;
  return governor.threads;
}
