// How many threads a walk keeps, decided from what it does: more while its threads wait on the
// file system (a cold disk, a share on a network, a FUSE file system) and the machine has
// processors to spare for more of them and for the file system's own work; no more while they
// keep the processors busy, as with the cache warm, where more threads only take turns. Nothing
// here touches the system or the threads: the walk looks at itself now and then, and asks.
#pragma once

#include <cstdint>

// What the walk has done so far, as it looks at itself: `seconds` of wall time since it started,
// `processorSeconds` its process has used and the `waits` of its threads on the system (-1 where
// they are not counted), how long the machine's tasks have waited for a processor
// (`crowdedSeconds`) or its processors have been idle (`idleSeconds`), -1 where unknown, and the
// threads that are `busy` walking rather than waiting for a folder to walk.
struct WalkSample {
  double seconds;
  double processorSeconds;
  int64_t waits;
  double crowdedSeconds;
  double idleSeconds;
  int busy;
  uint64_t entries;  // counted so far
};

// A walk's threads: `threads` now, at most `most`, on a machine of `processors`. `last` is the
// sample the last decision took, `grown` the one the threads last grew at (or the walk's start,
// the machine's times unknown there). Where the system does not count waits, a growth is `trying`
// until it has proved to pay against the `rateBefore` it, in entries a second; once one has not,
// the walk is `settled`.
struct Governor {
  int threads;
  int most;
  int processors;
  WalkSample last;
  WalkSample grown;
  bool trying;
  double rateBefore;
  bool settled;
};

// A governor for a walk that starts now on `threads`.
Governor startGoverning(int threads, int most, int processors);

// The threads the walk should have, given `now`, at least as many as it has. Measured since the
// threads last grew: more while at least half of them are busy, yet use less than four fifths of
// the processors they could, because they wait on the system (they wait often) and not for
// processors that others hold, and the machine has had processors to spare. Twice as many, or four
// times where they hardly work, or eight; eight from one thread. Where the waits are not counted
// (Windows), where any call through a server looks like one (Wine), twice as many at a time, and
// only while each doubling has made the walk half as fast again. A sample taken less than
// kGovernorSeconds after the last one decides nothing, nor one taken less than two such intervals
// after the threads grew, whose newest threads have barely begun.
int govern(Governor& governor, const WalkSample& now);

// How far apart the samples that decide are: long enough that a handful of folders do not decide
// alone, short enough that a walk that waits has its threads within a tenth of a second.
const double kGovernorSeconds = 0.01;
