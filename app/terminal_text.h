// Names on a terminal. A name is whatever bytes the file system holds, and a terminal acts on
// some bytes instead of showing them: an escape sequence retitles it, clears it or swallows what
// follows. Whatever shows a name to a person goes through safeForTerminal first; the columns
// below measure and cut text so made. Nothing here touches the system.
#pragma once

#include <cstddef>
#include <string>

// `bytes` as text that a terminal shows and never acts on, escaped as `ls -b` escapes a name:
// - "\a" "\b" "\t" "\n" "\v" "\f" "\r" for those controls;
// - "\ooo", three octal digits, for each other C0 control byte and DEL, for each byte of a C1
//   control (U+0080 to U+009F) and of a line or paragraph separator (U+2028, U+2029), and for
//   every byte that is not part of valid UTF-8: a stray continuation byte, a sequence cut short,
//   an overlong form, a surrogate, a code point above U+10FFFF, the bytes C0, C1 and F5 to FF.
// Everything else, printable ASCII and valid UTF-8 from U+00A0 on, is kept as it is. Backslashes
// are kept single, as they separate the components of the walk's paths, so a name that holds
// "\033" itself shows as an escaped ESC does. The result is valid UTF-8 with no control
// character in it, whatever `bytes` holds.
std::string safeForTerminal(const std::string& bytes);

// The columns a terminal gives `text`: two for a wide character (East Asian Wide and Fullwidth,
// emoji shown as emoji), none for a combining mark or a zero-width character, one for any other.
// Where terminals disagree it counts the wider, so that text it measures never outgrows the line.
// Meant for text that safeForTerminal made; any byte that does not begin a character counts one.
// Where `marksJoin` is false, as on a Windows console, which gives each of them a cell of its own,
// a combining mark or zero-width character counts one as well.
size_t displayColumns(const std::string& text, bool marksJoin = true);

// The longest start of `text` that takes at most `columns` columns, cut between characters; a
// zero-width character stays with the one before it.
std::string leadingColumns(const std::string& text, size_t columns, bool marksJoin = true);

// `text` in at most `columns` columns: whole when it fits, otherwise its start and its end around
// "...", cut between characters, the start taking the half of the room left beside the mark.
// Below five columns, the start alone.
std::string cutInMiddle(const std::string& text, size_t columns, bool marksJoin = true);
