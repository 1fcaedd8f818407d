// The small text commands. Texts are byte strings in the program's code page;
// lengths and positions count bytes, and a byte of 0x80 or more starts a
// two-byte character (a Chinese character counts two).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace host {

using Text = std::string;

// Bytes before the terminator (an embedded zero ends the text).
int TextLength(const Text& text);
// Empty when count <= 0, else the first min(count, length) bytes.
Text LeftText(const Text& text, int count);
// Empty when count <= 0, else the last min(count, length) bytes.
Text RightText(const Text& text, int count);

// Splits at every occurrence of the separator ("," by default), stepping over
// two-byte characters whole so that a separator byte inside one never
// matches. kNoMaximum (the default) means unlimited; any other negative
// maximum counts as 0. When the maximum is reached the rest is dropped; a
// non-empty rest after the scan is the last element. An empty separator gives
// the whole text; an empty text or a maximum of 0 gives an empty array.
inline constexpr int kNoMaximum = -0x7FFFFFFF;
std::vector<Text> SplitText(const Text& text, const Text& separator = ",", int maximum = kNoMaximum);

// Values as text: integers in decimal, a byte as unsigned, a boolean as
// "真"/"假", floating values in the shortest form that reads back, a byte
// array up to its first zero byte.
Text ToText(int value);
Text ToText(std::int64_t value);
Text ToText(unsigned char value);
Text ToText(bool value);
Text ToText(double value);
Text ToText(const std::vector<std::uint8_t>& bytes);
inline Text ToText(const Text& text) { return text; }
inline Text ToText(const char* text) { return text != nullptr ? Text(text) : Text(); }

}  // namespace host
