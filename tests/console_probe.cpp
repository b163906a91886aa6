// Runs Voltally.exe on this console the way a user's session does, and says what the console's
// output code page was before and after, which must not change:
//   console_probe.exe VOLTALLY.EXE TRACED_FOLDER WALKED_FOLDER
// The first run prints the debug trace of TRACED_FOLDER; the second is ended by TerminateProcess
// while it walks WALKED_FOLDER, as End task, taskkill /F or a CI time-out end a program.
#include <windows.h>

#include <cstdio>
#include <string>

namespace {

PROCESS_INFORMATION start(const wchar_t* exe, const wchar_t* folder, const wchar_t* letter) {
  std::wstring line = std::wstring(L"\"") + exe + L"\" \"" + folder + L"\" " + letter;
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process = {};
  if (!CreateProcessW(exe, &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                      &process)) {
    fprintf(stderr, "cannot start the program: error %lu\n", GetLastError());
    ExitProcess(2);
  }
  return process;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc != 4) return 2;
  const UINT before = GetConsoleOutputCP();
  PROCESS_INFORMATION traced = start(argv[1], argv[2], L"d");
  WaitForSingleObject(traced.hProcess, INFINITE);
  PROCESS_INFORMATION walking = start(argv[1], argv[3], L"b");
  const bool stillWalking = WaitForSingleObject(walking.hProcess, 300) == WAIT_TIMEOUT;
  TerminateProcess(walking.hProcess, 1);
  WaitForSingleObject(walking.hProcess, INFINITE);
  printf("\nended while walking: %s\ncode page before %u after %u\n", stillWalking ? "yes" : "no",
         before, GetConsoleOutputCP());
  return 0;
}
