// The status line on Linux: standard error when it is a terminal, written with write(2) and
// erased by overwriting with spaces, which every terminal understands. While a line is shown, an
// interrupt is caught and only noted; it goes to the thread that draws, since the others block
// it, so that the line is erased even while every walking thread waits on the file system.
#include <signal.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <string>

#include "platform/platform.h"

namespace {

// `shown` is the width of the line on the terminal, 0 when none is; `catching` says the handler
// is in place, which it stays until statusEnd.
struct Status {
  size_t shown;
  bool catching;
};
Status status = {0, false};

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

void blockInterrupts(int how) {
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, SIGINT);
  pthread_sigmask(how, &set, nullptr);
}

}  // namespace

int statusColumns() {
  winsize size;
  if (!isatty(STDERR_FILENO) || ioctl(STDERR_FILENO, TIOCGWINSZ, &size) != 0) return 0;
  return size.ws_col;
}

void statusBegin() {
  blockInterrupts(SIG_BLOCK);
}

void statusThread() {
  blockInterrupts(SIG_UNBLOCK);
}

void showStatus(const char* text, size_t columns) {
  if (!status.catching && text[0] != '\0') {
    struct sigaction action = {};
    action.sa_handler = noteInterrupt;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    status.catching = true;
  }
  std::string line = "\r";
  line += text;
  if (columns < status.shown) line.append(status.shown - columns, ' ');
  // The cursor goes back to the line's start, where the terminal's echo of ^C lands on the line
  // itself, never past its end onto the next.
  line += '\r';
  writeAll(line);
  status.shown = columns;
}

bool statusInterrupted() {
  return interrupted != 0;
}

void statusEnd() {
  if (status.shown > 0) showStatus("", 0);
  if (status.catching) signal(SIGINT, SIG_DFL);
  status.catching = false;
  if (interrupted) kill(getpid(), SIGINT);
  // An interrupt that came while the line was drawn ends the run here, by the signal itself.
  blockInterrupts(SIG_UNBLOCK);
}

char shownSeparator() {
  return '/';
}
