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
    tally.folders.store(0, std::memory_order_relaxed);
  }
}

WalkProgress walkProgress() {
  WalkProgress sum = {0, 0, 0};
  for (const Tally& tally : tallies) {
    sum.files += tally.files.load(std::memory_order_relaxed);
    sum.folders += tally.folders.load(std::memory_order_relaxed);
    sum.bytes += tally.bytes.load(std::memory_order_relaxed);
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
