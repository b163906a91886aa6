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

// A machine whose processors are idle less than this share of the time has none to spare: more
// threads would only queue for them, whether for the walk's work or the file system's.
const double kSpareShare = 0.05;

}  // namespace

Governor startGoverning(int threads, int most, int processors) {
  Governor governor = {};
  governor.threads = threads;
  governor.most = most;
  governor.processors = std::max(processors, 1);
  // The process's times count from its start, the machine's from its own: until the walk has
  // looked at it once, its idle time has nothing to be measured from.
  governor.last.idleSeconds = governor.grown.idleSeconds = -1;
  return governor;
}

int govern(Governor& governor, const WalkSample& now) {
  const WalkSample last = governor.last;
  const double seconds = now.seconds - last.seconds;
  if (seconds < kGovernorSeconds) return governor.threads;
  governor.last = now;
  if (now.busy <= 0 || 2 * now.busy < governor.threads || governor.threads >= governor.most) {
    if (governor.grown.idleSeconds < 0) governor.grown = now;
    return governor.threads;
  }
  const int usable = std::min(now.busy, governor.processors);
  const double share = (now.processorSeconds - last.processorSeconds) / seconds / usable;
  const bool waitsOften = now.waits < 0 || last.waits < 0 ||
                          double(now.waits - last.waits) >= kWaitsPerSecond * seconds * now.busy;
  // The machine's idle time counts in coarse ticks: measured since the threads last changed.
  const WalkSample& grown = governor.grown;
  const bool spare = now.idleSeconds < 0 || grown.idleSeconds < 0 ||
                     now.idleSeconds - grown.idleSeconds >=
                         kSpareShare * (now.seconds - grown.seconds) * governor.processors;
  if (grown.idleSeconds < 0) governor.grown = now;
  if (!waitsOften || !spare || share >= kWaitingShare) return governor.threads;
  const int factor = share < kBarelyWorking ? 8 : share < kHardlyWorking ? 4 : 2;
  governor.threads =
      std::min(governor.most, std::max(factor * governor.threads, governor.processors));
  governor.grown = now;
  return governor.threads;
}
