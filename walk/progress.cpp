#include "walk/progress.h"

#include <mutex>

Tally tallies[kMostTallies];
std::atomic<bool> folderWanted{false};

namespace {

// The folder left for the display, under `lock`.
struct Left {
  std::mutex lock;
  std::string path;
};
Left left;

}  // namespace

void leaveFolder(const std::string& path) {
  if (!folderWanted.exchange(false, std::memory_order_relaxed)) return;
  std::lock_guard<std::mutex> hold(left.lock);
  left.path = path;
}

void resetTallies() {
  for (Tally& tally : tallies) {
    tally.files.store(0, std::memory_order_relaxed);
    tally.bytes.store(0, std::memory_order_relaxed);
    tally.carries.store(0, std::memory_order_relaxed);
    tally.folders.store(0, std::memory_order_relaxed);
  }
}

ByteCount walkBytes() {
  ByteCount sum = {0, 0};
  for (const Tally& tally : tallies) {
    const uint64_t low = tally.bytes.load(std::memory_order_relaxed);
    sum.low += low;
    sum.high += tally.carries.load(std::memory_order_relaxed) + (sum.low < low ? 1 : 0);
  }
  return sum;
}

// A double holds 53 bits: of a count past 64 bits, the top 64 are rounded by the conversion, the
// bits below them standing in as one sticky bit, which decides only a tie and so rounds as the
// whole count would.
double toDouble(const ByteCount& count) {
  if (count.high == 0) return double(count.low);
  int shift = 0;
  while (shift < 64 && (count.high >> shift) != 0) ++shift;
  const uint64_t top =
      shift == 64 ? count.high : (count.high << (64 - shift)) | (count.low >> shift);
  const uint64_t below = shift == 64 ? count.low : count.low & ((uint64_t(1) << shift) - 1);
  // A power of two is exact as a double; std::ldexp would bring libm, and its loading, along.
  const double scale = shift == 64 ? 18446744073709551616.0 : double(uint64_t(1) << shift);
  return double(top | (below != 0 ? 1 : 0)) * scale;
}

WalkProgress walkProgress() {
  WalkProgress sum = {0, 0, toDouble(walkBytes())};
  for (const Tally& tally : tallies) {
    sum.files += tally.files.load(std::memory_order_relaxed);
    sum.folders += tally.folders.load(std::memory_order_relaxed);
  }
  return sum;
}

std::string walkedFolder() {
  std::string path;
  {
    std::lock_guard<std::mutex> hold(left.lock);
    path = left.path;
  }
  folderWanted.store(true, std::memory_order_relaxed);
  return path;
}
