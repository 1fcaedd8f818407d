#include "host/Text.h"

#include <charconv>
#include <cstring>

#include "platform/Platform.h"

namespace host {
namespace {

std::size_t Length(const Text& text) { return std::strlen(text.c_str()); }

}  // namespace

int TextLength(const Text& text) { return static_cast<int>(Length(text)); }

Text LeftText(const Text& text, int count) {
  if (count <= 0) return Text();
  const std::size_t length = Length(text);
  return text.substr(0, std::min(length, static_cast<std::size_t>(count)));
}

Text RightText(const Text& text, int count) {
  if (count <= 0) return Text();
  const std::size_t length = Length(text);
  const std::size_t take = std::min(length, static_cast<std::size_t>(count));
  return text.substr(length - take, take);
}

std::vector<Text> SplitText(const Text& text, const Text& separator, int maximum) {
  std::vector<Text> pieces;
  const std::size_t length = Length(text);
  const std::size_t separatorLength = Length(separator);
  if (maximum != kNoMaximum && maximum < 0) maximum = 0;
  if (length == 0 || maximum == 0) return pieces;
  if (separatorLength == 0) {
    pieces.push_back(text.substr(0, length));
    return pieces;
  }
  const auto limitReached = [&] { return maximum != kNoMaximum && pieces.size() >= static_cast<std::size_t>(maximum); };
  std::size_t start = 0;
  std::size_t i = 0;
  while (i < length) {
    if (length - i >= separatorLength && std::memcmp(text.data() + i, separator.data(), separatorLength) == 0) {
      pieces.push_back(text.substr(start, i - start));
      i += separatorLength;
      start = i;
      if (limitReached()) return pieces;
      continue;
    }
    // A two-byte character is stepped over whole: its second byte may be '\' or ','.
    const bool lead = platform::IsDBCSLeadByte(static_cast<unsigned char>(text[i])) && i + 1 < length;
    i += lead ? 2 : 1;
  }
  if (start < length) pieces.push_back(text.substr(start, length - start));
  return pieces;
}

Text ToText(std::int64_t value) {
  char buffer[32];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
  return Text(buffer, result.ptr);
}

Text ToText(int value) { return ToText(static_cast<std::int64_t>(value)); }
Text ToText(unsigned char value) { return ToText(static_cast<std::int64_t>(value)); }
Text ToText(bool value) { return value ? "真" : "假"; }

Text ToText(double value) {
  char buffer[64];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
  return Text(buffer, result.ptr);
}

Text ToText(const std::vector<std::uint8_t>& bytes) {
  Text text;
  for (const std::uint8_t byte : bytes) {
    if (byte == 0) break;
    text.push_back(static_cast<char>(byte));
  }
  return text;
}

}  // namespace host
