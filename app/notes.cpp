#include "app/notes.h"

#include <cstring>
#include <string>

#include "app/terminal_text.h"
#include "platform/platform.h"

namespace {

bool isSeparator(char c) {
  return c == '\\' || c == '/';
}

// The path as the walk spells it, shown: its separators as a person expects them here.
std::string shownPath(std::string path) {
  for (char& c : path) {
    if (c == '\\') c = statusText().separator;
  }
  return safeForTerminal(path);
}

std::string quoted(const char* typed) {
  return "\"" + safeForTerminal(typed) + "\"";
}

std::string messageOf(int error) {
  char text[256];
  errorText(error, text, sizeof text);
  return safeForTerminal(text);
}

// What is wrong with a path that names no drive, and how to write it instead.
std::string driveAdvice(const char* path) {
  const bool lettered = path[0] != '\0' && path[1] == ':';
  if (isSeparator(path[0]) && isSeparator(path[1])) return "a network path has no drive letter";
  if (lettered && (path[0] | 0x20) == 'a') return "drives are looked for from B: to Z:, never A:";
  if (lettered) return std::string("there is no drive ") + char(path[0] & ~0x20) + ": here";
  const int drive = currentDrive();
  if (drive == 0) return "the path must begin with its drive";
  return "the path must begin with its drive, as in " + std::string(1, char(drive + 64)) + ":" +
         safeForTerminal(path);
}

// Why the folder the path names fails the walk's check, from the path itself first and then from
// what the directory search reports of it.
std::string whyNotAFolder(const char* path) {
  const size_t length = strlen(path);
  const bool lettered = length >= 2 && path[1] == ':';
  if (lettered && (length == 2 || (length == 3 && isSeparator(path[2])))) {
    return "is a drive's root, which is never sized: name a folder on it";
  }
  if (length > 0 && isSeparator(path[length - 1])) {
    std::string bare(path, length);
    while (bare.size() > 1 && isSeparator(bare.back())) bare.pop_back();
    return "ends in a separator; without it: " + safeForTerminal(bare);
  }
  const char* last = path;
  for (const char* at = path; *at != '\0'; ++at) {
    if (isSeparator(*at) || (at == path + 1 && *at == ':')) last = at + 1;
  }
  if (strcmp(last, "*.*") == 0) return "ends in *.*, a pattern, which names no folder";
  c_file entry;
  const intptr_t handle = findFirst(path, &entry);
  if (handle == -1) {
    const SearchFault fault = searchFault();
    return fault.error == 0 ? "does not exist" : "cannot be looked at: " + messageOf(fault.error);
  }
  findClose(handle);
  if ((entry.attrib & kAttrReparsePoint) != 0) {
    return (entry.attrib & kAttrDirectory) != 0
               ? "is a link or a folder a volume is mounted in, which is never entered"
               : "is a link, which is never followed";
  }
  if ((entry.attrib & kAttrDirectory) == 0) return "is a file, not a folder";
  if ((entry.attrib & kAttrHidden) != 0) {
    return last[0] == '.' ? "begins with a dot, and such folders are passed over"
                          : "is a hidden folder, which is never entered";
  }
  if ((entry.attrib & kAttrReadOnly) != 0) return "is a read-only folder, which is never entered";
  if ((entry.attrib & kAttrSystem) != 0) return "is a system folder, which is never entered";
  return "is no plain folder";
}

}  // namespace

// Each note begins as a program's message does, and ends without a full stop, as a path at its end
// may be copied.
std::string noDriveNote(const char* path) {
  return "Voltally: no drive matches " + quoted(path) + ": " + driveAdvice(path) + "\n" +
         pathAdvice() + "\n";
}

std::string driveNote(const char* path, int error) {
  return "Voltally: the size of the drive that " + shownPath(path) +
         " lies on could not be read: " + messageOf(error) + "\n";
}

std::string notAFolderNote(const char* path) {
  return "Voltally: Directory-Size is -2: " + shownPath(path) + " " + whyNotAFolder(path) + "\n";
}

std::string walkNote(const WalkTrouble& trouble) {
  if (trouble.error != 0) {
    return "Voltally: no total: the walk could not go on at " + shownPath(trouble.errorPath) +
           ": " + messageOf(trouble.error) + "\n";
  }
  if (trouble.unreadable == 0) return "";
  const std::string count = std::to_string(trouble.unreadable);
  return "Voltally: the total leaves out " +
         (trouble.unreadable == 1
              ? "1 folder that could not be read: "
              : count + " folders that could not be read in full; the first: ") +
         shownPath(trouble.firstPath) + ": " + messageOf(trouble.firstError) + "\n";
}
