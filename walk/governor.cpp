#include "walk/governor.h"

#include <algorithm>

namespace {

// Busy threads that keep less than this share of the processors they could use busy spend most
// of their time waiting on the system.
const double kWaitingShare = 0.5;

// More threads pay when the walk counts at least this much faster with them.
const double kPays = 1.1;

// A thread that waits on the system waits far more often than this a second: a disk's read, a
// request to a FUSE daemon or a server. One that is only kept from a processor by others is
// preempted, which is not a wait.
const double kWaitsPerSecond = 200;

}  // namespace

Governor startGoverning(int threads, int most, int processors) {
  return {threads, most, std::max(processors, 1), {0, 0, 0, 0, 0}, false, 0, false};
}

int govern(Governor& governor, const WalkSample& now) {
  const WalkSample& last = governor.last;
  const double seconds = now.seconds - last.seconds;
  if (seconds < kGovernorSeconds) return governor.threads;
  const double used = (now.processorSeconds - last.processorSeconds) / seconds;
  const double rate = double(now.entries - last.entries) / seconds;
  const bool waitsOften = now.waits < 0 || last.waits < 0 ||
                          double(now.waits - last.waits) >= kWaitsPerSecond * seconds * now.busy;
  const bool waiting = now.busy > 0 && 2 * now.busy >= governor.threads && waitsOften &&
                       used < kWaitingShare * std::min(now.busy, governor.processors);
  governor.last = now;
  if (governor.trying) {
    // The threads added have walked a whole interval: judged by what the walk did in it.
    governor.trying = false;
    if (rate < kPays * governor.rateBefore) governor.settled = true;
  }
  if (governor.settled || !waiting || governor.threads >= governor.most) return governor.threads;
  governor.trying = true;
  governor.rateBefore = rate;
  governor.threads = std::min(governor.most, std::max(2 * governor.threads, governor.processors));
  return governor.threads;
}
