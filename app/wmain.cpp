// The Windows program's entry. The command line is taken in UTF-16 (wmain, linked with -municode),
// so a path outside the ANSI code page reaches the tool whole, as UTF-8, instead of with '?' in
// place of what the code page lacks.
#include <cwchar>
#include <string>
#include <vector>

#include "app/voltally.h"
#include "platform/win32_text.h"

int wmain(int argc, wchar_t** argv) {
  std::vector<std::string> args(size_t(argc > 0 ? argc : 0));
  std::vector<char*> pointers;
  for (size_t i = 0; i < args.size(); ++i) {
    args[i].resize(3 * wcslen(argv[i]) + 1);
    args[i].resize(toUtf8(argv[i], &args[i][0]));
    pointers.push_back(&args[i][0]);
  }
  pointers.push_back(nullptr);
  return runVoltally(argc, pointers.data());
}
