#include "platform/win32_text.h"

#include <cstdint>
#include <cstring>

static_assert(sizeof(wchar_t) == 2, "Windows strings are UTF-16 units");

namespace {

bool isHigh(uint32_t unit) {
  return unit >= 0xD800 && unit < 0xDC00;
}

bool isLow(uint32_t unit) {
  return unit >= 0xDC00 && unit < 0xE000;
}

// Decodes the character that starts at `at`, of which `available` bytes are there. Returns its
// length in bytes and sets `c`; returns 0 when the character runs on past `available` with
// nothing wrong so far, and -1 when the bytes are not UTF-8 in the sense above.
int decodeUtf8(const unsigned char* at, size_t available, uint32_t* c) {
  *c = at[0];
  // Continuation bytes after the lead: C0 and C1 could only start overlong forms, F5 and up
  // only code points above U+10FFFF.
  const int more = *c < 0x80   ? 0
                   : *c < 0xC2 ? -1
                   : *c < 0xE0 ? 1
                   : *c < 0xF0 ? 2
                   : *c < 0xF5 ? 3
                               : -1;
  if (more < 0) return -1;
  if (more > 0) *c &= 0x3Fu >> more;
  for (int i = 1; i <= more; ++i) {
    if (size_t(i) >= available) return 0;
    if ((at[i] & 0xC0) != 0x80) return -1;
    *c = *c << 6 | (at[i] & 0x3Fu);
  }
  if ((more == 2 && *c < 0x800) || (more == 3 && (*c < 0x10000 || *c > 0x10FFFF))) return -1;
  return 1 + more;
}

void appendUnits(uint32_t c, std::wstring* out) {
  if (c < 0x10000) {
    out->push_back(wchar_t(c));
  } else {
    out->push_back(wchar_t(0xD800 + ((c - 0x10000) >> 10)));
    out->push_back(wchar_t(0xDC00 + (c & 0x3FF)));
  }
}

}  // namespace

bool appendUtf16(const char* text, std::wstring* out) {
  const auto* at = reinterpret_cast<const unsigned char*>(text);
  for (size_t left = strlen(text); left > 0;) {
    uint32_t c;
    const int length = decodeUtf8(at, left, &c);
    if (length <= 0) return false;
    appendUnits(c, out);
    at += length;
    left -= size_t(length);
  }
  return true;
}

size_t appendUtf16Piece(const char* text, size_t length, std::wstring* out) {
  const auto* at = reinterpret_cast<const unsigned char*>(text);
  for (size_t left = length; left > 0;) {
    uint32_t c;
    const int n = decodeUtf8(at, left, &c);
    if (n == 0) return left;
    appendUnits(n < 0 ? 0xFFFD : c, out);
    at += n < 0 ? 1 : n;
    left -= n < 0 ? 1 : size_t(n);
  }
  return 0;
}

size_t toUtf8(const wchar_t* text, char* out) {
  char* at = out;
  for (; *text != 0; ++text) {
    uint32_t c = uint16_t(text[0]);
    if (isHigh(c) && isLow(uint16_t(text[1]))) {
      c = 0x10000 + ((c - 0xD800) << 10) + (uint16_t(text[1]) - 0xDC00);
      ++text;
    }
    if (c < 0x80) {
      *at++ = char(c);
    } else if (c < 0x800) {
      *at++ = char(0xC0 | c >> 6);
      *at++ = char(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
      *at++ = char(0xE0 | c >> 12);
      *at++ = char(0x80 | (c >> 6 & 0x3F));
      *at++ = char(0x80 | (c & 0x3F));
    } else {
      *at++ = char(0xF0 | c >> 18);
      *at++ = char(0x80 | (c >> 12 & 0x3F));
      *at++ = char(0x80 | (c >> 6 & 0x3F));
      *at++ = char(0x80 | (c & 0x3F));
    }
  }
  *at = '\0';
  return size_t(at - out);
}
