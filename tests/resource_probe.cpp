// Reads back, through the system's own calls, what a Voltally.exe carries: its version resource
// (GetFileVersionInfoW, which Explorer's Details tab uses) and its application manifest (an
// activation context made from it, as the loader makes one at start). Prints every field it
// reads and returns 0 only when each is what the build declared.
//   resource_probe.exe PATH\Voltally.exe
#include <windows.h>

#include <cstddef>
#include <cstdio>
#include <cstring>
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

struct SupportedOs {
  const char* name;
  GUID id;
};

const SupportedOs kSupportedOs[] = {
    {"Windows 7", {0x35138b9a, 0x5d96, 0x4fbd, {0x8e, 0x2d, 0xa2, 0x44, 0x02, 0x25, 0xf9, 0x3a}}},
    {"Windows 8", {0x4a2f28e3, 0x53b9, 0x4441, {0xba, 0x9c, 0xd6, 0x9d, 0x4a, 0x4a, 0x6e, 0x38}}},
    {"Windows 8.1", {0x1f676c76, 0x80e1, 0x4239, {0x95, 0xbb, 0x83, 0xd0, 0xf6, 0xd0, 0xda, 0x78}}},
    {"Windows 10 and 11",
     {0x8e0f7a12, 0xbfb3, 0x4fe8, {0xb9, 0xa5, 0x48, 0xfd, 0x50, 0xa1, 0x5a, 0x9a}}},
};

// The compatibility list as Windows 10 and later, and Wine, return it; mingw-w64's header has the
// shorter element of Windows 7, without maxVersionTested.
struct CompatibilityElement {
  GUID id;
  ACTCTX_COMPATIBILITY_ELEMENT_TYPE type;
  ULONGLONG maxVersionTested;
};
struct CompatibilityInformation {
  DWORD count;
  CompatibilityElement elements[1];  // `count` of them, in the bytes that follow
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

  SIZE_T needed = 0;
  QueryActCtxW(0, context, nullptr, CompatibilityInformationInActivationContext, nullptr, 0,
               &needed);
  std::vector<CompatibilityInformation> buffer(needed / sizeof(CompatibilityInformation) + 1);
  const SIZE_T bytes = buffer.size() * sizeof(CompatibilityInformation);
  if (!QueryActCtxW(0, context, nullptr, CompatibilityInformationInActivationContext, buffer.data(),
                    bytes, nullptr) ||
      buffer[0].count >
          (bytes - offsetof(CompatibilityInformation, elements)) / sizeof(CompatibilityElement)) {
    printf("compatibility unread (error %lu)\n", GetLastError());
    good = false;
  } else {
    const CompatibilityInformation& compatibility = buffer[0];
    good &= expect("supportedOS entries", std::to_string(compatibility.count),
                   std::to_string(sizeof kSupportedOs / sizeof kSupportedOs[0]));
    for (const SupportedOs& os : kSupportedOs) {
      bool listed = false;
      for (DWORD i = 0; i < compatibility.count; ++i) {
        const CompatibilityElement& element = compatibility.elements[i];
        listed |= element.type == ACTCTX_COMPATIBILITY_ELEMENT_TYPE_OS &&
                  memcmp(&element.id, &os.id, sizeof os.id) == 0;
      }
      good &= expect(os.name, listed ? "supported" : "missing", "supported");
    }
  }
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
