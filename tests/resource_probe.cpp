// Reads back, through the system's own calls, what a Voltally.exe carries: its version resource
// (GetFileVersionInfoW, which Explorer's Details tab uses) and its application manifest, as an
// activation context made from it the way the loader makes one at start (a manifest the loader
// cannot take keeps the program from starting), with its run level. Prints every field it reads
// and returns 0 only when each is what the build declared.
//   resource_probe.exe PATH\Voltally.exe
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#define VOLTALLY_TEXT(...) #__VA_ARGS__
#define VOLTALLY_STRING(...) VOLTALLY_TEXT(__VA_ARGS__)

namespace {

struct Field {
  const wchar_t* name;
  const char* expected;
};

// The version resource's strings, in the language block the program declares.
const Field kFields[] = {
    {L"FileVersion", VOLTALLY_VERSION},
    {L"ProductVersion", VOLTALLY_VERSION},
    {L"ProductName", "Voltally"},
    {L"InternalName", "Voltally"},
    {L"OriginalFilename", "Voltally.exe"},
    {L"FileDescription", VOLTALLY_DESCRIPTION},
    {L"LegalCopyright", VOLTALLY_COPYRIGHT},
};

const char* const kRunLevels[] = {"unspecified", "asInvoker", "highestAvailable",
                                  "requireAdministrator"};

std::string utf8(const wchar_t* text) {
  char buffer[512];
  const int length =
      WideCharToMultiByte(CP_UTF8, 0, text, -1, buffer, sizeof buffer, nullptr, nullptr);
  return length > 0 ? std::string(buffer) : std::string("(not convertible)");
}

bool expect(const char* what, const std::string& found, const std::string& expected) {
  const bool same = found == expected;
  printf("%-22s %s%s%s\n", what, found.c_str(),
         same ? "" : "   expected: ", same ? "" : expected.c_str());
  return same;
}

bool checkVersion(const wchar_t* path) {
  DWORD ignored = 0;
  const DWORD size = GetFileVersionInfoSizeW(path, &ignored);
  std::vector<char> data(size);
  if (size == 0 || !GetFileVersionInfoW(path, 0, size, data.data())) {
    printf("no version resource (error %lu)\n", GetLastError());
    return false;
  }
  bool good = true;
  void* value = nullptr;
  UINT length = 0;
  char numbers[64] = "(none)";
  if (VerQueryValueW(data.data(), L"\\", &value, &length) && length >= sizeof(VS_FIXEDFILEINFO)) {
    const auto* fixed = static_cast<const VS_FIXEDFILEINFO*>(value);
    snprintf(numbers, sizeof numbers, "%lu,%lu,%lu,%lu", fixed->dwFileVersionMS >> 16,
             fixed->dwFileVersionMS & 0xffff, fixed->dwFileVersionLS >> 16,
             fixed->dwFileVersionLS & 0xffff);
  }
  good &= expect("file version numbers", numbers, VOLTALLY_STRING(VOLTALLY_VERSION_NUMBERS));
  for (const Field& field : kFields) {
    const std::wstring query = std::wstring(L"\\StringFileInfo\\040904B0\\") + field.name;
    const bool found = VerQueryValueW(data.data(), query.c_str(), &value, &length) && length > 0;
    good &= expect(utf8(field.name).c_str(),
                   found ? utf8(static_cast<const wchar_t*>(value)) : "(none)", field.expected);
  }
  return good;
}

bool checkManifest(const wchar_t* path) {
  ACTCTXW request = {};
  request.cbSize = sizeof request;
  request.dwFlags = ACTCTX_FLAG_RESOURCE_NAME_VALID;
  request.lpSource = path;
  request.lpResourceName = MAKEINTRESOURCEW(1);  // the manifest a process starts with
  const HANDLE context = CreateActCtxW(&request);
  if (context == INVALID_HANDLE_VALUE) {
    printf("no manifest that makes an activation context (error %lu)\n", GetLastError());
    return false;
  }
  bool good = true;
  ACTIVATION_CONTEXT_RUN_LEVEL_INFORMATION level = {};
  const bool read = QueryActCtxW(0, context, nullptr, RunlevelInformationInActivationContext,
                                 &level, sizeof level, nullptr);
  good &= expect("run level",
                 !read                                       ? "(unread)"
                 : level.RunLevel < ACTCTX_RUN_LEVEL_NUMBERS ? kRunLevels[level.RunLevel]
                                                             : std::to_string(level.RunLevel),
                 "asInvoker");
  good &= expect("uiAccess", read ? std::to_string(level.UiAccess) : "(unread)", "0");
  ReleaseActCtx(context);
  return good;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc != 2) {
    printf("usage: resource_probe PATH\\Voltally.exe\n");
    return 2;
  }
  const bool version = checkVersion(argv[1]);
  const bool manifest = checkManifest(argv[1]);
  return version && manifest ? 0 : 1;
}
