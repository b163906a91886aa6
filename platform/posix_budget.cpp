#include "platform/posix_budget.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>

namespace {

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
  if (budget.held >= budget.limit) giveUpOutermost(budget, slots, bases, pool, dirFd);
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
