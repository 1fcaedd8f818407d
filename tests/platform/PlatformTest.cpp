#include "platform/Platform.h"

#include <gtest/gtest.h>

#include <filesystem>

#include <cstdlib>
#ifdef _WIN32
#ifndef NOMINMAX
#define NOMINMAX
#endif
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#undef CreateDirectory
#undef DeleteFile
#undef GetCurrentDirectory
#undef SetCurrentDirectory
#undef GetTempPath
#else
#include <sys/stat.h>
#include <unistd.h>
#endif

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

// On disk the names are the system's own spelling (UTF-8 on Linux, UTF-16 on
// Windows), which the test reads back without the platform layer.
TEST(Files, ChineseNamesAppearOnDiskInTheSystemsEncoding) {
  const std::string dir = MakeTempSubdir("names");
  std::string folder;
  ASSERT_TRUE(platform::Utf8ToCodePage(dir.c_str(), folder));
  const std::string gbFolder = Join(folder, kPhotoGb);
  ASSERT_TRUE(platform::CreateDirectory(gbFolder.c_str()));
  EXPECT_TRUE(std::filesystem::is_directory(testsupport::FsPath(Join(dir, kPhotoUtf8))));

  std::FILE* file = platform::OpenFile(Join(gbFolder, std::string(kPhotoGb) + ".bmp").c_str(), "wb");
  ASSERT_NE(file, nullptr);
  std::fclose(file);
  EXPECT_TRUE(testsupport::FileExistsOnDisk(Join(Join(dir, kPhotoUtf8), std::string(kPhotoUtf8) + ".bmp")));
}

TEST(Files, TheWorkingDirectoryInTheCodePage) {
  const std::string dir = Join(MakeTempSubdir("cwd"), kPhotoUtf8);
  ASSERT_TRUE(testsupport::MakeDirectory(dir));
  const std::string saved = platform::GetCurrentDirectory();
  ASSERT_FALSE(saved.empty());
  std::filesystem::current_path(testsupport::FsPath(dir));
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
  ASSERT_TRUE(testsupport::MakeDirectory(Join(dir, "d.jpg")));
  const auto entries = platform::FindEntries(Join(dir, "*.jpg").c_str());
  ASSERT_EQ(entries.size(), 3u);
  EXPECT_EQ(entries[0].name, "A.jpg");
  EXPECT_EQ(entries[1].name, "b.JPG");
  EXPECT_EQ(entries[2].name, "d.jpg");
  EXPECT_FALSE(entries[0].isDirectory);
  EXPECT_TRUE(entries[2].isDirectory);

#ifdef _WIN32
  // Windows names are case-blind: the system's search finds the file as it is spelt on disk.
  const auto exact = platform::FindEntries(Join(dir, "C.PNG").c_str());
  ASSERT_EQ(exact.size(), 1u);
  EXPECT_EQ(exact[0].name, "c.png");
#else
  EXPECT_TRUE(platform::FindFirstExists(Join(dir, "C.PNG").c_str()) == false);  // exact paths are exact
#endif
  EXPECT_TRUE(platform::FindFirstExists(Join(dir, "c.png").c_str()));
  EXPECT_TRUE(platform::FindFirstExists(dir.c_str()));
  EXPECT_FALSE(platform::FindFirstExists(Join(dir, "*.gif").c_str()));
  EXPECT_FALSE(platform::FindFirstExists(Join(Join(dir, "missing"), "*.jpg").c_str()));
}

#ifdef _WIN32
TEST(TempPath, IsWhatTheSystemAnswersWithoutTheTrailingSeparator) {
  const std::string dir = MakeTempSubdir("temp");
  {
    testsupport::TmpdirOverride override(dir + "\\");
    EXPECT_EQ(platform::GetTempPath(), dir);
  }
  // Used as given, even when it is not there: no fallback.
  testsupport::TmpdirOverride missing(Join(dir, "missing"));
  EXPECT_EQ(platform::GetTempPath(), Join(dir, "missing"));
}
#else
TEST(TempPath, FollowsTmpdirEvenWhenUnusable) {
  const std::string saved = std::getenv("TMPDIR");
  ::setenv("TMPDIR", "/nonexistent-pictomill/", 1);
  EXPECT_EQ(platform::GetTempPath(), "/nonexistent-pictomill");
  ::unsetenv("TMPDIR");
  EXPECT_EQ(platform::GetTempPath(), "/tmp");
  ::setenv("TMPDIR", saved.c_str(), 1);
}
#endif

TEST(ScratchFiles, CreatedExclusivelyWithSpaceReserved) {
  const std::string dir = MakeTempSubdir("scratch");
  const std::string path = Join(dir, "ORBCLASS0.tmp");
  platform::FileHandle handle = platform::kNoFile;
  ASSERT_EQ(platform::CreateScratchFile(path.c_str(), 4096, handle), platform::CreateResult::Created);
  EXPECT_EQ(testsupport::ReadBytes(path).size(), 4096u);
#ifdef _WIN32
  const DWORD attributes = ::GetFileAttributesW(testsupport::FsPath(path).c_str());
  EXPECT_NE(attributes & FILE_ATTRIBUTE_HIDDEN, 0u);
  // Wine keeps only some attributes on a Linux file system; "temporary" is not one of them.
  const bool wine = ::GetProcAddress(::GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr;
  if (!wine) {
    EXPECT_NE(attributes & FILE_ATTRIBUTE_TEMPORARY, 0u);
  }
#else
  struct stat info {};
  ASSERT_EQ(::stat(path.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0600u);
#endif
  platform::FileHandle second = platform::kNoFile;
  EXPECT_EQ(platform::CreateScratchFile(path.c_str(), 16, second), platform::CreateResult::NameTaken);

  auto* view = static_cast<unsigned char*>(platform::MapFile(handle, 4096));
  ASSERT_NE(view, nullptr);
  view[4095] = 7;
  platform::FlushMappedRange(view + 100, 10);
  EXPECT_EQ(testsupport::ReadBytes(path).at(4095), 7);
  platform::UnmapFile(view, 4096);
  platform::CloseFileHandle(handle);
#ifdef _WIN32
  // The file goes with its last handle.
  EXPECT_FALSE(testsupport::FileExistsOnDisk(path));
#else
  EXPECT_EQ(testsupport::ReadBytes(path).at(4095), 7);
  EXPECT_TRUE(platform::DeleteFile(path.c_str()));
#endif
}

TEST(ScratchFiles, NeverFollowAPlantedLink) {
#ifdef _WIN32
  GTEST_SKIP() << "making a symbolic link needs a privilege on Windows; CREATE_NEW never opens an existing name";
#else
  const std::string dir = MakeTempSubdir("link");
  const std::string victim = Join(dir, "victim");
  ASSERT_TRUE(WriteBytes(victim, {1, 2, 3}));
  const std::string link = Join(dir, "ORBCLASS0.tmp");
  ASSERT_EQ(::symlink(victim.c_str(), link.c_str()), 0);
  platform::FileHandle handle = platform::kNoFile;
  EXPECT_EQ(platform::CreateScratchFile(link.c_str(), 16, handle), platform::CreateResult::NameTaken);
  EXPECT_EQ(testsupport::ReadBytes(victim).size(), 3u);
  ::unlink(link.c_str());
#endif
}

}  // namespace
