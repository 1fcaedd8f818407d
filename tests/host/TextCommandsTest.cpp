// The text commands count bytes and never cut or match inside a two-byte
// character. This file is compiled with the GB18030 execution character set,
// so Chinese literals are code-page bytes.
#include <gtest/gtest.h>

#include "host/Text.h"

namespace {

using host::Text;
using Pieces = std::vector<Text>;

TEST(TextCommands, LengthCountsBytesOfTwoByteCharacters) {
  EXPECT_EQ(host::TextLength(""), 0);
  EXPECT_EQ(host::TextLength("abc"), 3);
  EXPECT_EQ(host::TextLength("图片"), 4);
  EXPECT_EQ(host::TextLength("改-cat-1.png"), 12);
  // An embedded zero ends the text, as with the window system's texts.
  EXPECT_EQ(host::TextLength(Text("ab\0cd", 5)), 2);
}

TEST(TextCommands, LeftAndRightClampTheirCount) {
  const Text seven = "abcdefg";
  EXPECT_EQ(host::LeftText(seven, -3), "");
  EXPECT_EQ(host::LeftText(seven, 0), "");
  EXPECT_EQ(host::LeftText(seven, 100), seven);
  EXPECT_EQ(host::LeftText(seven, 3), "abc");
  EXPECT_EQ(host::RightText(seven, -1), "");
  EXPECT_EQ(host::RightText(seven, 100), seven);
  EXPECT_EQ(host::RightText(seven, 3), "efg");
  // Bytes, not characters: the base name of a four-byte Chinese file name.
  const Text name = "照片.jpg";
  EXPECT_EQ(host::LeftText(name, host::TextLength(name) - 4), "照片");
  EXPECT_EQ(host::RightText("a.JPG", 3), "JPG");
  EXPECT_EQ(host::RightText("cat.jpeg", 3), "peg");
  EXPECT_EQ(host::RightText("a\r\nb\r\n", 3), "b\r\n");
}

TEST(TextCommands, SplitWithTheDefaultSeparator) {
  EXPECT_EQ(host::SplitText("a,,b"), (Pieces{"a", "", "b"}));
  EXPECT_EQ(host::SplitText("a,b,"), (Pieces{"a", "b"}));
  EXPECT_EQ(host::SplitText(",a"), (Pieces{"", "a"}));
  EXPECT_EQ(host::SplitText(""), Pieces{});
  EXPECT_EQ(host::SplitText("abc"), Pieces{"abc"});
}

TEST(TextCommands, SplitNeverMatchesTheSecondByteOfACharacter) {
  // A character whose second byte is '\\' (0x95 0x5C); and a lead byte followed
  // by ',' which the scan must step over in the same way.
  const Text backslashTrail = "\x95\x5C";
  const Text commaTrail = "\x81\x2C";
  ASSERT_EQ(backslashTrail.size(), 2u);
  const Text path = "C:\\" + backslashTrail + "\\b.jpg";
  EXPECT_EQ(host::SplitText(path, "\\"), (Pieces{"C:", backslashTrail, "b.jpg"}));
  EXPECT_EQ(host::SplitText("/tmp/" + backslashTrail + ".png", "/"), (Pieces{"", "tmp", backslashTrail + ".png"}));
  // The scan steps over lead byte + follower whatever the follower is.
  EXPECT_EQ(host::SplitText("x" + commaTrail + "y,z"), (Pieces{"x" + commaTrail + "y", "z"}));
  // A trailing separator adds no empty piece.
  EXPECT_EQ(host::SplitText("/a/b/", "/"), (Pieces{"", "a", "b"}));
}

TEST(TextCommands, SplitWithMaximumAndSpecialSeparators) {
  EXPECT_EQ(host::SplitText("a,b,c", ",", 2), (Pieces{"a", "b"}));
  EXPECT_EQ(host::SplitText("a,b,c", ",", 1), Pieces{"a"});
  EXPECT_EQ(host::SplitText("a,b,c", ",", 3), (Pieces{"a", "b", "c"}));
  EXPECT_EQ(host::SplitText("a,b,c", ",", 0), Pieces{});
  EXPECT_EQ(host::SplitText("a,b,c", ",", -5), Pieces{});
  EXPECT_EQ(host::SplitText("a,b", ""), Pieces{"a,b"});
  EXPECT_EQ(host::SplitText("a\r\nb\r\n", "\r\n"), (Pieces{"a", "b"}));
  EXPECT_EQ(host::SplitText("单个转换|批量转换", "|"), (Pieces{"单个转换", "批量转换"}));
}

TEST(TextCommands, ToTextForms) {
  EXPECT_EQ(host::ToText(0), "0");
  EXPECT_EQ(host::ToText(-17), "-17");
  EXPECT_EQ(host::ToText(2147483647), "2147483647");
  EXPECT_EQ(host::ToText(static_cast<unsigned char>(200)), "200");
  EXPECT_EQ(host::ToText(true), "真");
  EXPECT_EQ(host::ToText(false), "假");
  EXPECT_EQ(host::ToText(0.5), "0.5");
  EXPECT_EQ(host::ToText(std::vector<std::uint8_t>{'a', 'b', 0, 'c'}), "ab");
  EXPECT_EQ(host::ToText(std::vector<std::uint8_t>{'x', 'y'}), "xy");
  EXPECT_EQ(host::ToText(std::vector<std::uint8_t>{}), "");
}

}  // namespace
