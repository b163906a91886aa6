// Pure helpers of the POSIX layer: how a drive-letter pattern maps onto the file system. Nothing
// here calls the system.
#pragma once

#include <cstddef>
#include <string>

inline bool isSeparator(char c) {
  return c == '\\' || c == '/';
}

// Maps a pattern onto the file system. C: is the only drive and stands for "/": after the drive,
// a separator means "from the root" and anything else is relative to the working directory, as
// is a pattern without a drive. Both '\' and '/' separate components. Sets `folder` to the
// translated folder ("." for the working directory) and `last` to the final component. Returns
// false when the pattern names another drive or its final component is empty.
bool translatePattern(const char* pattern, std::string* folder, std::string* last);

// Where the final component of `pattern` starts (0 when the pattern has no separator).
size_t lastComponent(const char* pattern);

// The whole of `path` on the file system, by the rules of translatePattern, whatever its drive
// letter: "C:\tmp\x" gives "/tmp/x", "C:x" gives "x", and "C:" gives "".
std::string fileSystemPath(const char* path);

// Cuts a file-system path to the folder that holds its final component, by its text alone: "a/b"
// becomes "a", "a" becomes ".", "/a" and "//a/" become "/". Returns false, leaving "/", "." and ""
// as they are: nothing lies above them in the text.
bool cutToParent(std::string* path);
