#include "app/terminal_text.h"

#include <cstdint>
#include <vector>

namespace {

struct Range {
  uint32_t first, last;
};

// Two columns: East Asian Wide and Fullwidth, and emoji shown as emoji. Each range runs over the
// unassigned points and the few narrow symbols between its characters, which counting wide only
// makes the line shorter; a wide character counted narrow would make it wrap.
const Range kWide[] = {
    {0x1100, 0x115F},   {0x231A, 0x232A},   {0x23E9, 0x23F3},   {0x25FD, 0x25FE},
    {0x2614, 0x2615},   {0x2648, 0x2653},   {0x267F, 0x267F},   {0x2693, 0x26AB},
    {0x26BD, 0x26D4},   {0x26EA, 0x270B},   {0x2728, 0x2728},   {0x274C, 0x2757},
    {0x2795, 0x2797},   {0x27B0, 0x27BF},   {0x2B1B, 0x2B1C},   {0x2B50, 0x2B55},
    {0x2E80, 0xA4CF},   {0xA960, 0xA97F},   {0xAC00, 0xD7A3},   {0xF900, 0xFAFF},
    {0xFE10, 0xFE19},   {0xFE30, 0xFE6F},   {0xFF00, 0xFF60},   {0xFFE0, 0xFFE6},
    {0x16FE0, 0x1B2FF}, {0x1F004, 0x1F004}, {0x1F0CF, 0x1F0CF}, {0x1F18E, 0x1F19A},
    {0x1F1E6, 0x1F567}, {0x1F57A, 0x1F57A}, {0x1F595, 0x1F5A4}, {0x1F5FB, 0x1F64F},
    {0x1F680, 0x1F6FF}, {0x1F7E0, 0x1F7FF}, {0x1F900, 0x1F9FF}, {0x1FA70, 0x1FAFF},
    {0x20000, 0x3FFFD},
};

// No column: the combining marks of the scripts names are most often written in, Hangul's vowel
// and final jamo (a decomposed syllable takes its leading consonant's two), and the zero-width
// format characters. Marks left out count one, which only makes the line shorter. The emoji
// variation selector U+FE0F is left out too: some terminals widen the character before it.
const Range kZero[] = {
    {0x0300, 0x036F}, {0x0483, 0x0489}, {0x0591, 0x05BD},   {0x05BF, 0x05BF},   {0x05C1, 0x05C2},
    {0x05C4, 0x05C5}, {0x05C7, 0x05C7}, {0x0610, 0x061A},   {0x061C, 0x061C},   {0x064B, 0x065F},
    {0x0670, 0x0670}, {0x06D6, 0x06DC}, {0x06DF, 0x06E4},   {0x06E7, 0x06E8},   {0x06EA, 0x06ED},
    {0x0E31, 0x0E31}, {0x0E34, 0x0E3A}, {0x0E47, 0x0E4E},   {0x1160, 0x11FF},   {0x1AB0, 0x1AFF},
    {0x1DC0, 0x1DFF}, {0x200B, 0x200F}, {0x202A, 0x202E},   {0x2060, 0x2064},   {0x2066, 0x206F},
    {0x20D0, 0x20F0}, {0x302A, 0x302D}, {0x3099, 0x309A},   {0xD7B0, 0xD7FF},   {0xFE00, 0xFE0E},
    {0xFE20, 0xFE2F}, {0xFEFF, 0xFEFF}, {0xE0001, 0xE0001}, {0xE0020, 0xE007F}, {0xE0100, 0xE01EF},
};

template <size_t n>
bool within(const Range (&ranges)[n], uint32_t point) {
  size_t low = 0, high = n;
  while (low < high) {
    const size_t middle = (low + high) / 2;
    if (point > ranges[middle].last) {
      low = middle + 1;
    } else if (point < ranges[middle].first) {
      high = middle;
    } else {
      return true;
    }
  }
  return false;
}

size_t columnsOf(uint32_t point, bool marksJoin) {
  if (within(kZero, point)) return marksJoin ? 0 : 1;
  return within(kWide, point) ? 2 : 1;
}

bool continues(const std::string& text, size_t at) {
  return at < text.size() && (uint8_t(text[at]) & 0xC0) == 0x80;
}

// The length of the valid UTF-8 character at `at`, whose code point goes to `point`; 0 when none
// starts there. The second byte's range rules out overlong forms, surrogates and points above
// U+10FFFF, as the standard's table of well-formed sequences does.
size_t decode(const std::string& text, size_t at, uint32_t* point) {
  const uint8_t lead = uint8_t(text[at]);
  if (lead < 0x80) {
    *point = lead;
    return 1;
  }
  size_t length;
  uint8_t low = 0x80, high = 0xBF;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    if (lead == 0xE0) low = 0xA0;
    if (lead == 0xED) high = 0x9F;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    if (lead == 0xF0) low = 0x90;
    if (lead == 0xF4) high = 0x8F;
  } else {
    return 0;
  }
  if (at + 1 >= text.size() || uint8_t(text[at + 1]) < low || uint8_t(text[at + 1]) > high) {
    return 0;
  }
  uint32_t value = lead & (0x7F >> length);
  for (size_t i = 1; i < length; ++i) {
    if (!continues(text, at + i)) return 0;
    value = (value << 6) | (uint8_t(text[at + i]) & 0x3F);
  }
  *point = value;
  return length;
}

bool showsItself(uint32_t point) {
  return (point >= 0x20 && point < 0x7F) || (point >= 0xA0 && point != 0x2028 && point != 0x2029);
}

void escape(uint8_t byte, std::string* out) {
  *out += '\\';
  if (byte >= '\a' && byte <= '\r') {
    *out += "abtnvfr"[byte - '\a'];
    return;
  }
  *out += char('0' + (byte >> 6));
  *out += char('0' + ((byte >> 3) & 7));
  *out += char('0' + (byte & 7));
}

// One character of a text: where its bytes are and the columns it takes.
struct Piece {
  size_t at, length, columns;
};

std::vector<Piece> pieces(const std::string& text, bool marksJoin) {
  std::vector<Piece> all;
  for (size_t at = 0; at < text.size();) {
    uint32_t point = 0;
    const size_t length = decode(text, at, &point);
    all.push_back(length == 0 ? Piece{at, 1, 1} : Piece{at, length, columnsOf(point, marksJoin)});
    at += all.back().length;
  }
  return all;
}

// The longest end of `text` that takes at most `columns` columns, cut between characters and
// beginning with one that takes a column, so that no mark lands on what goes before it.
std::string trailingColumns(const std::string& text, size_t columns, bool marksJoin) {
  const std::vector<Piece> all = pieces(text, marksJoin);
  size_t first = all.size(), used = 0;
  while (first > 0 && used + all[first - 1].columns <= columns) used += all[--first].columns;
  while (first < all.size() && all[first].columns == 0) ++first;
  return first < all.size() ? text.substr(all[first].at) : std::string();
}

}  // namespace

std::string safeForTerminal(const std::string& bytes) {
  std::string safe;
  safe.reserve(bytes.size());
  for (size_t at = 0; at < bytes.size();) {
    uint32_t point = 0;
    const size_t length = decode(bytes, at, &point);
    if (length != 0 && showsItself(point)) {
      safe.append(bytes, at, length);
      at += length;
      continue;
    }
    // A control is escaped byte for byte as it stands; of bytes that are no character, only the
    // first, so that a character that follows a cut sequence still shows as itself.
    for (const size_t end = at + (length != 0 ? length : 1); at < end; ++at) {
      escape(uint8_t(bytes[at]), &safe);
    }
  }
  return safe;
}

size_t displayColumns(const std::string& text, bool marksJoin) {
  size_t columns = 0;
  for (const Piece& piece : pieces(text, marksJoin)) columns += piece.columns;
  return columns;
}

std::string leadingColumns(const std::string& text, size_t columns, bool marksJoin) {
  size_t used = 0, end = 0;
  for (const Piece& piece : pieces(text, marksJoin)) {
    if (used + piece.columns > columns) break;
    used += piece.columns;
    end = piece.at + piece.length;
  }
  return text.substr(0, end);
}

std::string cutInMiddle(const std::string& text, size_t columns, bool marksJoin) {
  if (displayColumns(text, marksJoin) <= columns) return text;
  if (columns < 5) return leadingColumns(text, columns, marksJoin);
  const std::string head = leadingColumns(text, (columns - 3) / 2, marksJoin);
  return head + "..." +
         trailingColumns(text, columns - 3 - displayColumns(head, marksJoin), marksJoin);
}
