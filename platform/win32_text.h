// Text between the tool's narrow strings, which are UTF-8 on Windows, and the system's UTF-16.
//
// A Windows name is a sequence of 16-bit units that need not be valid UTF-16: a lone surrogate is
// a legal name character. Such a unit is written as the three bytes UTF-8 would give it as a code
// point, so that every name the system returns converts back to the very same units, and a folder
// so named can still be opened by the path built from its name.
#pragma once

#include <cstddef>
#include <string>

// Appends the UTF-16 form of the NUL-terminated `text` to `out`. Returns false when `text` is not
// UTF-8 in the sense above (a stray or missing continuation byte, an overlong form, a code point
// above U+10FFFF); `out` may then hold part of it.
bool appendUtf16(const char* text, std::wstring* out);

// Appends to `out` the UTF-16 form of the whole characters in the `length` bytes at `text`, one
// piece of a longer text. A character cut off at the end is left out, and the number of its bytes
// there (at most 3) is returned, for the caller to put before the next piece; 0 when nothing was
// cut off. A byte that cannot be read as UTF-8 in the sense above becomes U+FFFD.
size_t appendUtf16Piece(const char* text, size_t length, std::wstring* out);

// Writes the UTF-8 form of the NUL-terminated `text`, and a NUL, to `out`, which must hold three
// bytes for every unit of `text` and one more. Returns the bytes written before the NUL.
size_t toUtf8(const wchar_t* text, char* out);
