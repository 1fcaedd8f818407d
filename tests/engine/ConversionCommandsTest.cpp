#include "engine/commands/ConversionCommands.h"

#include <gtest/gtest.h>

#include <vector>

#include "engine/commands/ArgumentRecords.h"
#include "engine/commands/LoaderChain.h"
#include "tests/support/TestSupport.h"

namespace {

using engine::ArgumentRecord;
using engine::ImageBuffer;
using testsupport::Bytes;
using testsupport::Join;

class ConversionCommandsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    source_ = Join(dir_, "source.png");  // a BMP under a misleading name
    ASSERT_TRUE(testsupport::WriteBytes(source_, testsupport::MakeBmp(5, 3, testsupport::PatternRgb(5, 3))));
  }
  std::string dir_ = testsupport::MakeTempSubdir("commands");
  std::string source_;
};

TEST_F(ConversionCommandsTest, BmpEndToEnd) {
  const std::string target = Join(dir_, "out.jpg");  // the target's name plays no part either
  ASSERT_EQ(engine::ConvertToBmp(source_.c_str(), target.c_str()), engine::ResultOk);
  const Bytes written = testsupport::ReadBytes(target);
  ASSERT_GE(written.size(), 2u);
  EXPECT_EQ(written[0], 'B');
  EXPECT_EQ(written[1], 'M');
  EXPECT_TRUE(testsupport::ScratchFiles().empty());  // the command's images are gone
  ImageBuffer back;
  ASSERT_EQ(engine::LoadAnyImage(target.c_str(), back), engine::ResultOk);
  EXPECT_EQ(testsupport::ImageAsRgb(back), testsupport::PatternRgb(5, 3));
}

TEST_F(ConversionCommandsTest, EveryResultCode) {
  EXPECT_EQ(engine::ConvertToBmp(nullptr, Join(dir_, "x.bmp").c_str()), engine::ResultBadArguments);
  EXPECT_EQ(engine::ConvertToBmp(source_.c_str(), nullptr), engine::ResultBadArguments);
  EXPECT_EQ(engine::ConvertToBmp(Join(dir_, "missing").c_str(), Join(dir_, "x.bmp").c_str()),
            engine::ResultFileMissing);
  EXPECT_EQ(engine::ConvertToBmp("", Join(dir_, "x.bmp").c_str()), engine::ResultFileMissing);
  const std::string text = Join(dir_, "text.jpg");
  ASSERT_TRUE(testsupport::WriteBytes(text, {'n', 'o', 't', ' ', 'a', 'n', ' ', 'i', 'm', 'a', 'g', 'e'}));
  EXPECT_EQ(engine::ConvertToBmp(text.c_str(), Join(dir_, "x.bmp").c_str()), engine::ResultUnreadable);
  EXPECT_EQ(engine::ConvertToBmp(source_.c_str(), Join(dir_, "missing/x.bmp").c_str()), engine::ResultWriteFailed);
  EXPECT_EQ(engine::ConvertToBmp(source_.c_str(), ""), engine::ResultWriteFailed);
  EXPECT_FALSE(testsupport::FileExistsOnDisk(Join(dir_, "x.bmp")));
  EXPECT_TRUE(testsupport::ScratchFiles().empty());
}

TEST_F(ConversionCommandsTest, OptionChecksComeBeforeAnythingIsRead) {
  const std::string missing = Join(dir_, "missing");
  const std::string target = Join(dir_, "x");
  EXPECT_EQ(engine::ConvertToJpg(missing.c_str(), target.c_str(), 0, 0, 1, 50), engine::ResultBadArguments);
  EXPECT_EQ(engine::ConvertToJpg(missing.c_str(), target.c_str(), 0, 101, 1, 50), engine::ResultBadArguments);
  EXPECT_EQ(engine::ConvertToJpg(missing.c_str(), target.c_str(), 0, 99, 1, -1), engine::ResultBadArguments);
  EXPECT_EQ(engine::ConvertToJpg(missing.c_str(), target.c_str(), 0, 99, 1, 101), engine::ResultBadArguments);
  for (const int quality : {1, 100}) {
    EXPECT_EQ(engine::ConvertToJpg(missing.c_str(), target.c_str(), 0, quality, 1, 0), engine::ResultFileMissing);
  }
  EXPECT_EQ(engine::ConvertToJpg(missing.c_str(), target.c_str(), 0, 99, 1, 100), engine::ResultFileMissing);
  EXPECT_EQ(engine::ConvertToPng(missing.c_str(), target.c_str(), 8), engine::ResultBadArguments);
  EXPECT_EQ(engine::ConvertToPng(missing.c_str(), target.c_str(), 32), engine::ResultBadArguments);
  EXPECT_EQ(engine::ConvertToPng(missing.c_str(), target.c_str(), 24), engine::ResultFileMissing);
  // Every command: a missing path is -7, a missing source -1.
  EXPECT_EQ(engine::ConvertToTif(nullptr, target.c_str(), 0), engine::ResultBadArguments);
  EXPECT_EQ(engine::ConvertToPpm(missing.c_str(), nullptr, 1), engine::ResultBadArguments);
  EXPECT_EQ(engine::ConvertToPgm(nullptr, target.c_str(), 1), engine::ResultBadArguments);
  EXPECT_EQ(engine::ConvertToPcx(nullptr, target.c_str()), engine::ResultBadArguments);
  EXPECT_EQ(engine::ConvertToPic(missing.c_str(), nullptr), engine::ResultBadArguments);
  EXPECT_EQ(engine::ConvertToSgi(nullptr, nullptr), engine::ResultBadArguments);
  EXPECT_EQ(engine::ConvertToTif(missing.c_str(), target.c_str(), 2), engine::ResultFileMissing);
  EXPECT_EQ(engine::ConvertToSgi(missing.c_str(), target.c_str()), engine::ResultFileMissing);
}

TEST_F(ConversionCommandsTest, ACommandOntoItsOwnPathReplacesTheSource) {
  ASSERT_EQ(engine::ConvertToBmp(source_.c_str(), source_.c_str()), engine::ResultOk);
  ImageBuffer back;
  ASSERT_EQ(engine::LoadAnyImage(source_.c_str(), back), engine::ResultOk);
  EXPECT_EQ(testsupport::ImageAsRgb(back), testsupport::PatternRgb(5, 3));
  // The written file is our own layout: a 40-byte header at 54.
  EXPECT_EQ(testsupport::ReadBytes(source_)[10], 54);
}

TEST_F(ConversionCommandsTest, CoreHeaderSourceIsWrittenWithTheWindowsHeader) {
  testsupport::BmpOptions core;
  core.infoHeaderSize = 12;
  const std::string path = Join(dir_, "core.bmp");
  ASSERT_TRUE(testsupport::WriteBytes(path, testsupport::MakeBmp(2, 2, testsupport::PatternRgb(2, 2), core)));
  const std::string target = Join(dir_, "core-out.bmp");
  ASSERT_EQ(engine::ConvertToBmp(path.c_str(), target.c_str()), engine::ResultOk);
  EXPECT_EQ(testsupport::ReadBytes(target).size(), 54u + 2u * 8u);
}

// The 12-byte record adapter: texts as pointer halves, too few records -7.
TEST_F(ConversionCommandsTest, ArgumentRecordAdapter) {
  const std::string target = Join(dir_, "records.bmp");
  std::vector<ArgumentRecord> records = {engine::TextArgument(source_.c_str()), engine::TextArgument(target.c_str())};
  EXPECT_EQ(engine::TextOf(records[0]), source_.c_str());
  ArgumentRecord result{0, 0, 0};
  engine::CallConvertToBmp(&result, 2, records.data());
  EXPECT_EQ(static_cast<std::int32_t>(result.value), engine::ResultOk);
  engine::CallConvertToBmp(&result, 1, records.data());
  EXPECT_EQ(static_cast<std::int32_t>(result.value), engine::ResultBadArguments);

  const ArgumentRecord none = engine::TextArgument(nullptr);
  using Call = void (*)(ArgumentRecord*, int, const ArgumentRecord*);
  struct Case {
    Call call;
    std::vector<ArgumentRecord> extra;
  };
  const std::vector<Case> cases = {
      {engine::CallConvertToJpg, {engine::IntegerArgument(0), engine::IntegerArgument(99), engine::IntegerArgument(1),
                                  engine::IntegerArgument(50)}},
      {engine::CallConvertToBmp, {}},
      {engine::CallConvertToTif, {engine::IntegerArgument(0)}},
      {engine::CallConvertToPng, {engine::IntegerArgument(24)}},
      {engine::CallConvertToPpm, {engine::IntegerArgument(1)}},
      {engine::CallConvertToPgm, {engine::IntegerArgument(1)}},
      {engine::CallConvertToPcx, {}},
      {engine::CallConvertToPic, {}},
      {engine::CallConvertToSgi, {}},
  };
  for (std::size_t i = 0; i < cases.size(); ++i) {
    for (const bool sourceMissing : {true, false}) {
      std::vector<ArgumentRecord> args = {sourceMissing ? none : engine::TextArgument(source_.c_str()),
                                          sourceMissing ? engine::TextArgument(target.c_str()) : none};
      args.insert(args.end(), cases[i].extra.begin(), cases[i].extra.end());
      result.value = 0;
      cases[i].call(&result, static_cast<int>(args.size()), args.data());
      EXPECT_EQ(static_cast<std::int32_t>(result.value), engine::ResultBadArguments) << "command " << i;
      cases[i].call(&result, static_cast<int>(args.size()) - 1, args.data());
      EXPECT_EQ(static_cast<std::int32_t>(result.value), engine::ResultBadArguments) << "command " << i;
    }
  }
}

}  // namespace
