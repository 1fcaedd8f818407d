#include "engine/commands/LoaderChain.h"

#include <gtest/gtest.h>

#ifndef _WIN32
#include <sys/stat.h>
#endif

#include "tests/support/TestSupport.h"

namespace {

using engine::ImageBuffer;
using engine::LoadAnyImage;
using testsupport::Bytes;
using testsupport::Join;

class LoaderChainTest : public ::testing::Test {
 protected:
  std::string Save(const Bytes& bytes, const std::string& name) {
    const std::string path = Join(dir_, name);
    EXPECT_TRUE(testsupport::WriteBytes(path, bytes));
    return path;
  }
  std::string dir_ = testsupport::MakeTempSubdir("loader");
};

TEST_F(LoaderChainTest, MissingSourcesAreMinusOne) {
  ImageBuffer image;
  EXPECT_EQ(LoadAnyImage(Join(dir_, "missing.bmp").c_str(), image), engine::ResultFileMissing);
  EXPECT_EQ(LoadAnyImage("", image), engine::ResultFileMissing);
  EXPECT_EQ(LoadAnyImage(nullptr, image), engine::ResultFileMissing);
}

TEST_F(LoaderChainTest, TheExtensionPlaysNoPart) {
  const Bytes bmp = testsupport::MakeBmp(3, 2, testsupport::PatternRgb(3, 2));
  for (const char* name : {"a.bmp", "a.jpg", "a.png", "a"}) {
    ImageBuffer image;
    const char* reader = nullptr;
    EXPECT_EQ(LoadAnyImage(Save(bmp, name).c_str(), image, &reader), engine::ResultOk) << name;
    EXPECT_STREQ(reader, "BMP");
    EXPECT_EQ(testsupport::ImageAsRgb(image), testsupport::PatternRgb(3, 2));
  }
}

TEST_F(LoaderChainTest, UnrecognisedAndUndecodableFilesAreMinusThree) {
  ImageBuffer image;
  const char* reader = "unset";
  EXPECT_EQ(LoadAnyImage(Save({'h', 'e', 'l', 'l', 'o'}, "text.jpg").c_str(), image, &reader),
            engine::ResultUnreadable);
  EXPECT_EQ(reader, nullptr);
  EXPECT_EQ(LoadAnyImage(Save({}, "empty.bmp").c_str(), image), engine::ResultUnreadable);
  // A BMP that the reader takes and then fails on is not handed on.
  Bytes cut = testsupport::MakeBmp(8, 8, testsupport::PatternRgb(8, 8));
  cut.resize(cut.size() - 10);
  EXPECT_EQ(LoadAnyImage(Save(cut, "cut.bmp").c_str(), image, &reader), engine::ResultUnreadable);
  EXPECT_STREQ(reader, "BMP");
}

TEST_F(LoaderChainTest, DirectoriesAndWildcardsAreUnreadable) {
  ImageBuffer image;
  EXPECT_EQ(LoadAnyImage(dir_.c_str(), image), engine::ResultUnreadable);
  Save(testsupport::MakeBmp(1, 1, {1, 2, 3}), "one.bmp");
  EXPECT_EQ(LoadAnyImage(Join(dir_, "*.bmp").c_str(), image), engine::ResultUnreadable);
}

TEST_F(LoaderChainTest, FifosAreUnreadable) {
#ifdef _WIN32
  GTEST_SKIP() << "Windows has no FIFO in the file system";
#else
  ImageBuffer image;
  const std::string fifo = Join(dir_, "pipe.bmp");
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  EXPECT_EQ(LoadAnyImage(fifo.c_str(), image), engine::ResultUnreadable);  // and does not block
#endif
}

}  // namespace
