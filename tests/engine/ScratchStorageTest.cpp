#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <set>
#include <thread>
#include <vector>

#include "engine/core/FileHelpers.h"
#include "engine/core/FileStream.h"
#include "engine/core/HeapBlock.h"
#include "engine/core/ImageBuffer.h"
#include "engine/core/ScratchMapping.h"
#include "platform/Platform.h"
#include "tests/support/TestSupport.h"

#ifndef _WIN32
#include <sys/stat.h>
#endif

namespace {

using testsupport::TmpdirOverride;

using engine::ScratchMapping;
using testsupport::Join;
using testsupport::PrivateDir;
using testsupport::ScratchFiles;

TEST(ScratchMapping, RefusesZeroSizeAndEmptyPrefix) {
  ScratchMapping mapping;
  EXPECT_EQ(mapping.Open(0, "ORBCLASS"), 0);
  EXPECT_EQ(mapping.Open(100, ""), 0);
  EXPECT_EQ(mapping.Open(100, nullptr), 0);
  EXPECT_TRUE(ScratchFiles().empty());
}

TEST(ScratchMapping, MakesAZeroFilledFileAndDeletesIt) {
  ScratchMapping mapping;
  ASSERT_EQ(mapping.Open(100, "ORBCLASS"), 1);
  EXPECT_EQ(mapping.Size(), 100u);
  EXPECT_EQ(std::string(mapping.Path()), Join(PrivateDir(), "ORBCLASS0.tmp"));
  EXPECT_TRUE(std::all_of(mapping.View(), mapping.View() + 100, [](std::uint8_t b) { return b == 0; }));
  EXPECT_EQ(testsupport::ReadBytes(mapping.Path()).size(), 100u);
  mapping.View()[99] = 0x5A;
  mapping.FlushView(nullptr, 0);
  EXPECT_EQ(testsupport::ReadBytes(mapping.Path())[99], 0x5A);
  EXPECT_EQ(mapping.Close(1), 1);
  EXPECT_TRUE(ScratchFiles().empty());
  EXPECT_EQ(mapping.Close(1), 1);  // safe twice
}

TEST(ScratchMapping, TakesTheNextNumberWhenOneIsUsed) {
  ASSERT_TRUE(testsupport::WriteBytes(Join(PrivateDir(), "ORBCLASS0.tmp"), {1}));
  ScratchMapping mapping;
  ASSERT_EQ(mapping.Open(10, "ORBCLASS"), 1);
  EXPECT_EQ(std::string(mapping.Path()), Join(PrivateDir(), "ORBCLASS1.tmp"));
  mapping.Close(1);
  EXPECT_EQ(testsupport::ReadBytes(Join(PrivateDir(), "ORBCLASS0.tmp")).size(), 1u);  // not touched
  std::remove(Join(PrivateDir(), "ORBCLASS0.tmp").c_str());
}

TEST(ScratchMapping, UnusableTemporaryDirectoryFailsCleanly) {
  const std::string file = Join(PrivateDir(), "plain-file");
  ASSERT_TRUE(testsupport::WriteBytes(file, {1}));
  for (const std::string& bad : {file, Join(file, "below"), Join(PrivateDir(), "missing")}) {
    TmpdirOverride override(bad);
    ScratchMapping mapping;
    EXPECT_EQ(mapping.Open(10, "ORBCLASS"), 0) << bad;
    engine::ImageBuffer image;
    EXPECT_EQ(image.Create(4, 4, 24, 0), 0) << bad;
  }
}

TEST(ScratchMapping, ConcurrentImagesNeverShareAFile) {
  constexpr int kThreads = 16;
  constexpr int kRounds = 40;
  std::vector<std::thread> threads;
  std::vector<int> failures(kThreads, 0);
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([t, &failures] {
      for (int round = 0; round < kRounds; ++round) {
        engine::ImageBuffer image;
        if (image.Create(8, 8, 24, 0) != 1) {
          ++failures[t];
          continue;
        }
        // Each thread stamps its own pattern; a shared file would show another's.
        std::fill(image.GetPixels(), image.GetPixels() + image.GetPixelBytes(), static_cast<std::uint8_t>(t + 1));
        std::this_thread::yield();
        if (!std::all_of(image.GetPixels(), image.GetPixels() + image.GetPixelBytes(),
                         [t](std::uint8_t b) { return b == t + 1; })) {
          ++failures[t];
        }
      }
    });
  }
  for (auto& thread : threads) thread.join();
  for (int t = 0; t < kThreads; ++t) EXPECT_EQ(failures[t], 0) << "thread " << t;
  EXPECT_TRUE(ScratchFiles().empty());
}

TEST(FileHelpers, ExistenceHasFindFirstMeaning) {
  const std::string dir = testsupport::MakeTempSubdir("exists");
  ASSERT_TRUE(testsupport::WriteBytes(Join(dir, "IMG_1.JPG"), {1}));
  EXPECT_EQ(engine::FileExists(Join(dir, "IMG_1.JPG").c_str()), 1);
  EXPECT_EQ(engine::FileExists(dir.c_str()), 1);
  EXPECT_EQ(engine::FileExists(Join(dir, "*.jpg").c_str()), 1);
  EXPECT_EQ(engine::FileExists(Join(dir, "*.png").c_str()), 0);
  EXPECT_EQ(engine::FileExists(""), 0);
  EXPECT_EQ(engine::FileExists(nullptr), 0);

  EXPECT_EQ(engine::IsDirectory(Join(dir, "missing").c_str()), 0);
  EXPECT_EQ(engine::IsDirectory((dir + "/").c_str()), 1);
  EXPECT_EQ(engine::IsDirectory(Join(dir, "IMG_1.JPG").c_str()), 0);

  EXPECT_EQ(engine::DeleteFileIfExists(Join(dir, "missing").c_str()), 1);
  EXPECT_EQ(engine::DeleteFileIfExists(Join(dir, "IMG_1.JPG").c_str()), 1);
  EXPECT_FALSE(testsupport::FileExistsOnDisk(Join(dir, "IMG_1.JPG")));
}

TEST(FileHelpers, OpenFileSizeLeavesTheStreamAtItsStart) {
  const std::string path = Join(PrivateDir(), "ten");
  ASSERT_TRUE(testsupport::WriteBytes(path, testsupport::Bytes(10, 7)));
  engine::FileStream stream;
  ASSERT_TRUE(stream.Open(path.c_str(), "rb"));
  ASSERT_TRUE(stream.Seek(5, SEEK_SET));
  EXPECT_EQ(engine::GetOpenFileSize(stream.Get()), 10);
  EXPECT_EQ(std::ftell(stream.Get()), 0);
  EXPECT_EQ(engine::GetOpenFileSize(nullptr), 0);
}

TEST(FileHelpers, TempFileNameTakesTheFirstFreeNumber) {
  engine::TextBuffer name;
  ASSERT_EQ(engine::MakeTempFileName(name, "ORBCLASS", nullptr), 1);
  EXPECT_EQ(std::string(name.Text()), Join(PrivateDir(), "ORBCLASS0.tmp"));
  ASSERT_TRUE(testsupport::WriteBytes(name.Text(), {1}));
  ASSERT_EQ(engine::MakeTempFileName(name, "ORBCLASS", nullptr), 1);
  EXPECT_EQ(std::string(name.Text()), Join(PrivateDir(), "ORBCLASS1.tmp"));
  std::remove(Join(PrivateDir(), "ORBCLASS0.tmp").c_str());
  EXPECT_EQ(engine::MakeTempFileName(name, "X", Join(PrivateDir(), "missing").c_str()), 0);
}

TEST(FileStream, CloseReportsAFailedWrite) {
  const std::string path = Join(PrivateDir(), "out");
  engine::FileStream stream;
  ASSERT_TRUE(stream.Open(path.c_str(), "wb"));
  ASSERT_TRUE(stream.WriteExact("abc", 3));
  EXPECT_TRUE(stream.Close());
  EXPECT_FALSE(stream.Close());  // nothing open any more

  // A read-only stream cannot take a write: the error must surface at Close.
  ASSERT_TRUE(stream.Open(path.c_str(), "rb"));
  EXPECT_FALSE(stream.WriteExact("abc", 3));
  EXPECT_FALSE(stream.Close());
}

// Names in the folder other than the ones expected: a replacement left behind.
std::vector<std::string> OtherNames(const std::string& folder, const std::vector<std::string>& expected) {
  std::vector<std::string> others;
  for (const platform::FoundEntry& entry : platform::FindEntries(Join(folder, "*").c_str())) {
    if (std::find(expected.begin(), expected.end(), entry.name) == expected.end()) others.push_back(entry.name);
  }
  return others;
}

TEST(FileStream, AReplacementReachesTheTargetOnlyWhenCommitted) {
  const std::string dir = testsupport::MakeTempSubdir("replace");
  const std::string path = Join(dir, "picture.bmp");
  ASSERT_TRUE(testsupport::WriteBytes(path, {1, 2, 3}));
  engine::FileStream stream;

  // Abandoned: the old bytes stay and the replacement is gone.
  ASSERT_TRUE(stream.OpenReplacement(path.c_str()));
  ASSERT_TRUE(stream.WriteExact("new", 3));
  EXPECT_EQ(testsupport::ReadBytes(path), (testsupport::Bytes{1, 2, 3}));
  EXPECT_FALSE(stream.Close());
  EXPECT_EQ(testsupport::ReadBytes(path), (testsupport::Bytes{1, 2, 3}));
  EXPECT_TRUE(OtherNames(dir, {"picture.bmp"}).empty());

  // A write the stream saw fail: Commit refuses.
  ASSERT_TRUE(stream.OpenReplacement(path.c_str()));
  ASSERT_TRUE(stream.WriteExact("new", 3));
  stream.MarkFailed();
  EXPECT_FALSE(stream.Commit());
  EXPECT_EQ(testsupport::ReadBytes(path), (testsupport::Bytes{1, 2, 3}));
  EXPECT_TRUE(OtherNames(dir, {"picture.bmp"}).empty());

  // Committed: the new bytes.
  ASSERT_TRUE(stream.OpenReplacement(path.c_str()));
  ASSERT_TRUE(stream.WriteExact("new", 3));
  EXPECT_TRUE(stream.Commit());
  EXPECT_EQ(testsupport::ReadBytes(path), (testsupport::Bytes{'n', 'e', 'w'}));
  EXPECT_TRUE(OtherNames(dir, {"picture.bmp"}).empty());

  // A folder is never replaced, and a missing folder has nothing to hold it.
  EXPECT_FALSE(stream.OpenReplacement(dir.c_str()));
  EXPECT_FALSE(stream.OpenReplacement(Join(dir, "missing/x.bmp").c_str()));
  EXPECT_FALSE(stream.OpenReplacement(""));
}

#ifndef _WIN32
TEST(FileStream, AReplacementKeepsTheModeOfTheFileItReplaces) {
  const std::string path = Join(testsupport::MakeTempSubdir("mode"), "picture.bmp");
  ASSERT_TRUE(testsupport::WriteBytes(path, {1}));
  ASSERT_EQ(::chmod(path.c_str(), 0640), 0);
  engine::FileStream stream;
  ASSERT_TRUE(stream.OpenReplacement(path.c_str()));
  EXPECT_TRUE(stream.Commit());
  struct stat info {};
  ASSERT_EQ(::stat(path.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0640u);
}
#endif

TEST(FileHelpers, TheRootAndAnEmptyTmpdirAreUsableTemporaryFolders) {
  // Only the names are resolved: nothing is created in either folder.
  EXPECT_EQ(engine::IsDirectory("/"), 1);
  engine::TextBuffer folder;
  ASSERT_EQ(engine::ResolveTempDirectory(folder, "/"), 1);
  EXPECT_STREQ(folder.Text(), "/");
  TmpdirOverride empty("");
  EXPECT_EQ(platform::GetTempPath(), "/tmp");
}

TEST(HeapBlock, AllocatesAndFrees) {
  engine::HeapBlock block;
  EXPECT_EQ(block.Allocate(0), 0);
  EXPECT_EQ(block.Data(), nullptr);
  ASSERT_EQ(block.Allocate(64), 1);
  EXPECT_EQ(block.Size(), 64u);
  EXPECT_EQ(block.Free(), 1);
  EXPECT_EQ(block.Size(), 0u);
}

}  // namespace
