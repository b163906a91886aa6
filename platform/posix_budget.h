// The descriptor budget of the POSIX search: however deep the walk and whatever the limits, the
// layer holds a small fixed number of open folders. Past the budget the outermost bases give up
// their folders, having first read the rest of their listings; a base is found again from the
// base below it, through "..", when the walk comes back to it, or, when that child has been moved
// elsewhere meanwhile, by its path from the nearest base that holds its folder, and goes on from
// the entries it kept, its folder needed again only to look at them. No offset of a folder is
// ever trusted across two opens: overlayfs and FUSE file systems may give one another meaning, or
// refuse it.
#pragma once

#include <cstddef>

#include "platform/posix_search.h"

// `held` counts every descriptor the layer has open: listings' folders and the check's. It stays
// at most `limit` while a base other than the innermost holds a folder to give up, which is
// always so for the walk, whose listings are all bases. `limit` starts at kFolderBudget and is
// lowered to what the system granted when an open fails for want of descriptors. No base from
// the second on the chain up to `lowest` holds its folder: the outermost base is given up last,
// since every other one can be found by its path from it.
struct Budget {
  size_t limit;
  size_t held;
  size_t lowest;
};

const size_t kFolderBudget = 64;

// openat within the budget: first gives up the outermost base's folder when the budget is full,
// and again while the system has no descriptor left. Neither the innermost base nor `dirFd` is
// given up. Returns the descriptor, or -1.
int openCounted(Budget& budget, Slots& slots, const Bases& bases, Pool& pool, int dirFd,
                const char* path, int flags);

void closeCounted(Budget& budget, int fd);

// Finds the folder of base `level`, given up, again from the base below it, which still holds
// its own, or else by its path; a folder that is not found either way as the same folder leaves
// the listing lost. Does nothing for a base that holds its folder or is lost.
void findAgain(Budget& budget, Slots& slots, const Bases& bases, Pool& pool, size_t level);
