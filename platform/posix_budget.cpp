#include "platform/posix_budget.h"

#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "platform/posix_path.h"

namespace {

// Each searching thread's share of the descriptors: the whole budget for one thread. Set as the
// threads start, whose next opens keep within it.
std::atomic<size_t> folderShare{kFolderBudget};

// What the least share holds: the innermost listing, the check of its child, and one to give up.
const size_t kLeastShare = 3;

// What each thread of several holds beyond its part of the budget: enough that a thread walking
// a tree of a common depth below the folder handed to it seldom gives a folder up.
const size_t kFewPerThread = 6;

// The descriptors left to the walk's threads, counted at the first division among them, when
// the walk holds no more than one thread's: counted again later, what they hold would look taken.
size_t walkDescriptors = 0;

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
    search.lostError = errno;
  }
  closeCounted(budget, search.fd);
  search.fd = -1;
}

// The walk is depth first: the outermost folders are the ones it comes back to last. The
// outermost of all goes last, as the one the others are found from by their paths.
bool giveUpOutermost(Budget& budget, Slots& slots, const Bases& bases, Pool& pool, int keep) {
  budget.lowest = std::max<size_t>(1, std::min(budget.lowest, bases.open.size()));
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
  if (bases.open.size() < 2) return false;
  Search& outermost = slots.searches[bases.open[0].slot];
  if (outermost.fd < 0 || outermost.fd == keep) return false;
  giveUp(budget, pool, outermost);
  return true;
}

const int kFolderFlags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;

// The folder of base `level` opened anew by its path, one name at a time from the nearest base
// above it that holds its folder, or from the root. Each base below the first lies directly below
// the one before it, so what its folder adds to the one before is exactly one name, taken whole.
// Returns -1, errno set, when a folder on the way cannot be opened.
int openByPath(Budget& budget, Slots& slots, const Bases& bases, Pool& pool, size_t level) {
  size_t from = level;
  while (from > 0 && slots.searches[bases.open[from - 1].slot].fd < 0) --from;
  int fd = from > 0 ? slots.searches[bases.open[from - 1].slot].fd : -1;
  for (size_t at = from; at <= level; ++at) {
    const size_t start = at > 0 ? bases.open[at - 1].folderLength + 1 : 0;
    std::string name = bases.folder.substr(start, bases.open[at].folderLength - start);
    if (at == 0) name = fileSystemPath(name.c_str());  // the outermost, from the root
    if (name.empty()) name = ".";
    const int next =
        openCounted(budget, slots, bases, pool, at > 0 ? fd : AT_FDCWD, name.c_str(), kFolderFlags);
    const int error = errno;
    if (at > from) closeCounted(budget, fd);
    errno = error;
    if (next < 0) return -1;
    fd = next;
  }
  return fd;
}

bool isFolder(int fd, const Away& away) {
  struct stat st;
  return fd >= 0 && fstat(fd, &st) == 0 && st.st_dev == away.device && st.st_ino == away.inode;
}

}  // namespace

int openCounted(Budget& budget, Slots& slots, const Bases& bases, Pool& pool, int dirFd,
                const char* path, int flags) {
  if (budget.held >= std::min(budget.limit, folderShare.load(std::memory_order_relaxed))) {
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

// A folder that is not itself any more (moved, replaced) cannot be told from what took its
// place: the search is lost rather than have it count the wrong entries or miss the right ones.
void findAgain(Budget& budget, Slots& slots, const Bases& bases, Pool& pool, size_t level) {
  Search& search = slots.searches[bases.open[level].slot];
  if (search.fd >= 0 || search.lostError != 0 || level + 1 >= bases.open.size()) return;
  const int below = slots.searches[bases.open[level + 1].slot].fd;
  int fd = below < 0 ? -1
                     : openCounted(budget, slots, bases, pool, below, "..",
                                   O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (!isFolder(fd, search.away)) {
    if (fd >= 0) closeCounted(budget, fd);
    fd = openByPath(budget, slots, bases, pool, level);
    const int error = fd < 0 ? errno : ENOENT;
    if (!isFolder(fd, search.away)) {
      if (fd >= 0) closeCounted(budget, fd);
      search.lostError = error != 0 ? error : ENOENT;
      return;
    }
  }
  search.fd = fd;
  budget.lowest = std::min(budget.lowest, level);
}

// A thread may hold one descriptor past its share (its innermost listing and the check of a child
// cannot be given up), and every thread but one may have passed a folder that waits to be taken.
// So T threads of share S hold at most T x (S + 1) + T - 1, which must fit what is left: each
// holds its part of the budget and kFewPerThread more, S = (budget + few x T) / T, at most the
// budget, at most (left + 1) / T - 2, and at least kLeastShare, which bounds T. Asked again as a
// walk grows, it grants at least what it granted before.
int searchThreads(int wanted) {
  if (walkDescriptors == 0) walkDescriptors = std::max<size_t>(descriptorsLeft(), 1);
  const size_t left = walkDescriptors;
  const size_t threads = std::max<size_t>(
      1, std::min<size_t>(size_t(std::max(wanted, 1)), (left + 1) / (kLeastShare + 2)));
  size_t share = kFolderBudget;
  if (threads > 1) {
    share = std::min(kFolderBudget, (kFolderBudget + kFewPerThread * threads) / threads);
    share = std::max(kLeastShare, std::min(share, (left + 1) / threads - 2));
  }
  folderShare.store(share, std::memory_order_relaxed);
  return int(threads);
}
