// The status line on Windows: standard error when it is a console, written in UTF-16 with
// WriteConsoleW, as the report is, and erased by overwriting with spaces, since the console may
// not take escape sequences. While a line is shown, Ctrl+C and Ctrl+Break are caught and only
// noted; the system runs the handler on a thread of its own. A program started with Ctrl+C
// ignored, which a child inherits from a parent that called SetConsoleCtrlHandler(NULL, TRUE), is
// never sent CTRL_C_EVENT, handler or not, so it goes on as it would without the line. A console
// has no background process group: the line is drawn whenever standard error is a console.
#include <windows.h>

#include <string>

#include "platform/platform.h"
#include "platform/win32_text.h"

namespace {

// `shown` is the width of the line on the console, 0 when none is; `catching` says the handler
// is in place, which it stays until statusEnd.
struct Status {
  size_t shown;
  bool catching;
};
Status status = {0, false};

volatile LONG interrupted = 0;

BOOL WINAPI noteInterrupt(DWORD event) {
  if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT) return FALSE;
  InterlockedExchange(&interrupted, 1);
  return TRUE;
}

HANDLE console() {
  return GetStdHandle(STD_ERROR_HANDLE);
}

}  // namespace

int statusColumns() {
  CONSOLE_SCREEN_BUFFER_INFO info;
  const HANDLE handle = console();
  if (handle == nullptr || handle == INVALID_HANDLE_VALUE ||
      !GetConsoleScreenBufferInfo(handle, &info)) {
    return 0;
  }
  return info.srWindow.Right - info.srWindow.Left + 1;
}

void statusBegin() {}

void statusThread() {}

void showStatus(const char* text, size_t columns) {
  if (!status.catching && text[0] != '\0') {
    SetConsoleCtrlHandler(noteInterrupt, TRUE);
    status.catching = true;
  }
  // Measured in columns by the caller, not in UTF-16 units: a CJK character is one unit and
  // takes two cells of the console.
  std::wstring line = L"\r";
  if (!appendUtf16(text, &line)) {
    line.resize(1);
    columns = 0;
  }
  if (columns < status.shown) line.append(status.shown - columns, L' ');
  line += L'\r';  // the cursor at the line's start, as on Linux
  DWORD written = 0;
  WriteConsoleW(console(), line.data(), DWORD(line.size()), &written, nullptr);
  status.shown = columns;
}

bool statusInterrupted() {
  return InterlockedCompareExchange(&interrupted, 0, 0) != 0;
}

void statusEnd() {
  if (status.shown > 0) showStatus("", 0);
  if (status.catching) SetConsoleCtrlHandler(noteInterrupt, FALSE);
  status.catching = false;
  // As the console's own handling of Ctrl+C would have ended the run.
  if (statusInterrupted()) ExitProcess(STATUS_CONTROL_C_EXIT);
}

// A console moves down a line only with the carriage return before the line feed.
void showNote(const char* text) {
  if (statusColumns() == 0) return;
  std::wstring note;
  if (!appendUtf16(text, &note)) return;
  std::wstring lines;
  for (const wchar_t c : note) {
    if (c == L'\n') lines += L'\r';
    lines += c;
  }
  DWORD written = 0;
  WriteConsoleW(console(), lines.data(), DWORD(lines.size()), &written, nullptr);
}

// Wine's console, measured, gives each combining mark a cell of its own, as the Windows console
// host does, and a CJK character two.
StatusText statusText() {
  return {'\\', false};
}
