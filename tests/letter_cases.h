// What each letter argument makes of one tree: a 1536-byte file and, in a folder below, a file of
// 3 MiB and 512 bytes, 3147776 bytes in all. Every build must print these last columns.
#pragma once

struct LetterCase {
  const char* letter;
  const char* column;
};

inline const LetterCase kLetterCases[] = {
    {"b", "3147776.00\r"}, {"bytes", "3147776.00\r"},
    {"K", "3074.00\r"},    {"kilo", "3074.00\r"},
    {"m", "3\r"},          {"", "3\r"},
    {"q", "3\r"},          {"g", "0.00\r"},
    {"Gig", "0.00\r"},
};
