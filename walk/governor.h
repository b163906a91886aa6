// How many threads a walk keeps, decided from what it does: more while its threads wait on the
// file system (a cold disk, a share on a network, a FUSE file system), as long as more of them
// make it go faster; no more while they keep the processors busy, as with the cache warm, where
// more threads only take turns. Nothing here touches the system or the threads: the walk looks at
// itself now and then, and asks.
#pragma once

#include <cstdint>

// What the walk has done so far, as it looks at itself: `seconds` of wall time since it started,
// `processorSeconds` its process has used and the `waits` of its threads on the system (-1 where
// they are not counted), the `entries` it has counted, and the threads that are `busy` walking
// rather than waiting for a folder to walk.
struct WalkSample {
  double seconds;
  double processorSeconds;
  int64_t waits;
  uint64_t entries;
  int busy;
};

// A walk's threads: `threads` now, at most `most`, on `processors`. `last` is the sample the last
// decision took. A growth that has not yet been judged is `trying`, the walk having counted
// `rateBefore` entries a second before it; once more threads stopped paying the walk is
// `settled`, and keeps the threads it has.
struct Governor {
  int threads;
  int most;
  int processors;
  WalkSample last;
  bool trying;
  double rateBefore;
  bool settled;
};

// A governor for a walk that starts now on `threads`.
Governor startGoverning(int threads, int most, int processors);

// The threads the walk should have, given `now`, at least as many as it has: twice as many while
// its busy threads keep less than half of the processors they could use busy, because they wait
// on the system (they wait often) and not for processors that others hold, and the last doubling
// made the walk faster. A sample taken less than kGovernorSeconds after the last one decides
// nothing.
int govern(Governor& governor, const WalkSample& now);

// How far apart the samples that decide are: long enough that a handful of folders do not decide
// alone, short enough that a walk that waits reaches its pace in a fraction of a second.
const double kGovernorSeconds = 0.02;
