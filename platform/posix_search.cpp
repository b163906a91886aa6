// The directory search on Linux: drive-letter patterns resolved onto the file system, and the
// services over the tables of posix_search.h. Listings are read by posix_listing.cpp; the folders
// they hold stay within the budget of posix_budget.cpp.
#include "platform/posix_search.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cstring>
#include <new>
#include <string>

#include "platform/platform.h"
#include "platform/posix_budget.h"
#include "platform/posix_path.h"

namespace {

// The folder that the last check opened (-1 when none), kept for the listing that the walk asks
// for next: the listing then costs no second lookup by name and lists the very folder that was
// checked, even if a link has replaced it since. Any next search takes it or closes it, and so
// does closing a base, so the bases are the check's own while it is kept.
// A folder handed over by another thread is not opened yet: its listing opens it, as `child`
// below `parent`, the folder of the listing it was shown in, open while it waits (-1 when none).
struct Checked {
  int fd;
  bool below;        // resolved below the innermost base
  std::string name;  // what named the folder: below a base its own name, else the whole pattern
  int parent;
  std::string child;
};

// A folder handed to another thread (findPass): its name in the folder `parent`, held open.
struct Pass {
  int parent;
  std::string name;
};

// What the layer remembers between calls: the tables of posix_search.h, the budget and the check.
// Only the services and their two halves, openListing and lookUp, touch a State; every other
// function is handed what it uses. Each thread has its own: searches on several threads share
// nothing but the budget's share (posix_budget.cpp), so no lock sits on their path. Every State
// made stays on the list `everyState`, through `earlier`, to the end of the process.
struct State {
  Slots slots;
  Bases bases;
  Pool pool;
  Budget budget;
  Checked checked;
  State* earlier;
};

// A thread's State is made at its first search. A thread_local object with a destructor would
// have the C library register it there instead, which ends the process at once when memory has
// run out.
thread_local State* current = nullptr;
std::atomic<State*> everyState{nullptr};

// What the last search that came to nothing ran into (searchFault).
thread_local SearchFault lastFault = {0, false};

// The calling thread's State, or null when there is no memory for one.
State* stateOfThread() {
  if (current == nullptr) {
    current = new (std::nothrow)
        State{{}, {}, {{}, 0, 0, 0}, {kFolderBudget, 0, 0}, {-1, false, {}, -1, {}}, nullptr};
    if (current == nullptr) return nullptr;
    current->earlier = everyState.load(std::memory_order_relaxed);
    while (
        !everyState.compare_exchange_weak(current->earlier, current, std::memory_order_relaxed)) {
    }
  }
  return current;
}

intptr_t handleOf(size_t slot) {
  return intptr_t(slot) + 1;
}

Search* searchOf(Slots& slots, intptr_t handle) {
  if (handle < 1 || size_t(handle) > slots.searches.size()) return nullptr;
  Search& search = slots.searches[size_t(handle) - 1];
  return search.open ? &search : nullptr;
}

// A search of its own kind, holding no folder yet.
size_t takeSlot(Slots& slots, bool listing) {
  size_t slot = slots.searches.size();
  if (slots.closed.empty()) {
    slots.searches.emplace_back();
  } else {
    slot = slots.closed.back();
    slots.closed.pop_back();
  }
  Search& search = slots.searches[slot];
  search.open = true;
  search.listing = listing;
  search.isBase = false;
  search.lostError = 0;
  search.fd = -1;
  return slot;
}

void releaseSlot(Slots& slots, size_t slot) {
  slots.searches[slot].open = false;
  slots.closed.push_back(slot);
}

void dropChecked(Checked& checked, Budget& budget) {
  if (checked.fd >= 0) closeCounted(budget, checked.fd);
  if (checked.parent >= 0) closeCounted(budget, checked.parent);
  checked.fd = checked.parent = -1;
}

// Where findFirst's pattern leads. Below an open listing its parts point into the pattern itself,
// so the hot path copies no path; from the root they point into the strings of a Translation.
struct Target {
  bool found;  // false: the pattern names another drive, or its final component is empty
  bool below;  // resolved below the innermost base, from its open folder
  int baseFd;
  const char* folder;  // relative to baseFd, `folderLength` bytes; none for the base folder itself
  size_t folderLength;
  const char* last;  // the final component, NUL-terminated
  bool literal;      // `last` is a name even if it reads "*.*"
  size_t lastStart;  // where the final component starts in the pattern
};

struct Translation {
  std::string folder, last;
};

// Below the innermost base the walk asks for an entry it was given, by name, or for that entry's
// listing ("name\*.*"). A Linux name may hold '\', '*' or '?', so it is taken whole either way:
// never split into components, never matched as a wildcard. A name may even end in "\*.*"; with
// `listing` false the whole of `rest` is the name.
Target resolveBelow(const char* pattern, const char* rest, int baseFd, bool listing = true) {
  const size_t length = strlen(rest);
  listing = listing && length > 4 && isSeparator(rest[length - 4]) &&
            strcmp(rest + length - 3, "*.*") == 0;
  Target target = {};
  target.below = true;
  target.baseFd = baseFd;
  target.folder = rest;
  target.folderLength = listing ? length - 4 : 0;
  target.last = listing ? rest + length - 3 : rest;
  target.found = target.last[0] != '\0';
  target.literal = !listing;
  target.lastStart = size_t(target.last - pattern);
  return target;
}

// From the innermost base when the pattern lies directly below its folder, else from the working
// directory or the root, through `translation`.
Target resolve(const char* pattern, const Slots& slots, const Bases& bases,
               Translation* translation) {
  const size_t n = bases.folder.size();
  if (!bases.open.empty() && n > 0 && strncmp(pattern, bases.folder.data(), n) == 0 &&
      isSeparator(pattern[n])) {
    return resolveBelow(pattern, pattern + n + 1, slots.searches[bases.open.back().slot].fd);
  }
  Target target = {};
  target.found = translatePattern(pattern, &translation->folder, &translation->last);
  target.baseFd = AT_FDCWD;
  target.folder = translation->folder.c_str();
  target.folderLength = translation->folder.size();
  target.last = translation->last.c_str();
  target.lastStart = lastComponent(pattern);
  return target;
}

// The folder that the last check opened, or was handed over, when it named the listing's folder,
// the first `length` bytes of `name`; else -1, `named` false. A folder handed over is opened now,
// as the check that found it a plain folder: -1 with errno set, `named` true, when it is not.
int takeChecked(State& state, bool below, const char* name, size_t length, bool* named) {
  Checked& checked = state.checked;
  *named = (checked.fd >= 0 || checked.parent >= 0) && checked.below == below &&
           checked.name.size() == length && memcmp(checked.name.data(), name, length) == 0;
  if (!*named) {
    dropChecked(checked, state.budget);
    return -1;
  }
  int fd = checked.fd;
  checked.fd = -1;
  if (checked.parent >= 0) {
    fd = openCounted(state.budget, state.slots, state.bases, state.pool, checked.parent,
                     checked.child.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    const int error = errno;
    closeCounted(state.budget, checked.parent);
    checked.parent = -1;
    errno = error;
  }
  return fd;
}

bool namesTheChecked(const Checked& checked, const Target& target) {
  return checked.fd >= 0 && checked.below && checked.name.size() == target.folderLength &&
         memcmp(checked.name.data(), target.folder, target.folderLength) == 0;
}

// Only a listing that extends the innermost base can resolve below itself; another one leaves the
// bases as they are, and patterns below it resolve from the root.
void pushBase(Bases& bases, size_t slot, const char* pattern, size_t folderLength, bool below) {
  if (below) {
    // Below the innermost base, only this folder's own name is new.
    bases.folder.append(pattern + bases.folder.size(), folderLength - bases.folder.size());
  } else {
    bases.folder.assign(pattern, folderLength);
  }
  bases.open.push_back({slot, folderLength});
}

void popBase(Bases& bases, Budget& budget, size_t level) {
  bases.open.erase(bases.open.begin() + long(level));
  if (level < budget.lowest) --budget.lowest;
  if (!bases.open.empty()) bases.folder.resize(bases.open.back().folderLength);
}

// The base's place on the chain, sought from the innermost, where the walk's always is.
size_t levelOf(const Bases& bases, size_t slot) {
  size_t level = bases.open.size() - 1;
  while (level > 0 && bases.open[level].slot != slot) --level;
  return level;
}

intptr_t openListing(State& state, const char* pattern, const Target& target, c_file* entry) {
  // A pattern without a separator before its "*.*" resolves nothing below it.
  const size_t folderLength = target.lastStart > 0 ? target.lastStart - 1 : 0;
  bool named = false;
  int fd = target.below ? takeChecked(state, true, target.folder, target.folderLength, &named)
                        : takeChecked(state, false, pattern, folderLength, &named);
  if (fd < 0 && !named) {
    const std::string folder =
        target.folderLength > 0 ? std::string(target.folder, target.folderLength) : ".";
    fd = openCounted(state.budget, state.slots, state.bases, state.pool, target.baseFd,
                     folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  }
  if (fd < 0) {
    lastFault = faultOf(errno);
    return -1;
  }
  const size_t slot = takeSlot(state.slots, true);
  Search& search = state.slots.searches[slot];
  search.fd = fd;
  startListing(state.pool, search.reads);
  if (!readEntry(state.pool, search.reads, fd, entry)) {
    lastFault = search.reads.fault;
    endListing(state.pool, search.reads);
    closeCounted(state.budget, fd);
    releaseSlot(state.slots, slot);
    return -1;
  }
  search.isBase = state.bases.open.empty() || target.below;
  if (search.isBase) pushBase(state.bases, slot, pattern, folderLength, target.below);
  return handleOf(slot);
}

// A folder is checked by opening it, never through a link. That open proves a plain folder, and
// its record follows from its name: a folder here never carries the read-only bit, and nothing
// reads a check's time stamps, so it costs no status call. What does not open that way is looked
// at by name, without following a link either.
intptr_t lookUp(State& state, const char* pattern, const Target& target, c_file* entry) {
  std::string joined;
  const char* path = target.last;
  if (!target.below) {
    joined.assign(target.folder, target.folderLength);
    if (joined.back() != '/') joined += '/';
    path = joined.append(target.last).c_str();
  }
  const int fd = openCounted(state.budget, state.slots, state.bases, state.pool, target.baseFd,
                             path, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  if (fd >= 0) {
    if (!fill(target.last, kAttrDirectory, nullptr, entry)) {
      closeCounted(state.budget, fd);
      return -1;
    }
    state.checked.fd = fd;
    state.checked.below = target.below;
    state.checked.name.assign(target.below ? target.last : pattern);
  } else {
    // Without a descriptor to spare no folder can be listed: looking at the entry would not help.
    if (errno == EMFILE || errno == ENFILE) {
      lastFault = faultOf(errno);
      return -1;
    }
    struct stat st;
    if (fstatat(target.baseFd, path, &st, AT_SYMLINK_NOFOLLOW) != 0) {
      lastFault = faultOf(errno);
      return -1;
    }
    if (!fill(target.last, attribOf(st), &st, entry)) return -1;
  }
  return handleOf(takeSlot(state.slots, false));
}

}  // namespace

intptr_t findFirst(const char* pattern, c_file* entry) {
  lastFault = {0, false};
  State* const made = stateOfThread();
  if (made == nullptr) {
    lastFault = {ENOMEM, true};
    return -1;
  }
  State& state = *made;
  Translation translation;
  const Target target = resolve(pattern, state.slots, state.bases, &translation);
  if (target.below && target.baseFd < 0) {
    // Below a folder that was given up and could not be found again, nothing can be looked at.
    const Search& base = state.slots.searches[state.bases.open.back().slot];
    lastFault = {base.lostError != 0 ? base.lostError : ENOENT, true};
    return -1;
  }
  // Only "*.*" lists; any other last component is a name, whatever it holds, since a Linux name
  // may hold '*' and '?'.
  if (target.found && !target.literal && strcmp(target.last, "*.*") == 0) {
    if (!target.below || namesTheChecked(state.checked, target)) {
      return openListing(state, pattern, target, entry);
    }
    // The walk lists a folder only once it has checked it; what looks like a listing otherwise
    // may be the check of a name that itself ends in "\*.*", which the entry, if there is one,
    // decides.
    dropChecked(state.checked, state.budget);
    const Target name = resolveBelow(pattern, target.folder, target.baseFd, false);
    const intptr_t handle = lookUp(state, pattern, name, entry);
    if (handle != -1 || lastFault.error != 0) return handle;
    return openListing(state, pattern, target, entry);
  }
  dropChecked(state.checked, state.budget);
  return target.found ? lookUp(state, pattern, target, entry) : -1;
}

int findNext(intptr_t handle, c_file* entry) {
  lastFault = {0, false};
  if (current == nullptr) return -1;  // no search was ever opened here
  State& state = *current;
  Search* search = searchOf(state.slots, handle);
  if (search == nullptr) return -1;
  if (search->fd < 0) {
    // A folder that could not be found again loses nothing when nothing was left to read in it.
    if (search->lostError != 0 && entriesLeft(search->reads)) {
      lastFault = {search->lostError, true};
    }
    return -1;
  }
  if (readEntry(state.pool, search->reads, search->fd, entry)) return 0;
  lastFault = search->reads.fault;
  return -1;
}

SearchFault searchFault() {
  return lastFault;
}

const int kOutOfMemory = ENOMEM;

int findClose(intptr_t handle) {
  if (current == nullptr) return -1;
  State& state = *current;
  Search* search = searchOf(state.slots, handle);
  if (search == nullptr) return -1;
  const size_t slot = size_t(handle) - 1;
  releaseSlot(state.slots, slot);
  if (!search->listing) return 0;
  if (search->isBase) {
    // The walk comes back to the base around this one next: its folder, if given up, is found
    // from this one while it is still open.
    const size_t level = levelOf(state.bases, slot);
    if (level > 0) findAgain(state.budget, state.slots, state.bases, state.pool, level - 1);
    dropChecked(state.checked, state.budget);
    popBase(state.bases, state.budget, level);
  }
  endListing(state.pool, search->reads);
  if (search->fd >= 0) closeCounted(state.budget, search->fd);
  return 0;
}

// Opened as a check below the listing's folder would be, but from whichever base the listing is:
// the entry's name is what follows that base's folder, taken whole. The folder leaves this thread's
// budget with the pass and joins the taker's.
intptr_t findPass(intptr_t listing, const char* path) {
  if (current == nullptr) return -1;
  State& state = *current;
  const Search* search = searchOf(state.slots, listing);
  if (search == nullptr || !search->isBase || search->fd < 0) return -1;
  const size_t slot = size_t(listing) - 1;
  const size_t level = levelOf(state.bases, slot);
  if (state.bases.open[level].slot != slot) return -1;
  const size_t length = state.bases.open[level].folderLength;
  if (strncmp(path, state.bases.folder.data(), length) != 0 || !isSeparator(path[length]) ||
      path[length + 1] == '\0') {
    return -1;
  }
  const int parent = fcntl(search->fd, F_DUPFD_CLOEXEC, 0);
  if (parent < 0) return -1;
  Pass* pass = new (std::nothrow) Pass{parent, {}};
  if (pass == nullptr) {
    close(parent);
    return -1;
  }
  pass->name.assign(path + length + 1);
  return reinterpret_cast<intptr_t>(pass);
}

// Taken as this thread's own check of `path`, which the listing of `path` takes next.
void findTake(intptr_t handle, const char* path) {
  Pass* pass = reinterpret_cast<Pass*>(handle);
  State* const made = stateOfThread();
  if (made == nullptr) {
    close(pass->parent);  // its listing, asked for next, then fails for want of memory
    delete pass;
    return;
  }
  State& state = *made;
  dropChecked(state.checked, state.budget);
  state.checked.parent = pass->parent;
  state.checked.child = std::move(pass->name);
  state.checked.below = false;
  state.checked.name.assign(path);
  ++state.budget.held;
  delete pass;
}
