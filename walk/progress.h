// What a walk under way has counted, for a display of its progress on another thread. Each
// walking thread keeps a tally of its own, which it alone writes, with plain loads and stores
// that cost what counting in a local would; the display only reads. Nothing here draws.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>

// One walking thread's counts so far: the entries it counted into the total, their bytes, and
// the folders it listed. The bytes are a sum of 128 bits, `carries` its upper half, so that no
// tree, however large its files, wraps it. Aligned apart, so that two threads never write one
// cache line.
struct alignas(64) Tally {
  std::atomic<uint64_t> files;
  std::atomic<uint64_t> bytes;
  std::atomic<uint64_t> carries;
  std::atomic<uint64_t> folders;
};

// The tallies of a walk's threads, the first thread's first; a walk takes at most this many.
const size_t kMostTallies = 256;
extern Tally tallies[kMostTallies];

inline void add(std::atomic<uint64_t>& count, uint64_t amount) {
  count.store(count.load(std::memory_order_relaxed) + amount, std::memory_order_relaxed);
}

inline void countFile(Tally& tally, uint64_t size) {
  add(tally.files, 1);
  const uint64_t bytes = tally.bytes.load(std::memory_order_relaxed) + size;
  tally.bytes.store(bytes, std::memory_order_relaxed);
  if (bytes < size) add(tally.carries, 1);
}

// Set by the display when it wants to show a folder being walked; the next thread that lists a
// folder clears it and leaves its path for walkedFolder.
extern std::atomic<bool> folderWanted;
void leaveFolder(const std::string& path);

// A folder listed: counted, and its path left for the display when it asks for one.
inline void countFolder(Tally& tally, const std::string& path) {
  add(tally.folders, 1);
  if (folderWanted.load(std::memory_order_relaxed)) leaveFolder(path);
}

// Zeroes every tally, before a walk starts.
void resetTallies();

// A number of bytes that no sum of file sizes outgrows: high x 2^64 + low.
struct ByteCount {
  uint64_t high;
  uint64_t low;
};

// All the walk's threads' bytes together, exactly.
ByteCount walkBytes();

// `count` as the nearest double, rounded once, ties to even.
double toDouble(const ByteCount& count);

// The counts of all the walk's threads together.
struct WalkProgress {
  uint64_t files;
  uint64_t folders;
  double bytes;
};
WalkProgress walkProgress();

// The folder a thread left when last asked, and asks for a newer one; empty before any.
std::string walkedFolder();
