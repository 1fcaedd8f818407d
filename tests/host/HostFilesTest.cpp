// The host's file operations: search, whole-file read and write, directories.
// Run on the scripted host with its program directory in a private folder.
#include <gtest/gtest.h>

#include <algorithm>

#ifdef _WIN32
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#else
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#endif

#include "host/ScriptedHost.h"
#include "platform/Platform.h"
#include "tests/support/TestSupport.h"

namespace {

using host::Bytes;
using host::Text;
using testsupport::FileExistsOnDisk;
using testsupport::Join;

// Code-page text -> the UTF-8 name on disk.
std::string OnDisk(const Text& text) {
  std::string utf8;
  EXPECT_TRUE(platform::CodePageToUtf8(text.c_str(), utf8));
  return utf8;
}

Text CodePage(const std::string& utf8) {
  Text text;
  EXPECT_TRUE(platform::Utf8ToCodePage(utf8.c_str(), text));
  return text;
}

// A path written with '/' in the system's spelling ('/' is never part of a
// two-byte character, so the swap is byte for byte).
std::string Native(std::string path) {
  std::replace(path.begin(), path.end(), '/', platform::kPathSeparator);
  return path;
}

class HostFiles : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = testsupport::MakeTempSubdir("host-files");
    host_ = std::make_unique<host::ScriptedHost>(CodePage(dir_));
  }
  std::vector<Text> All(const Text& pattern) {
    std::vector<Text> names;
    host::SearchSlot slot;
    for (Text name = host_->FindFile(slot, pattern); !name.empty(); name = host_->FindFile(slot)) {
      names.push_back(name);
      EXPECT_TRUE(slot.IsOpen());
    }
    EXPECT_FALSE(slot.IsOpen()) << "a search that ran out must release itself";
    return names;
  }
  std::string dir_;
  std::unique_ptr<host::ScriptedHost> host_;
};

TEST_F(HostFiles, FindFileMatchesCaseInsensitivelySortedAndSkipsFolders) {
  for (const char* name : {"b.jpg", "IMG_0001.JPG", "a.Jpg", "c.png", "photo.jpeg", "照片.jpg"}) {
    ASSERT_TRUE(testsupport::WriteBytes(Join(dir_, OnDisk(name)), {1, 2, 3}));
  }
  ASSERT_TRUE(testsupport::MakeDirectory(Join(dir_, "folder.jpg")));
  ASSERT_TRUE(testsupport::MakeDirectory(Join(dir_, "sub")));
  ASSERT_TRUE(testsupport::WriteBytes(Join(dir_, Native("sub/inner.jpg")), {1}));

  const Text folder = CodePage(dir_);
  // Sorted by bytes: upper case before lower case, GB18030 bytes last.
  EXPECT_EQ(All(folder + Native("/*.jpg")), (std::vector<Text>{"IMG_0001.JPG", "a.Jpg", "b.jpg", "照片.jpg"}));
  EXPECT_EQ(All(folder + Native("/*.jpeg")), std::vector<Text>{"photo.jpeg"});
  EXPECT_EQ(All(folder + Native("/*.PNG")), std::vector<Text>{"c.png"});
  // A relative pattern resolves in the program directory.
  EXPECT_EQ(All("*.png"), std::vector<Text>{"c.png"});
  EXPECT_EQ(All(Native("sub/*.jpg")), std::vector<Text>{"inner.jpg"});
  EXPECT_EQ(All(folder + Native("/*.gif")), std::vector<Text>{});
  EXPECT_EQ(All(folder + Native("/missing/*.jpg")), std::vector<Text>{});
}

TEST_F(HostFiles, FindFileWithAPatternMatchingOnlyFoldersLeavesNoSearch) {
  ASSERT_TRUE(testsupport::MakeDirectory(Join(dir_, "a.dir")));
  ASSERT_TRUE(testsupport::MakeDirectory(Join(dir_, "b.dir")));
  host::SearchSlot slot;
  EXPECT_EQ(host_->FindFile(slot, CodePage(Join(dir_, "*.dir"))), "");
  EXPECT_FALSE(slot.IsOpen());
  EXPECT_EQ(host_->FindFile(slot), "") << "continuing an ended search gives nothing";
}

TEST_F(HostFiles, ANewPatternReplacesTheSearchAndCloseReleasesIt) {
  for (const char* name : {"1.bmp", "2.bmp", "3.png"}) ASSERT_TRUE(testsupport::WriteBytes(Join(dir_, name), {0}));
  host::SearchSlot slot;
  EXPECT_EQ(host_->FindFile(slot, "*.bmp"), "1.bmp");
  EXPECT_EQ(host_->FindFile(slot, "*.png"), "3.png");
  EXPECT_EQ(host_->FindFile(slot), "");
  EXPECT_EQ(host_->FindFile(slot, "*.bmp"), "1.bmp");
  host_->CloseFindFile(slot);
  EXPECT_FALSE(slot.IsOpen());
  EXPECT_EQ(host_->FindFile(slot), "");
}

TEST_F(HostFiles, ReadFileBytesEmptyMissingAndWhole) {
  EXPECT_TRUE(host_->ReadFileBytes("").empty());
  EXPECT_TRUE(host_->ReadFileBytes(CodePage(Join(dir_, "missing.bin"))).empty());
  EXPECT_TRUE(host_->ReadFileBytes(CodePage(dir_)).empty()) << "a folder reads as nothing";
  ASSERT_TRUE(testsupport::WriteBytes(Join(dir_, "empty.bin"), {}));
  EXPECT_TRUE(host_->ReadFileBytes("empty.bin").empty());
  const Bytes big = [] {
    Bytes bytes(200000);
    for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<std::uint8_t>(i * 7 + 3);
    return bytes;
  }();
  ASSERT_TRUE(testsupport::WriteBytes(Join(dir_, OnDisk("大图.bin")), big));
  EXPECT_EQ(host_->ReadFileBytes(CodePage(dir_) + Native("/大图.bin")), big);
}

TEST_F(HostFiles, WriteFileBytesEmptyAndMissingPaths) {
  EXPECT_FALSE(host_->WriteFileBytes("", Bytes{1}));
  EXPECT_FALSE(host_->WriteFileBytes(CodePage(dir_) + Native("/no/such/folder/x.bin"), Bytes{1}));
  // A path through a regular file: the folder cannot exist.
  ASSERT_TRUE(testsupport::WriteBytes(Join(dir_, "plain"), {9}));
  EXPECT_FALSE(host_->WriteFileBytes(CodePage(dir_) + Native("/plain/x.bin"), Bytes{1}));
  EXPECT_FALSE(host_->WriteFileBytes(CodePage(dir_), Bytes{1})) << "a folder is not replaced";
  // Empty arrays are skipped; nothing at all still makes an empty file.
  EXPECT_TRUE(host_->WriteFileBytes("zero.bin", std::vector<Bytes>{}));
  EXPECT_TRUE(FileExistsOnDisk(Join(dir_, "zero.bin")));
  EXPECT_TRUE(testsupport::ReadBytes(Join(dir_, "zero.bin")).empty());
  EXPECT_TRUE(host_->WriteFileBytes("parts.bin", std::vector<Bytes>{{1, 2}, {}, {3}}));
  EXPECT_EQ(testsupport::ReadBytes(Join(dir_, "parts.bin")), (Bytes{1, 2, 3}));
}

TEST_F(HostFiles, WriteFileBytesReplacesWholeAndLeavesNoTemporaryFile) {
  const std::string target = Join(dir_, OnDisk("另存.pgm"));
  ASSERT_TRUE(testsupport::WriteBytes(target, Bytes(1000, 0xAA)));
  EXPECT_TRUE(host_->WriteFileBytes(CodePage(dir_) + Native("/另存.pgm"), Bytes{'P', '5'}));
  EXPECT_EQ(testsupport::ReadBytes(target), (Bytes{'P', '5'}));
  host::SearchSlot slot;
  EXPECT_EQ(host_->FindFile(slot, CodePage(Join(dir_, "*"))), "另存.pgm") << "only the target is left";
  EXPECT_EQ(host_->FindFile(slot), "");
#ifdef _WIN32
  // Written hidden beside the target: in its place it must be an ordinary file.
  const DWORD attributes = ::GetFileAttributesW(testsupport::FsPath(target).c_str());
  ASSERT_NE(attributes, INVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(attributes & FILE_ATTRIBUTE_HIDDEN, 0u) << "the finished file is not hidden";
#else
  struct stat info {};
  ASSERT_EQ(::stat(target.c_str(), &info), 0);
  EXPECT_NE(info.st_mode & 0044, 0u) << "the finished file has the usual mode, not a private one";
#endif
}

TEST_F(HostFiles, AFailedWriteLeavesTheTargetAsItWas) {
  PICTOMILL_SKIP_WITHOUT_FORK();
#ifndef _WIN32
  const std::string target = Join(dir_, "keep.bin");
  const Bytes original(5000, 0x55);
  ASSERT_TRUE(testsupport::WriteBytes(target, original));
  const Text path = CodePage(target);
  // A full disk in a child: files may not grow past 4096 bytes.
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit limit{4096, 4096};
    ::setrlimit(RLIMIT_FSIZE, &limit);
    host::ScriptedHost inChild(CodePage(dir_));
    const bool wrote = inChild.WriteFileBytes(path, Bytes(100000, 0x11));
    ::_exit(wrote ? 1 : 0);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0) << "the write must report failure";
  EXPECT_EQ(testsupport::ReadBytes(target), original);
  host::SearchSlot slot;
  EXPECT_EQ(host_->FindFile(slot, CodePage(Join(dir_, "*"))), "keep.bin");
  EXPECT_EQ(host_->FindFile(slot), "") << "no temporary file left";
#endif
}

#ifdef _WIN32
// Windows' own way for a write to fail at its last step: the target is open
// without delete sharing, so nothing may be renamed over it.
TEST_F(HostFiles, AWriteOverATargetInUseFailsAndLeavesItAsItWas) {
  const std::string target = Join(dir_, "busy.bin");
  const Bytes original(5000, 0x55);
  ASSERT_TRUE(testsupport::WriteBytes(target, original));
  HANDLE open = ::CreateFileW(testsupport::FsPath(target).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(open, INVALID_HANDLE_VALUE);
  const bool wrote = host_->WriteFileBytes(CodePage(target), Bytes(100000, 0x11));
  ::CloseHandle(open);
  EXPECT_FALSE(wrote) << "the write must report failure";
  EXPECT_EQ(testsupport::ReadBytes(target), original);
  EXPECT_EQ(testsupport::ListNames(dir_), std::vector<std::string>{"busy.bin"}) << "no temporary file left";
}
#endif

TEST_F(HostFiles, MakeDirectoryMakesOneLevelUnderItsUtf8Name) {
  EXPECT_TRUE(host_->MakeDirectory("tmp"));
  EXPECT_FALSE(host_->MakeDirectory("tmp")) << "exists already";
  EXPECT_TRUE(host_->MakeDirectory(Native("tmp/jpg图片")));
  EXPECT_FALSE(host_->MakeDirectory(Native("tmp/a/b"))) << "no intermediate levels";
  EXPECT_FALSE(host_->MakeDirectory(""));
  bool isDirectory = false;
  bool isFile = false;
  EXPECT_TRUE(platform::GetPathKind((CodePage(dir_) + Native("/tmp/jpg图片")).c_str(), isDirectory, isFile));
  EXPECT_TRUE(isDirectory);
  EXPECT_TRUE(FileExistsOnDisk(Join(dir_, Native("tmp/jpg\xE5\x9B\xBE\xE7\x89\x87")))) << "named in UTF-8 on disk";
  // A name cut inside a character drops the partial byte rather than making
  // a file name with half a character.
  const Text cut = host::LeftText(Native("tmp/批量"), 7);  // "tmp/批" plus the lead byte of "量"
  EXPECT_TRUE(host_->MakeDirectory(cut));
  EXPECT_TRUE(FileExistsOnDisk(Join(dir_, Native("tmp/\xE6\x89\xB9"))));
}

}  // namespace
