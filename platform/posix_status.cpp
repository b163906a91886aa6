// The status line on Linux: standard error when it is a terminal, written with write(2) and
// erased by overwriting with spaces, which every terminal understands. It is written only while
// the program's process group is the terminal's foreground: a run in the background of a shell
// writes nothing there, not even to erase a line it drew before it was moved there, which then
// stays on the screen, and a terminal that is not the program's controlling one gets no line. While
// a line is shown, an interrupt is caught and only noted; it goes to the thread that draws, since
// the others block it, so that the line is erased even while every walking thread waits on the file
// system. A program started with interrupts ignored, as a script's background job is, leaves them
// ignored.
#include <signal.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <string>

#include "platform/platform.h"

namespace {

// `shown` is the width of the line on the terminal, 0 when none is. `looked` says what an
// interrupt does was looked at, when the first line was shown: `found`, what it did then, and
// `catching`, that the handler took its place, which it keeps until statusEnd.
struct Status {
  size_t shown;
  bool looked;
  bool catching;
  struct sigaction found;
};
Status status = {0, false, false, {}};

volatile sig_atomic_t interrupted = 0;

void noteInterrupt(int) {
  interrupted = 1;
}

void writeAll(const std::string& text) {
  for (size_t at = 0; at < text.size();) {
    const ssize_t n = write(STDERR_FILENO, text.data() + at, text.size() - at);
    if (n <= 0) return;  // the line is a courtesy: a terminal that takes no more gets no more
    at += size_t(n);
  }
}

// A job moved to the background would stop at a write to its terminal under `stty tostop`
// (SIGTTOU); with the signal blocked the text goes out instead.
void writeWithoutStopping(const std::string& text) {
  sigset_t ttou, before;
  sigemptyset(&ttou);
  sigaddset(&ttou, SIGTTOU);
  pthread_sigmask(SIG_BLOCK, &ttou, &before);
  writeAll(text);
  pthread_sigmask(SIG_SETMASK, &before, nullptr);
}

bool inForeground() {
  return tcgetpgrp(STDERR_FILENO) == getpgrp();
}

void blockInterrupts(int how) {
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, SIGINT);
  pthread_sigmask(how, &set, nullptr);
}

}  // namespace

// A terminal that does not say how wide it is (a pseudo-terminal nobody sized) is taken to have
// the 80 columns a terminal has always had.
int statusColumns() {
  if (!isatty(STDERR_FILENO)) return 0;
  winsize size;
  return ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 0 ? size.ws_col : 80;
}

void statusBegin() {
  blockInterrupts(SIG_BLOCK);
}

void statusThread() {
  blockInterrupts(SIG_UNBLOCK);
}

void showStatus(const char* text, size_t columns) {
  if (!inForeground()) return;
  if (!status.looked && text[0] != '\0') {
    status.looked = true;
    sigaction(SIGINT, nullptr, &status.found);
    if (status.found.sa_handler != SIG_IGN) {
      struct sigaction action = {};
      action.sa_handler = noteInterrupt;
      sigemptyset(&action.sa_mask);
      sigaction(SIGINT, &action, nullptr);
      status.catching = true;
    }
  }
  std::string line = "\r";
  line += text;
  if (columns < status.shown) line.append(status.shown - columns, ' ');
  // The cursor goes back to the line's start, where the terminal's echo of ^C lands on the line
  // itself, never past its end onto the next.
  line += '\r';
  // Even a job moved to the background between the check above and this write must not stop.
  writeWithoutStopping(line);
  status.shown = columns;
}

bool statusInterrupted() {
  return interrupted != 0;
}

void statusEnd() {
  if (status.shown > 0) showStatus("", 0);
  if (status.catching) sigaction(SIGINT, &status.found, nullptr);
  status.looked = status.catching = false;
  if (interrupted) kill(getpid(), SIGINT);
  // An interrupt that came while the line was drawn ends the run here, by the signal itself.
  blockInterrupts(SIG_UNBLOCK);
}

void showNote(const char* text) {
  if (isatty(STDERR_FILENO)) writeWithoutStopping(text);
}

StatusText statusText() {
  return {'/', true};
}
