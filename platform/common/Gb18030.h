// The program's code page, GB18030, to and from Unicode, by our own tables
// (made from glibc's iconv by tools/MakeGb18030Tables.cpp), so that every
// system reads and writes the same bytes and no system table is needed.
//
// A character is one byte 0x00-0x7F, two bytes (lead 0x81-0xFE, trail
// 0x40-0x7E or 0x80-0xFE), or four bytes (lead, digit 0x30-0x39, lead, digit).
// The conversions touch nothing but their arguments; on failure the output is
// left empty.
#pragma once

#include <string>
#include <string_view>

namespace platform::gb18030 {

// Strict decoding: a truncated or invalid sequence, or a code point GB18030 cannot spell, makes the call return false.
bool ToUtf16(std::string_view text, std::u16string& utf16);
bool FromUtf16(std::u16string_view utf16, std::string& text);  // unpaired surrogates: false
bool ToUtf8(std::string_view text, std::string& utf8);
bool FromUtf8(std::string_view utf8, std::string& text);  // invalid UTF-8 (overlong, surrogates, > U+10FFFF): false

// Drops every lead byte that starts no complete unit (a two-byte unit or a
// four-byte sequence), so that a text cut by bytes somewhere inside it still
// converts. Everything else is kept as it is, valid or not.
std::string DropCutCharacters(std::string_view text);

}  // namespace platform::gb18030
