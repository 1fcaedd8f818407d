// Nothing in Debian reads Softimage PIC pixels, so these check the bytes.
#include "codecs/native/PicEncoder.h"

#include <gtest/gtest.h>

#include "engine/commands/ConversionCommands.h"
#include "tests/codecs/native/NativeTestHelpers.h"
#include "tests/support/TestSupport.h"

namespace {

using codecs::PicEncoder;
using testsupport::Bytes;

std::string TempPath(const std::string& name) {
  return testsupport::Join(testsupport::MakeTempSubdir("pic"), name);
}

bool WritePic(const std::string& path, engine::ImageBuffer& image) {
  PicEncoder encoder;
  return encoder.BeginWrite(path.c_str(), &image, 24) == 1 && encoder.WriteImage() == 1;
}

Bytes RatioBytes(int width, int height) {
  engine::ImageBuffer image;
  EXPECT_EQ(image.Create(width, height, 24, 0), 1);
  const std::string path = TempPath("r.pic");
  EXPECT_TRUE(WritePic(path, image));
  const Bytes file = testsupport::ReadBytes(path);
  if (file.size() < 100) return {};
  return Bytes(file.begin() + 96, file.begin() + 100);
}

TEST(PicLayout, OneByOneIs111ExactBytes) {
  engine::ImageBuffer image;
  testsupport::FillRgbImage(image, 1, 1, {0xAB, 0xCD, 0xEF});
  const std::string path = TempPath("one.pic");
  ASSERT_TRUE(WritePic(path, image));

  Bytes expected(111, 0);
  const Bytes magic{0x53, 0x80, 0xF6, 0x34};
  std::copy(magic.begin(), magic.end(), expected.begin());
  const std::string comment = "Create byTessalyndra";
  ASSERT_EQ(comment.size(), 20u);
  std::copy(comment.begin(), comment.end(), expected.begin() + 8);
  const std::string id = "PICT";
  std::copy(id.begin(), id.end(), expected.begin() + 88);
  expected[93] = 1;     // width
  expected[95] = 1;     // height
  expected[96] = 0x3F;  // ratio 1.0
  expected[97] = 0x80;
  expected[101] = 3;    // fields
  expected[105] = 8;    // packet: bits per channel
  expected[107] = 0xE0;
  expected[108] = 0xAB;
  expected[109] = 0xCD;
  expected[110] = 0xEF;
  EXPECT_EQ(testsupport::ReadBytes(path), expected);
}

TEST(PicLayout, RatioIsBigEndianSinglePrecision) {
  EXPECT_EQ(RatioBytes(640, 480), (Bytes{0x3F, 0xAA, 0xAA, 0xAB}));
  EXPECT_EQ(RatioBytes(7, 7), (Bytes{0x3F, 0x80, 0x00, 0x00}));
  EXPECT_EQ(RatioBytes(200, 100), (Bytes{0x40, 0x00, 0x00, 0x00}));
  EXPECT_EQ(RatioBytes(1, 4), (Bytes{0x3E, 0x80, 0x00, 0x00}));
}

TEST(PicLayout, RowsRunTopDownAndGreyBecomesEqualChannels) {
  const Bytes rgb = testsupport::PatternRgb(5, 3, 8);
  engine::ImageBuffer image;
  testsupport::FillRgbImage(image, 5, 3, rgb);
  const std::string path = TempPath("rows.pic");
  ASSERT_TRUE(WritePic(path, image));
  const Bytes file = testsupport::ReadBytes(path);
  ASSERT_EQ(file.size(), 108u + rgb.size());
  EXPECT_EQ(Bytes(file.begin() + 108, file.end()), rgb);
  EXPECT_EQ(file[92] << 8 | file[93], 5);
  EXPECT_EQ(file[94] << 8 | file[95], 3);

  engine::ImageBuffer grey;
  ASSERT_EQ(grey.Create(2, 1, 8, 0), 1);
  grey.GetPixels()[0] = 17;
  grey.GetPixels()[1] = 240;
  ASSERT_TRUE(WritePic(path, grey));
  const Bytes greyFile = testsupport::ReadBytes(path);
  EXPECT_EQ(Bytes(greyFile.begin() + 108, greyFile.end()), (Bytes{17, 17, 17, 240, 240, 240}));
}

TEST(PicFailure, WrongDepthAndOversizedPicturesCreateNoFile) {
  engine::ImageBuffer image;
  testsupport::FillRgbImage(image, 2, 2, Bytes(12, 5));
  const std::string path = TempPath("d.pic");
  PicEncoder encoder;
  EXPECT_EQ(encoder.BeginWrite(path.c_str(), &image, 8), 0);
  EXPECT_FALSE(testsupport::FileExistsOnDisk(path));
  EXPECT_EQ(encoder.WriteImage(), 0);

  for (const auto& [width, height, fits] :
       std::vector<std::tuple<int, int, bool>>{{65536, 1, false}, {1, 65536, false}, {65535, 1, true}}) {
    SCOPED_TRACE(std::to_string(width) + "x" + std::to_string(height));
    engine::ImageBuffer big;
    ASSERT_EQ(big.Create(width, height, 24, 0), 1);
    const std::string bigPath = TempPath("big.pic");
    EXPECT_EQ(WritePic(bigPath, big), fits);
    EXPECT_EQ(testsupport::FileExistsOnDisk(bigPath), fits);
    if (fits) {
      EXPECT_EQ(testsupport::ReadBytes(bigPath).size(), 108u + 3u * 65535u);
    }
  }
}

TEST(PicFailure, FullDiskFailsAndLeavesNoFile) {
  engine::ImageBuffer image;
  testsupport::FillRgbImage(image, 100, 100, testsupport::PatternRgb(100, 100));
  const std::string path = TempPath("full.pic");
  EXPECT_EQ(nativetest::RunWithFileSizeLimit(108 + 29999, [&] { return WritePic(path, image) ? 1 : 0; }), 0);
  EXPECT_FALSE(testsupport::FileExistsOnDisk(path));
  EXPECT_EQ(nativetest::RunWithFileSizeLimit(108 + 30000, [&] { return WritePic(path, image) ? 1 : 0; }), 1);
}

TEST(ConvertToPic, ResultCodesAndCommandLineTool) {
  const std::string folder = testsupport::MakeTempSubdir("piccmd");
  const Bytes rgb = testsupport::PatternRgb(6, 4);
  const std::string bmp = testsupport::Join(folder, "in.bmp");
  ASSERT_TRUE(testsupport::WriteBytes(bmp, testsupport::MakeBmp(6, 4, rgb)));
  const std::string target = testsupport::Join(folder, "out.pic");
  EXPECT_EQ(engine::ConvertToPic(nullptr, target.c_str()), engine::ResultBadArguments);
  EXPECT_EQ(engine::ConvertToPic(bmp.c_str(), nullptr), engine::ResultBadArguments);
  EXPECT_EQ(engine::ConvertToPic((folder + "/none").c_str(), target.c_str()), engine::ResultFileMissing);
  EXPECT_EQ(engine::ConvertToPic(bmp.c_str(), (folder + "/no/x.pic").c_str()), engine::ResultWriteFailed);
  ASSERT_EQ(engine::ConvertToPic(bmp.c_str(), target.c_str()), engine::ResultOk);
  EXPECT_TRUE(testsupport::ScratchFiles().empty());
  const Bytes file = testsupport::ReadBytes(target);
  ASSERT_EQ(file.size(), 108u + rgb.size());
  EXPECT_EQ(Bytes(file.begin() + 108, file.end()), rgb);

  const std::string tool = testsupport::Quote(testsupport::ConvertTool());
  const std::string second = testsupport::Join(folder, "cli.pic");
  EXPECT_EQ(testsupport::RunCommand(tool + " pic " + testsupport::Quote(bmp) + " " + testsupport::Quote(second)), 0);
  EXPECT_EQ(testsupport::ReadBytes(second), file);
  EXPECT_EQ(testsupport::RunCommand(tool + " pic " + testsupport::Quote(bmp) + " " +
                                    testsupport::Quote(folder + "/no/x.pic") + " 2>/dev/null"),
            4);
}

}  // namespace
