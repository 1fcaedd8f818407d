#include "platform/Platform.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <sys/stat.h>
#include <unistd.h>

#include "tests/support/TestSupport.h"

namespace {

using testsupport::Join;
using testsupport::MakeTempSubdir;
using testsupport::WriteBytes;

// "照片" in GB18030 and in UTF-8.
const char kPhotoGb[] = "\xD5\xD5\xC6\xAC";
const char kPhotoUtf8[] = "\xE7\x85\xA7\xE7\x89\x87";

TEST(CodePage, RoundTripsChineseAndFourByteCharacters) {
  std::string utf8;
  ASSERT_TRUE(platform::CodePageToUtf8(kPhotoGb, utf8));
  EXPECT_EQ(utf8, kPhotoUtf8);
  std::string back;
  ASSERT_TRUE(platform::Utf8ToCodePage(utf8.c_str(), back));
  EXPECT_EQ(back, kPhotoGb);
  // U+1F600 needs a four-byte GB18030 sequence: lead, digit, lead, digit.
  std::string four;
  ASSERT_TRUE(platform::Utf8ToCodePage("\xF0\x9F\x98\x80", four));
  ASSERT_EQ(four.size(), 4u);
  EXPECT_TRUE(platform::IsDBCSLeadByte(static_cast<unsigned char>(four[0])));
  EXPECT_TRUE(four[1] >= 0x30 && four[1] <= 0x39);
  ASSERT_TRUE(platform::CodePageToUtf8(four.c_str(), utf8));
  EXPECT_EQ(utf8, "\xF0\x9F\x98\x80");
}

TEST(CodePage, DropsCharactersCutInHalf) {
  std::string utf8;
  // "照" cut after its lead byte, then ".bmp"
  ASSERT_TRUE(platform::CodePageToUtf8("a\xD5-1.bmp", utf8));
  EXPECT_EQ(utf8, "a-1.bmp");
  ASSERT_TRUE(platform::CodePageToUtf8("x\xD5", utf8));
  EXPECT_EQ(utf8, "x");
}

TEST(CodePage, RefusesInvalidSequencesThatAreNotCuts) {
  std::string utf8;
  EXPECT_FALSE(platform::CodePageToUtf8("a\x80.bmp", utf8));
  EXPECT_FALSE(platform::CodePageToUtf8("a\x84\x31\x82\x36.bmp", utf8));  // a four-byte code of no character
  std::string text;
  EXPECT_FALSE(platform::Utf8ToCodePage("a\xED\xA0\x80", text));      // a surrogate
  EXPECT_FALSE(platform::Utf8ToCodePage("\xEE\x9E\x8D.bmp", text));   // U+E78D, which GB18030 cannot spell
}

TEST(CodePage, LeadBytes) {
  EXPECT_FALSE(platform::IsDBCSLeadByte(0x80));
  EXPECT_TRUE(platform::IsDBCSLeadByte(0x81));
  EXPECT_TRUE(platform::IsDBCSLeadByte(0xFE));
  EXPECT_FALSE(platform::IsDBCSLeadByte(0xFF));
  EXPECT_FALSE(platform::IsDBCSLeadByte('\\'));
}

TEST(Files, ChineseNamesAppearOnDiskInUtf8) {
  const std::string dir = MakeTempSubdir("names");
  std::string folder;
  ASSERT_TRUE(platform::Utf8ToCodePage(dir.c_str(), folder));
  const std::string gbFolder = folder + "/" + kPhotoGb;
  ASSERT_TRUE(platform::CreateDirectory(gbFolder.c_str()));
  struct stat info {};
  EXPECT_EQ(::stat((dir + "/" + kPhotoUtf8).c_str(), &info), 0);
  EXPECT_TRUE(S_ISDIR(info.st_mode));

  std::FILE* file = platform::OpenFile((gbFolder + "/" + kPhotoGb + ".bmp").c_str(), "wb");
  ASSERT_NE(file, nullptr);
  std::fclose(file);
  EXPECT_TRUE(testsupport::FileExistsOnDisk(dir + "/" + kPhotoUtf8 + "/" + kPhotoUtf8 + ".bmp"));
}

TEST(Files, TheWorkingDirectoryInTheCodePage) {
  const std::string dir = MakeTempSubdir("cwd") + "/" + kPhotoUtf8;
  ASSERT_EQ(::mkdir(dir.c_str(), 0700), 0);
  const std::string saved = platform::GetCurrentDirectory();
  ASSERT_FALSE(saved.empty());
  ASSERT_EQ(::chdir(dir.c_str()), 0);
  std::string expected;
  ASSERT_TRUE(platform::Utf8ToCodePage(dir.c_str(), expected));
  EXPECT_EQ(platform::GetCurrentDirectory(), expected);
  EXPECT_TRUE(platform::IsAbsolutePath(expected.c_str()));
  EXPECT_FALSE(platform::IsAbsolutePath(kPhotoGb));
  EXPECT_FALSE(platform::IsAbsolutePath(""));
  ASSERT_TRUE(platform::SetCurrentDirectory(saved.c_str()));
}

TEST(Wildcards, MatchLikeWindows) {
  EXPECT_TRUE(platform::MatchesWildcard("*.jpg", "IMG_1.JPG"));
  EXPECT_TRUE(platform::MatchesWildcard("*.jpg", "a.jpg"));
  EXPECT_FALSE(platform::MatchesWildcard("*.jpg", "a.jpeg"));
  EXPECT_TRUE(platform::MatchesWildcard("*.jpeg", "B.JPEG"));
  EXPECT_TRUE(platform::MatchesWildcard("a?c", "abc"));
  EXPECT_FALSE(platform::MatchesWildcard("a?c", "ac"));
  EXPECT_TRUE(platform::MatchesWildcard("*.*", "README"));
  EXPECT_TRUE(platform::MatchesWildcard("*", ""));
  // '?' takes a whole two-byte character
  EXPECT_TRUE(platform::MatchesWildcard("?.png", "\xD5\xD5.png"));
}

TEST(FindEntries, SortedByBytesWithDirectoriesMarked) {
  const std::string dir = MakeTempSubdir("find");
  ASSERT_TRUE(WriteBytes(Join(dir, "b.JPG"), {1}));
  ASSERT_TRUE(WriteBytes(Join(dir, "A.jpg"), {1}));
  ASSERT_TRUE(WriteBytes(Join(dir, "c.png"), {1}));
  ::mkdir(Join(dir, "d.jpg").c_str(), 0700);
  const auto entries = platform::FindEntries((dir + "/*.jpg").c_str());
  ASSERT_EQ(entries.size(), 3u);
  EXPECT_EQ(entries[0].name, "A.jpg");
  EXPECT_EQ(entries[1].name, "b.JPG");
  EXPECT_EQ(entries[2].name, "d.jpg");
  EXPECT_FALSE(entries[0].isDirectory);
  EXPECT_TRUE(entries[2].isDirectory);

  EXPECT_TRUE(platform::FindFirstExists((dir + "/C.PNG").c_str()) == false);  // exact paths are exact
  EXPECT_TRUE(platform::FindFirstExists((dir + "/c.png").c_str()));
  EXPECT_TRUE(platform::FindFirstExists(dir.c_str()));
  EXPECT_FALSE(platform::FindFirstExists((dir + "/*.gif").c_str()));
  EXPECT_FALSE(platform::FindFirstExists((dir + "/missing/*.jpg").c_str()));
}

TEST(TempPath, FollowsTmpdirEvenWhenUnusable) {
  const std::string saved = std::getenv("TMPDIR");
  ::setenv("TMPDIR", "/nonexistent-pictomill/", 1);
  EXPECT_EQ(platform::GetTempPath(), "/nonexistent-pictomill");
  ::unsetenv("TMPDIR");
  EXPECT_EQ(platform::GetTempPath(), "/tmp");
  ::setenv("TMPDIR", saved.c_str(), 1);
}

TEST(ScratchFiles, CreatedExclusivelyWithSpaceReserved) {
  const std::string dir = MakeTempSubdir("scratch");
  const std::string path = Join(dir, "ORBCLASS0.tmp");
  platform::FileHandle handle = platform::kNoFile;
  ASSERT_EQ(platform::CreateScratchFile(path.c_str(), 4096, handle), platform::CreateResult::Created);
  struct stat info {};
  ASSERT_EQ(::stat(path.c_str(), &info), 0);
  EXPECT_EQ(info.st_size, 4096);
  EXPECT_EQ(info.st_mode & 0777, 0600u);
  platform::FileHandle second = platform::kNoFile;
  EXPECT_EQ(platform::CreateScratchFile(path.c_str(), 16, second), platform::CreateResult::NameTaken);

  auto* view = static_cast<unsigned char*>(platform::MapFile(handle, 4096));
  ASSERT_NE(view, nullptr);
  view[4095] = 7;
  platform::FlushMappedRange(view + 100, 10);
  platform::UnmapFile(view, 4096);
  platform::CloseFileHandle(handle);
  EXPECT_EQ(testsupport::ReadBytes(path)[4095], 7);
  EXPECT_TRUE(platform::DeleteFile(path.c_str()));
}

TEST(ScratchFiles, NeverFollowAPlantedLink) {
  const std::string dir = MakeTempSubdir("link");
  const std::string victim = Join(dir, "victim");
  ASSERT_TRUE(WriteBytes(victim, {1, 2, 3}));
  const std::string link = Join(dir, "ORBCLASS0.tmp");
  ASSERT_EQ(::symlink(victim.c_str(), link.c_str()), 0);
  platform::FileHandle handle = platform::kNoFile;
  EXPECT_EQ(platform::CreateScratchFile(link.c_str(), 16, handle), platform::CreateResult::NameTaken);
  EXPECT_EQ(testsupport::ReadBytes(victim).size(), 3u);
  ::unlink(link.c_str());
}

}  // namespace
