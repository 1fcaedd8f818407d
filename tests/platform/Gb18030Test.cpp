// The code-page codec on its own: known codes, refusals and the round trip of
// every scalar value. Needs no system converter, so it holds a Windows build to
// the same bytes as Linux; Gb18030IconvTest.cpp compares with glibc.
#include "platform/common/Gb18030.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

namespace gb = platform::gb18030;

std::string Utf8(const char8_t* text) { return std::string(reinterpret_cast<const char*>(text)); }

std::u16string Utf16Of(char32_t codePoint) {
  if (codePoint < 0x10000) return std::u16string(1, static_cast<char16_t>(codePoint));
  return {static_cast<char16_t>(0xD800 + ((codePoint - 0x10000) >> 10)),
          static_cast<char16_t>(0xDC00 + ((codePoint - 0x10000) & 0x3FF))};
}

struct Known {
  std::string_view gb18030;
  std::u16string_view utf16;
  const char8_t* utf8;
};

// As Debian 12's iconv has them; the literals' UTF forms are the compiler's.
const Known kKnown[] = {
    {"\xD5\xD5\xC6\xAC", u"\u7167\u7247", u8"\u7167\u7247"},                // 照片
    {"\x81\x30\x81\x30", u"\u0080", u8"\u0080"},                            // first four-byte code
    {"\x81\x35\xF4\x37", u"\uE7C7", u8"\uE7C7"},                            // swapped with A8BC
    {"\xA8\xBC", u"\u1E3F", u8"\u1E3F"},
    {"\xA3\xA0", u"\uE5E5", u8"\uE5E5"},
    {"\xA6\xD9\xA6\xF3", u"\uFE10\uFE19", u8"\uFE10\uFE19"},
    {"\xFE\x59\xFE\xA0", u"\u9FB4\u9FBB", u8"\u9FB4\u9FBB"},
    {"\xAA\xA1", u"\uE000", u8"\uE000"},
    {"\x84\x31\xA4\x39", u"\uFFFF", u8"\uFFFF"},                            // last BMP code
    {"\x90\x30\x81\x30", u"\U00010000", u8"\U00010000"},
    {"\x94\x39\xFC\x36", u"\U0001F600", u8"\U0001F600"},
    {"\xE3\x32\x9A\x35", u"\U0010FFFF", u8"\U0010FFFF"},
    {"\xFE\x51", u"\U00020087", u8"\U00020087"},                            // a two-byte code outside the BMP
};

TEST(Gb18030, KnownCodesBothWays) {
  for (const Known& known : kKnown) {
    const std::string bytes(known.gb18030);
    const std::string utf8 = Utf8(known.utf8);
    std::u16string utf16;
    std::string text;
    EXPECT_TRUE(gb::ToUtf16(bytes, utf16) && utf16 == known.utf16) << bytes;
    EXPECT_TRUE(gb::FromUtf16(known.utf16, text) && text == bytes) << bytes;
    EXPECT_TRUE(gb::ToUtf8(bytes, text) && text == utf8) << bytes;
    EXPECT_TRUE(gb::FromUtf8(utf8, text) && text == bytes) << bytes;
  }
  // A zero byte is a character like any other: lengths come from the views.
  const std::string withZero("a\0b", 3);
  std::u16string utf16;
  std::string text;
  EXPECT_TRUE(gb::ToUtf16(withZero, utf16) && utf16 == std::u16string_view(u"a\0b", 3));
  EXPECT_TRUE(gb::FromUtf16(utf16, text) && text == withZero);
  EXPECT_TRUE(gb::ToUtf8(withZero, text) && text == withZero);
  EXPECT_TRUE(gb::FromUtf8(withZero, text) && text == withZero);
}

TEST(Gb18030, OneWayAndMissingCodes) {
  // The linear code of U+20087 still reads as it, but the character is written FE51.
  std::u16string utf16;
  ASSERT_TRUE(gb::ToUtf16("\x95\x32\x90\x31", utf16));
  EXPECT_EQ(utf16, u"\U00020087");
  // Old codes of characters that moved to two-byte codes read as nothing.
  EXPECT_FALSE(gb::ToUtf16("\x84\x31\x82\x36", utf16));  // once U+FE10
  EXPECT_FALSE(gb::ToUtf16("\x82\x35\x90\x37", utf16));  // once U+9FB4
  std::string text = "stale";
  EXPECT_FALSE(gb::FromUtf16(u"a\uE78D", text));  // private use, once A6D9
  EXPECT_EQ(text, "");
  EXPECT_FALSE(gb::FromUtf8(Utf8(u8"\uE816"), text));  // private use, once FE51
  // Unpaired surrogates (the UTF-8 refusals are tested against iconv).
  EXPECT_FALSE(gb::FromUtf16(std::u16string{char16_t{0xD83D}, u'a'}, text));
  EXPECT_FALSE(gb::FromUtf16(std::u16string{char16_t{0xDE00}, char16_t{0xD83D}}, text));
}

TEST(Gb18030, RefusesCutAndInvalidSequences) {
  const std::vector<std::string> bad = {
      "\x81",              // a lead alone
      "\x81\x30",          // lead, digit
      "\x81\x30\x81",      // lead, digit, lead
      "\x80", "\xFF",      // no single byte 0x80 or 0xFF
      "\x81\x7F", "\x81\xFF", "\x81\x3F", std::string("\xFE\x00", 2),  // not a trail
      "\x81\x30\x41",      // a digit after a lead that is not a four-byte code
      "\x81\x30\x81\x2F", "\x81\x30\xFF\x30", "\x81\x30\x7F\x30",
      "\x84\x31\xA5\x30",  // past the BMP's four-byte codes
      "\x8F\x39\xFE\x39",  // before the supplementary planes
      "\xE3\x32\x9A\x36",  // past U+10FFFF
      "\xFE\x39\xFE\x39",
  };
  for (const std::string& sequence : bad) {
    // What follows starts no trail or digit, so the sequence stays as it is.
    for (const std::string& text : {sequence, "ab" + sequence, sequence + ".b", "\xD5\xD5" + sequence + ".\xD5\xD5"}) {
      std::u16string utf16 = u"stale";
      std::string utf8 = "stale";
      EXPECT_FALSE(gb::ToUtf16(text, utf16)) << testing::PrintToString(text);
      EXPECT_FALSE(gb::ToUtf8(text, utf8)) << testing::PrintToString(text);
      EXPECT_TRUE(utf16.empty() && utf8.empty());
    }
  }
}

// Every scalar value that has a code reads back as itself, and only the
// private-use code points whose codes went to other characters have none.
TEST(Gb18030, EveryScalarValueRoundTrips) {
  std::vector<char32_t> unwritable;
  std::string text;
  std::u16string back;
  for (char32_t codePoint = 0; codePoint <= 0x10FFFF; ++codePoint) {
    if (codePoint >= 0xD800 && codePoint <= 0xDFFF) continue;
    const std::u16string utf16 = Utf16Of(codePoint);
    if (!gb::FromUtf16(utf16, text)) {
      unwritable.push_back(codePoint);
      continue;
    }
    if (!gb::ToUtf16(text, back) || back != utf16) {
      ADD_FAILURE() << "U+" << std::hex << static_cast<unsigned>(codePoint);
      return;
    }
  }
  std::vector<char32_t> expected;
  for (char32_t c = 0xE78D; c <= 0xE796; ++c) expected.push_back(c);
  for (char32_t c : {0xE816, 0xE817, 0xE818, 0xE81E, 0xE826, 0xE82B, 0xE82C, 0xE831, 0xE832, 0xE83B, 0xE843, 0xE854,
                     0xE855, 0xE864})
    expected.push_back(c);
  EXPECT_EQ(unwritable, expected);
}

TEST(Gb18030, DropCutCharactersKeepsWholeUnits) {
  EXPECT_EQ(gb::DropCutCharacters("a\xD5-1.bmp"), "a-1.bmp");
  EXPECT_EQ(gb::DropCutCharacters("x\xD5"), "x");
  EXPECT_EQ(gb::DropCutCharacters("\xD5\xD5\x81\x30\x81\x30"), "\xD5\xD5\x81\x30\x81\x30");
  EXPECT_EQ(gb::DropCutCharacters("\x81\x30\x81"), "0");  // both leads lose their characters
  EXPECT_EQ(gb::DropCutCharacters("\x81\x30\x81\x30\x81"), "\x81\x30\x81\x30");
  // Only cut leads go: other invalid bytes stay for the conversion to refuse.
  EXPECT_EQ(gb::DropCutCharacters("\x80\xFF\x81\x7F"), "\x80\xFF\x7F");
  EXPECT_EQ(gb::DropCutCharacters(std::string_view("a\0\xD5", 3)), std::string("a\0", 2));
  // The end of the view is the end of the text, whatever lies beyond it.
  EXPECT_EQ(gb::DropCutCharacters(std::string_view("x\xD5\x41", 2)), "x");
  EXPECT_EQ(gb::DropCutCharacters(std::string_view("\x81\x30\x81\x30", 3)), "0");
  std::u16string utf16;
  EXPECT_FALSE(gb::ToUtf16(std::string_view("\xD5\xD5", 1), utf16));
  EXPECT_FALSE(gb::ToUtf16(std::string_view("\x81\x30\x81\x30", 3), utf16));
}

}  // namespace
