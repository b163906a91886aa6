// Standard output on Windows. Redirected (a file, a pipe, NUL), it is the C runtime's stream in
// text mode, as a Windows console program has always written it: "\n" goes out as CR LF, a bare
// "\r" alone, and names as their UTF-8 bytes. A console is written in UTF-16 with WriteConsoleW,
// so names show whatever its code page, which is never changed: the code page belongs to the
// console, shared with every program in it, and a program ended before it could put it back (End
// task, taskkill /F, a CI time-out) would leave the console in another one.
#include <windows.h>

#include <algorithm>
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <string>

#include "platform/platform.h"
#include "platform/win32_text.h"

namespace {

// Where standard output goes and what is on its way there. `pending` holds the first bytes of a
// character whose last bytes have not been printed yet (at most 3), and `held` the converted text
// that waits for the next write to the console, made once it reaches kHeldUnits and at the end;
// both stay empty when output is redirected. `error` is the first failed write's error code, 0
// while every write has gone through.
struct Output {
  bool known;      // standard output has been looked at
  HANDLE console;  // standard output's console, or null when output is redirected
  std::string pending;
  std::wstring held;
  int error;
};
Output output = {false, nullptr, {}, {}, 0};

const size_t kHeldUnits = 4096;

void noteError(int error) {
  if (output.error == 0) output.error = error != 0 ? error : EIO;
}

void lookAtOutput() {
  output.known = true;
  const HANDLE handle = GetStdHandle(STD_OUTPUT_HANDLE);
  DWORD mode;
  if (handle != nullptr && handle != INVALID_HANDLE_VALUE && GetConsoleMode(handle, &mode)) {
    output.console = handle;
  }
}

void writeHeld() {
  const wchar_t* at = output.held.data();
  for (size_t left = output.held.size(); left > 0 && output.error == 0;) {
    DWORD written = 0;
    const DWORD units = DWORD(std::min<size_t>(left, kHeldUnits));
    if (!WriteConsoleW(output.console, at, units, &written, nullptr) || written == 0) {
      noteError(int(GetLastError()));
    }
    at += written;
    left -= written;
  }
  output.held.clear();
}

void write(const char* text, size_t length) {
  if (output.console == nullptr) {
    errno = 0;
    if (fwrite(text, 1, length, stdout) != length) noteError(errno);
    return;
  }
  output.pending.append(text, length);
  const size_t cut = appendUtf16Piece(output.pending.data(), output.pending.size(), &output.held);
  output.pending.erase(0, output.pending.size() - cut);
  if (output.held.size() >= kHeldUnits) writeHeld();
}

}  // namespace

int printOutput(const char* format, ...) {
  if (!output.known) lookAtOutput();
  char small[512];
  std::string large;
  va_list arguments, again;
  va_start(arguments, format);
  va_copy(again, arguments);
  const int length = vsnprintf(small, sizeof small, format, arguments);
  if (length >= int(sizeof small)) {
    large.resize(size_t(length) + 1);
    vsnprintf(&large[0], large.size(), format, again);
  }
  va_end(again);
  va_end(arguments);
  if (length < 0) {
    noteError(EINVAL);
  } else {
    write(large.empty() ? small : large.data(), size_t(length));
  }
  return output.error;
}

// A console's prompt starts at the cursor under PowerShell, which the bare "\r" has left at the
// start of the report's line.
void finishBareLine() {
  if (output.console != nullptr) write("\n", 1);
}

int finishOutput() {
  if (output.console != nullptr) {
    if (!output.pending.empty()) output.held += L'\uFFFD';  // a character never finished
    output.pending.clear();
    writeHeld();
  } else {
    errno = 0;
    if (fflush(stdout) != 0 || ferror(stdout)) noteError(errno);
  }
  return output.error;
}
