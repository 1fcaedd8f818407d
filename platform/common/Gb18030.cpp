#include "platform/common/Gb18030.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <iterator>
#include <utility>

namespace platform::gb18030 {
namespace {

struct TwoByteAstral {
  std::uint16_t code;  // lead << 8 | trail
  std::uint32_t codePoint;
};

struct FourByteRun {
  std::uint16_t firstIndex;
  std::uint16_t firstCodePoint;
  std::uint16_t length;
};

// No two-byte code stands for a surrogate, so those values are free to point
// into kTwoByteAstral.
constexpr std::uint16_t kAstralMark = 0xD800;

#include "platform/common/Gb18030Tables.inc"

// A four-byte code's index counts codes from 81308130: the BMP's codes run to
// 8431A439, the supplementary planes run linearly from 90308130 (U+10000).
constexpr std::uint32_t kBmpFourByteCodes = 39420;
constexpr std::uint32_t kSupplementaryIndex = 189000;

constexpr bool IsLead(unsigned byte) { return byte >= 0x81 && byte <= 0xFE; }
constexpr bool IsTrail(unsigned byte) { return byte >= 0x40 && byte <= 0xFE && byte != 0x7F; }
constexpr bool IsDigit(unsigned byte) { return byte >= 0x30 && byte <= 0x39; }
constexpr bool IsSurrogate(char32_t c) { return c >= 0xD800 && c <= 0xDFFF; }

// The searches below rely on these; a bad regeneration fails to compile.
constexpr bool AstralMarksPointIntoTheirTable() {
  for (const auto& row : kTwoByte)
    for (const std::uint16_t unit : row)
      if (IsSurrogate(unit) && unit - kAstralMark >= static_cast<int>(std::size(kTwoByteAstral))) return false;
  return true;
}
static_assert(AstralMarksPointIntoTheirTable());

constexpr bool RunsAreSortedWithoutOverlap() {
  for (std::size_t i = 1; i < std::size(kFourByteRuns); ++i) {
    const FourByteRun& a = kFourByteRuns[i - 1];
    const FourByteRun& b = kFourByteRunsByCodePoint[i - 1];
    if (a.firstIndex + a.length > kFourByteRuns[i].firstIndex) return false;
    if (b.firstCodePoint + b.length > kFourByteRunsByCodePoint[i].firstCodePoint) return false;
  }
  const FourByteRun& last = kFourByteRuns[std::size(kFourByteRuns) - 1];
  return std::size(kFourByteRuns) == std::size(kFourByteRunsByCodePoint) &&
         last.firstIndex + last.length <= kBmpFourByteCodes;
}
static_assert(RunsAreSortedWithoutOverlap());

unsigned ByteAt(std::string_view text, std::size_t i) { return static_cast<unsigned char>(text[i]); }

// The BMP character of a four-byte code's index; false for a gap.
bool FourByteBmpCharacter(std::uint32_t index, char32_t& codePoint) {
  const FourByteRun* run = std::upper_bound(std::begin(kFourByteRuns), std::end(kFourByteRuns), index,
                                            [](std::uint32_t i, const FourByteRun& r) { return i < r.firstIndex; });
  if (run == std::begin(kFourByteRuns)) return false;
  --run;
  if (index - run->firstIndex >= run->length) return false;
  codePoint = run->firstCodePoint + (index - run->firstIndex);
  return true;
}

// Reads the character at text[i] and steps past it; false when none starts there.
bool ReadCharacter(std::string_view text, std::size_t& i, char32_t& codePoint) {
  const std::size_t left = text.size() - i;
  const unsigned lead = ByteAt(text, i);
  if (lead < 0x80) {
    codePoint = lead;
    i += 1;
    return true;
  }
  if (!IsLead(lead) || left < 2) return false;
  const unsigned second = ByteAt(text, i + 1);
  if (IsTrail(second)) {
    const std::uint16_t unit = kTwoByte[lead - 0x81][second - 0x40];
    if (unit == 0) return false;
    codePoint = IsSurrogate(unit) ? kTwoByteAstral[unit - kAstralMark].codePoint : unit;
    i += 2;
    return true;
  }
  if (!IsDigit(second) || left < 4) return false;
  const unsigned third = ByteAt(text, i + 2);
  const unsigned fourth = ByteAt(text, i + 3);
  if (!IsLead(third) || !IsDigit(fourth)) return false;
  const std::uint32_t index = ((lead - 0x81) * 10 + (second - 0x30)) * 1260 + (third - 0x81) * 10 + (fourth - 0x30);
  if (index < kBmpFourByteCodes) {
    if (!FourByteBmpCharacter(index, codePoint)) return false;
  } else if (index >= kSupplementaryIndex && index - kSupplementaryIndex < 0x100000) {
    codePoint = 0x10000 + (index - kSupplementaryIndex);
  } else {
    return false;
  }
  i += 4;
  return true;
}

void AppendTwoByte(std::uint32_t code, std::string& text) {
  text.push_back(static_cast<char>(code >> 8));
  text.push_back(static_cast<char>(code & 0xFF));
}

void AppendFourByte(std::uint32_t index, std::string& text) {
  const char bytes[4] = {
      static_cast<char>(0x81 + index / 12600),
      static_cast<char>(0x30 + index / 1260 % 10),
      static_cast<char>(0x81 + index / 10 % 126),
      static_cast<char>(0x30 + index % 10),
  };
  text.append(bytes, 4);
}

// Appends the code of one scalar value; false when GB18030 has none for it.
bool WriteCharacter(char32_t codePoint, std::string& text) {
  if (codePoint < 0x80) {
    text.push_back(static_cast<char>(codePoint));
    return true;
  }
  if (codePoint < 0x10000) {
    if (const std::uint16_t code = kBmpToTwoByte[codePoint]; code != 0) {
      AppendTwoByte(code, text);
      return true;
    }
    const FourByteRun* run =
        std::upper_bound(std::begin(kFourByteRunsByCodePoint), std::end(kFourByteRunsByCodePoint), codePoint,
                         [](char32_t c, const FourByteRun& r) { return c < r.firstCodePoint; });
    if (run == std::begin(kFourByteRunsByCodePoint)) return false;
    --run;
    if (codePoint - run->firstCodePoint >= run->length) return false;
    AppendFourByte(run->firstIndex + (codePoint - run->firstCodePoint), text);
    return true;
  }
  if (codePoint > 0x10FFFF) return false;
  for (const TwoByteAstral& astral : kTwoByteAstral) {
    if (astral.codePoint == codePoint) {
      AppendTwoByte(astral.code, text);
      return true;
    }
  }
  AppendFourByte(kSupplementaryIndex + (codePoint - 0x10000), text);
  return true;
}

bool ReadUtf16(std::u16string_view utf16, std::size_t& i, char32_t& codePoint) {
  const char16_t unit = utf16[i];
  if (!IsSurrogate(unit)) {
    codePoint = unit;
    i += 1;
    return true;
  }
  if (unit >= 0xDC00 || i + 1 >= utf16.size()) return false;
  const char16_t low = utf16[i + 1];
  if (low < 0xDC00 || low > 0xDFFF) return false;
  codePoint = 0x10000 + ((static_cast<char32_t>(unit) - 0xD800) << 10) + (static_cast<char32_t>(low) - 0xDC00);
  i += 2;
  return true;
}

void AppendUtf16(char32_t codePoint, std::u16string& utf16) {
  if (codePoint < 0x10000) {
    utf16.push_back(static_cast<char16_t>(codePoint));
  } else {
    utf16.push_back(static_cast<char16_t>(0xD800 + ((codePoint - 0x10000) >> 10)));
    utf16.push_back(static_cast<char16_t>(0xDC00 + ((codePoint - 0x10000) & 0x3FF)));
  }
}

bool ReadUtf8(std::string_view utf8, std::size_t& i, char32_t& codePoint) {
  const unsigned first = ByteAt(utf8, i);
  if (first < 0x80) {
    codePoint = first;
    i += 1;
    return true;
  }
  std::size_t length = 0;
  char32_t smallest = 0;
  if (first >= 0xC2 && first <= 0xDF) {
    length = 2;
    smallest = 0x80;
    codePoint = first & 0x1F;
  } else if (first >= 0xE0 && first <= 0xEF) {
    length = 3;
    smallest = 0x800;
    codePoint = first & 0x0F;
  } else if (first >= 0xF0 && first <= 0xF4) {
    length = 4;
    smallest = 0x10000;
    codePoint = first & 0x07;
  } else {
    return false;
  }
  if (utf8.size() - i < length) return false;
  for (std::size_t k = 1; k < length; ++k) {
    const unsigned next = ByteAt(utf8, i + k);
    if ((next & 0xC0) != 0x80) return false;
    codePoint = codePoint << 6 | (next & 0x3F);
  }
  if (codePoint < smallest || codePoint > 0x10FFFF || IsSurrogate(codePoint)) return false;
  i += length;
  return true;
}

void AppendUtf8(char32_t codePoint, std::string& utf8) {
  if (codePoint < 0x80) {
    utf8.push_back(static_cast<char>(codePoint));
  } else if (codePoint < 0x800) {
    utf8.push_back(static_cast<char>(0xC0 | codePoint >> 6));
    utf8.push_back(static_cast<char>(0x80 | (codePoint & 0x3F)));
  } else if (codePoint < 0x10000) {
    utf8.push_back(static_cast<char>(0xE0 | codePoint >> 12));
    utf8.push_back(static_cast<char>(0x80 | (codePoint >> 6 & 0x3F)));
    utf8.push_back(static_cast<char>(0x80 | (codePoint & 0x3F)));
  } else {
    utf8.push_back(static_cast<char>(0xF0 | codePoint >> 18));
    utf8.push_back(static_cast<char>(0x80 | (codePoint >> 12 & 0x3F)));
    utf8.push_back(static_cast<char>(0x80 | (codePoint >> 6 & 0x3F)));
    utf8.push_back(static_cast<char>(0x80 | (codePoint & 0x3F)));
  }
}

// The result is built aside, so the output may alias the input.
template <typename Input, typename Output, typename Read, typename Append>
bool Convert(Input input, Output& output, std::size_t reserve, Read read, Append append) {
  Output result;
  result.reserve(reserve);
  for (std::size_t i = 0; i < input.size();) {
    char32_t codePoint = 0;
    if (!read(input, i, codePoint) || !append(codePoint, result)) {
      output.clear();
      return false;
    }
  }
  output = std::move(result);
  return true;
}

bool AppendUtf16Always(char32_t codePoint, std::u16string& utf16) {
  AppendUtf16(codePoint, utf16);
  return true;
}

bool AppendUtf8Always(char32_t codePoint, std::string& utf8) {
  AppendUtf8(codePoint, utf8);
  return true;
}

}  // namespace

bool ToUtf16(std::string_view text, std::u16string& utf16) {
  return Convert(text, utf16, text.size(), ReadCharacter, AppendUtf16Always);
}

bool FromUtf16(std::u16string_view utf16, std::string& text) {
  return Convert(utf16, text, utf16.size() * 2, ReadUtf16, WriteCharacter);
}

bool ToUtf8(std::string_view text, std::string& utf8) {
  return Convert(text, utf8, text.size() + text.size() / 2, ReadCharacter, AppendUtf8Always);
}

bool FromUtf8(std::string_view utf8, std::string& text) {
  return Convert(utf8, text, utf8.size(), ReadUtf8, WriteCharacter);
}

std::string DropCutCharacters(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size();) {
    const std::size_t left = text.size() - i;
    if (!IsLead(ByteAt(text, i))) {
      out.push_back(text[i]);
      i += 1;
    } else if (left >= 2 && IsTrail(ByteAt(text, i + 1))) {
      out.append(text.substr(i, 2));
      i += 2;
    } else if (left >= 4 && IsDigit(ByteAt(text, i + 1)) && IsLead(ByteAt(text, i + 2)) &&
               IsDigit(ByteAt(text, i + 3))) {
      out.append(text.substr(i, 4));
      i += 4;
    } else {
      i += 1;  // a lone lead byte: the rest of its character was cut off
    }
  }
  return out;
}

}  // namespace platform::gb18030
