#include "platform/posix_budget.h"

#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <vector>

#include "platform/platform.h"

namespace {

// Each searching thread's share of the descriptors: the whole budget for one thread. Set before
// the threads start and only read while they search.
size_t folderShare = kFolderBudget;

// What the least share holds: the innermost listing, the check of its child, and one to give up.
const size_t kLeastShare = 3;

// The descriptors the process can still open. Below a limit low enough to matter they are
// counted, with one poll that reports POLLNVAL for each one not open; above it, the three
// standard streams are taken to be all that is open.
size_t descriptorsLeft() {
  rlimit limit;
  if (getrlimit(RLIMIT_NOFILE, &limit) != 0) return 0;
  const rlim_t kCounted = 4 * kFolderBudget;
  if (limit.rlim_cur >= kCounted) return size_t(limit.rlim_cur) - 3;
  std::vector<pollfd> fds(limit.rlim_cur);
  for (size_t fd = 0; fd < fds.size(); ++fd) fds[fd] = {int(fd), 0, 0};
  if (poll(fds.data(), nfds_t(fds.size()), 0) < 0) return 0;
  return size_t(std::count_if(fds.begin(), fds.end(),
                              [](const pollfd& p) { return (p.revents & POLLNVAL) != 0; }));
}

// Finding the folder again needs its identity: without it the folder could never be told apart
// from another, so it is lost.
void giveUp(Budget& budget, Pool& pool, Search& search) {
  struct stat st;
  if (fstat(search.fd, &st) == 0) {
    search.away = {st.st_dev, st.st_ino};
    keepRest(pool, search.reads, search.fd);
  } else {
    search.lost = true;
  }
  closeCounted(budget, search.fd);
  search.fd = -1;
}

// The walk is depth first: the outermost folders are the ones it comes back to last.
bool giveUpOutermost(Budget& budget, Slots& slots, const Bases& bases, Pool& pool, int keep) {
  budget.lowest = std::min(budget.lowest, bases.open.size());
  bool below = true;  // no base from `lowest` to here holds its folder
  for (size_t i = budget.lowest; i + 1 < bases.open.size(); ++i) {
    Search& search = slots.searches[bases.open[i].slot];
    if (search.fd >= 0 && search.fd != keep) {
      giveUp(budget, pool, search);
      if (below) budget.lowest = i + 1;
      return true;
    }
    below = below && search.fd < 0;
    if (below) budget.lowest = i + 1;
  }
  return false;
}

}  // namespace

int openCounted(Budget& budget, Slots& slots, const Bases& bases, Pool& pool, int dirFd,
                const char* path, int flags) {
  if (budget.held >= std::min(budget.limit, folderShare)) {
    giveUpOutermost(budget, slots, bases, pool, dirFd);
  }
  for (;;) {
    const int fd = openat(dirFd, path, flags);
    if (fd >= 0) {
      ++budget.held;
      return fd;
    }
    if ((errno != EMFILE && errno != ENFILE) ||
        !giveUpOutermost(budget, slots, bases, pool, dirFd)) {
      return -1;
    }
    // The system grants no more than were held: stay within that from now on, without asking.
    budget.limit = budget.held + 1;
  }
}

void closeCounted(Budget& budget, int fd) {
  close(fd);
  --budget.held;
}

void findAgain(Budget& budget, Slots& slots, const Bases& bases, Pool& pool, size_t level) {
  Search& search = slots.searches[bases.open[level].slot];
  if (search.fd >= 0 || search.lost || level + 1 >= bases.open.size()) return;
  const int below = slots.searches[bases.open[level + 1].slot].fd;
  const int fd = below < 0 ? -1
                           : openCounted(budget, slots, bases, pool, below, "..",
                                         O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  struct stat st;
  if (fd >= 0 && fstat(fd, &st) == 0 && st.st_dev == search.away.device &&
      st.st_ino == search.away.inode) {
    search.fd = fd;
    budget.lowest = std::min(budget.lowest, level);
    return;
  }
  if (fd >= 0) closeCounted(budget, fd);
  search.lost = true;
}

// A thread may hold one descriptor past its share (its innermost listing and the check of a child
// cannot be given up), and every thread but one may have passed a folder that waits to be taken.
// So T threads of share S hold at most T x (S + 1) + T - 1, which must fit what is left and the
// budget with two more a thread: S = (min(left, budget + 2T) + 1) / T - 2, at least kLeastShare.
int searchThreads(int wanted) {
  const size_t left = descriptorsLeft();
  size_t threads = std::max<size_t>(
      1, std::min<size_t>(size_t(std::max(wanted, 1)), (left + 1) / (kLeastShare + 2)));
  size_t share = kFolderBudget;
  while (threads > 1) {
    share = (std::min(left, kFolderBudget + 2 * threads) + 1) / threads - 2;
    if (share >= kLeastShare) break;
    --threads;
  }
  folderShare = threads > 1 ? share : kFolderBudget;
  return int(threads);
}
