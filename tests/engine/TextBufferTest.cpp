#include "engine/core/TextBuffer.h"
#include "platform/Platform.h"

#include <gtest/gtest.h>

namespace {

using engine::TextBuffer;

// "照" is D5 D5 in the code page; its second byte is no separator.
const char kZhao[] = "\xD5\xD5";

TEST(TextBuffer, AssignAndAppend) {
  TextBuffer text;
  EXPECT_EQ(text.Assign(""), 0);
  EXPECT_TRUE(text.IsEmpty());
  EXPECT_EQ(text.ByteSize(), 0);
  EXPECT_EQ(text.Append("ab"), 1);  // empty buffer: as assign
  EXPECT_STREQ(text.Text(), "ab");
  EXPECT_EQ(text.Append(""), 0);
  EXPECT_STREQ(text.Text(), "ab");
  EXPECT_EQ(text.Append(kZhao), 1);
  EXPECT_EQ(text.CharacterCount(), 3u);
  EXPECT_EQ(text.ByteSize(), 5);
}

TEST(TextBuffer, AppendNumberIsThirtyTwoBit) {
  TextBuffer text("n=");
  text.AppendNumber(-2147483647 - 1);
  EXPECT_STREQ(text.Text(), "n=-2147483648");
  text.Assign("x");
  text.AppendNumber(2147483647);
  EXPECT_STREQ(text.Text(), "x2147483647");
}

TEST(TextBuffer, LeftRightMidKeepTwoByteCharactersWhole) {
  TextBuffer text((std::string("a") + kZhao + "b").c_str());
  ASSERT_EQ(text.CharacterCount(), 3u);
  TextBuffer part;
  ASSERT_EQ(text.Right(part, 2), 1);
  EXPECT_EQ(std::string(part.Text()), std::string(kZhao) + "b");
  ASSERT_EQ(text.Left(part, 2), 1);
  EXPECT_EQ(std::string(part.Text()), std::string("a") + kZhao);
  EXPECT_EQ(text.Left(part, 4), 0);
  ASSERT_EQ(text.Mid(part, 2, 1), 1);
  EXPECT_EQ(std::string(part.Text()), kZhao);
  ASSERT_EQ(text.Mid(part, 2, 10), 1);  // fewer when the text ends first
  EXPECT_EQ(std::string(part.Text()), std::string(kZhao) + "b");

  TextBuffer tail((std::string("x") + kZhao).c_str());
  ASSERT_EQ(tail.Right(part, 1), 1);
  EXPECT_EQ(std::string(part.Text()), kZhao);
}

TEST(TextBuffer, LoneLeadByteAtTheEndNeverReadsPastTheTerminator) {
  TextBuffer text("ab\xD5");
  EXPECT_EQ(text.CharacterCount(), 3u);
  TextBuffer part;
  ASSERT_EQ(text.Right(part, 1), 1);
  EXPECT_STREQ(part.Text(), "\xD5");
  ASSERT_EQ(text.Mid(part, 3, 5), 1);
  EXPECT_STREQ(part.Text(), "\xD5");
}

TEST(TextBuffer, TrailingSeparatorLooksAtWholeCharacters) {
  // A two-byte character whose second byte equals the separator byte.
  const std::string sep(1, platform::kPathSeparator);
  std::string tricky = "dir";
  tricky += '\x81';
  tricky += platform::kPathSeparator == '/' ? '\x2F' : '\x5C';
  TextBuffer text(tricky.c_str());
  // 0x81 0x2F is not a valid pair, but the lead byte still takes its follower.
  text.AddTrailingSeparator();
  EXPECT_EQ(std::string(text.Text()), tricky + sep);
  text.RemoveTrailingSeparator();
  EXPECT_EQ(std::string(text.Text()), tricky);
  text.RemoveTrailingSeparator();
  EXPECT_EQ(std::string(text.Text()), tricky);

  TextBuffer plain(("a" + sep).c_str());
  plain.AddTrailingSeparator();
  EXPECT_EQ(std::string(plain.Text()), "a" + sep);
  TextBuffer empty;
  EXPECT_EQ(empty.RemoveTrailingSeparator(), 0);
}

TEST(TextBuffer, EqualsWithAndWithoutCase) {
  TextBuffer text("Photo.JPG");
  EXPECT_EQ(text.Equals("photo.jpg", 1), 1);
  EXPECT_EQ(text.Equals("photo.jpg", 0), 0);
  EXPECT_EQ(text.Equals("Photo.JPG", 2), 1);
  EXPECT_EQ(text.Equals("Photo.JP", 1), 0);
}

}  // namespace
