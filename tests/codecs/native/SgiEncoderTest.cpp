#include "codecs/native/SgiEncoder.h"

#include <gtest/gtest.h>

#include "engine/commands/ConversionCommands.h"
#include "tests/codecs/native/NativeTestHelpers.h"
#include "tests/support/TestSupport.h"

namespace {

using codecs::SgiEncoder;
using testsupport::Bytes;

std::string TempPath(const std::string& name) {
  return testsupport::Join(testsupport::MakeTempSubdir("sgi"), name);
}

bool WriteSgi(const std::string& path, engine::ImageBuffer& image) {
  SgiEncoder encoder;
  return encoder.BeginWrite(path.c_str(), &image, 24, 0) == 1 && encoder.WriteImage() == 1;
}

Bytes ExpectedHeader(int width, int height) {
  Bytes header(512, 0);
  header[0] = 0x01;
  header[1] = 0xDA;
  header[3] = 1;
  header[5] = 3;
  header[6] = static_cast<std::uint8_t>(width >> 8);
  header[7] = static_cast<std::uint8_t>(width);
  header[8] = static_cast<std::uint8_t>(height >> 8);
  header[9] = static_cast<std::uint8_t>(height);
  header[11] = 3;
  header[19] = 0xFF;
  const std::string name = "Plenwick SGI Exports";
  std::copy(name.begin(), name.end(), header.begin() + 24);
  return header;
}

TEST(SgiLayout, TwoByTwoPlanesRunBottomUp) {
  // A B on top, C D below; each pixel's channels are distinct.
  const Bytes a{0x10, 0x11, 0x12};
  const Bytes b{0x20, 0x21, 0x22};
  const Bytes c{0x30, 0x31, 0x32};
  const Bytes d{0x40, 0x41, 0x42};
  Bytes rgb;
  for (const Bytes* p : {&a, &b, &c, &d}) rgb.insert(rgb.end(), p->begin(), p->end());
  engine::ImageBuffer image;
  testsupport::FillRgbImage(image, 2, 2, rgb);
  const std::string path = TempPath("2x2.sgi");
  ASSERT_TRUE(WriteSgi(path, image));
  const Bytes file = testsupport::ReadBytes(path);
  ASSERT_EQ(file.size(), 512u + 12u);
  EXPECT_EQ(Bytes(file.begin(), file.begin() + 512), ExpectedHeader(2, 2));
  EXPECT_EQ(Bytes(file.begin() + 512, file.end()),
            (Bytes{0x30, 0x40, 0x10, 0x20, 0x31, 0x41, 0x11, 0x21, 0x32, 0x42, 0x12, 0x22}));
}

TEST(SgiLayout, ThreeHundredByTwoHundredHeaderAndSize) {
  engine::ImageBuffer image;
  testsupport::FillRgbImage(image, 300, 200, testsupport::PatternRgb(300, 200));
  const std::string path = TempPath("300.sgi");
  ASSERT_TRUE(WriteSgi(path, image));
  const Bytes file = testsupport::ReadBytes(path);
  ASSERT_EQ(file.size(), 512u + 3u * 300u * 200u);
  EXPECT_EQ(file[6], 0x01);
  EXPECT_EQ(file[7], 0x2C);
  EXPECT_EQ(file[8], 0x00);
  EXPECT_EQ(file[9], 0xC8);
  EXPECT_EQ(Bytes(file.begin(), file.begin() + 512), ExpectedHeader(300, 200));
}

TEST(SgiLayout, GreyAndPaletteSourcesAreConvertedTo24Bits) {
  engine::ImageBuffer grey;
  ASSERT_EQ(grey.Create(3, 2, 8, 0), 1);
  const Bytes levels{0, 50, 100, 150, 200, 250};
  std::copy(levels.begin(), levels.end(), grey.GetPixels());
  const std::string path = TempPath("grey.sgi");
  ASSERT_TRUE(WriteSgi(path, grey));
  const Bytes file = testsupport::ReadBytes(path);
  ASSERT_EQ(file.size(), 512u + 18u);
  const Bytes plane{150, 200, 250, 0, 50, 100};  // bottom row first
  for (int c = 0; c < 3; ++c) {
    EXPECT_EQ(Bytes(file.begin() + 512 + 6 * c, file.begin() + 512 + 6 * (c + 1)), plane) << "channel " << c;
  }

  engine::ImageBuffer palette;
  ASSERT_EQ(palette.Create(1, 1, 8, 2), 1);
  palette.GetPalette()[1] = engine::PaletteEntry{9, 8, 7, 0, 0};
  palette.GetPixels()[0] = 1;
  ASSERT_TRUE(WriteSgi(path, palette));
  const Bytes small = testsupport::ReadBytes(path);
  EXPECT_EQ(Bytes(small.begin() + 512, small.end()), (Bytes{9, 8, 7}));
}

TEST(SgiOracle, ImageMagickReadsWhatWeWrite) {
  if (testsupport::ImageMagick().empty()) GTEST_SKIP() << "ImageMagick not installed";
  for (const auto& [width, height] : std::vector<std::pair<int, int>>{{37, 23}, {1, 1}, {256, 3}}) {
    const Bytes rgb = testsupport::PatternRgb(width, height, 3);
    engine::ImageBuffer image;
    testsupport::FillRgbImage(image, width, height, rgb);
    const std::string path = TempPath("o.sgi");
    ASSERT_TRUE(WriteSgi(path, image));
    int w = 0;
    int h = 0;
    Bytes decoded;
    ASSERT_TRUE(testsupport::DecodeWithImageMagick(path, w, h, decoded));
    EXPECT_EQ(w, width);
    EXPECT_EQ(h, height);
    EXPECT_EQ(decoded, rgb);
  }
}

TEST(SgiFailure, SizesTheHeaderCannotHoldAreRefused) {
  for (const auto& [width, height, fits] :
       std::vector<std::tuple<int, int, bool>>{{65536, 1, false}, {1, 65536, false}, {65535, 1, true}}) {
    SCOPED_TRACE(std::to_string(width) + "x" + std::to_string(height));
    engine::ImageBuffer image;
    ASSERT_EQ(image.Create(width, height, 24, 0), 1);
    const std::string path = TempPath("big.sgi");
    EXPECT_EQ(WriteSgi(path, image), fits);
    EXPECT_EQ(testsupport::FileExistsOnDisk(path), fits);
    if (fits) {
      const Bytes file = testsupport::ReadBytes(path);
      EXPECT_EQ(file[6] << 8 | file[7], width);
    }
  }
}

TEST(SgiFailure, FullDiskFailsAndRemovesThePartialFile) {
  engine::ImageBuffer image;
  testsupport::FillRgbImage(image, 100, 100, testsupport::PatternRgb(100, 100));
  const std::string path = TempPath("full.sgi");
  // The header and the red plane fit; the green plane does not.
  EXPECT_EQ(nativetest::RunWithFileSizeLimit(512 + 15000, [&] { return WriteSgi(path, image) ? 1 : 0; }), 0);
  EXPECT_FALSE(testsupport::FileExistsOnDisk(path));
  EXPECT_EQ(nativetest::RunWithFileSizeLimit(512 + 30000, [&] { return WriteSgi(path, image) ? 1 : 0; }), 1);
  EXPECT_TRUE(testsupport::FileExistsOnDisk(path));
}

TEST(SgiFailure, UnopenedEncoderAndMissingFolder) {
  SgiEncoder encoder;
  EXPECT_EQ(encoder.WriteImage(), 0);
  engine::ImageBuffer image;
  testsupport::FillRgbImage(image, 1, 1, Bytes{1, 2, 3});
  EXPECT_EQ(encoder.BeginWrite((TempPath("x") + "/no/x.sgi").c_str(), &image, 24, 0), 0);
  EXPECT_EQ(encoder.Close(), 1);
  EXPECT_EQ(encoder.Close(), 1);
}

TEST(ConvertToSgi, ResultCodesAndCommandLineTool) {
  const std::string folder = testsupport::MakeTempSubdir("sgicmd");
  const Bytes rgb = testsupport::PatternRgb(7, 5);
  const std::string bmp = testsupport::Join(folder, "in.bmp");
  ASSERT_TRUE(testsupport::WriteBytes(bmp, testsupport::MakeBmp(7, 5, rgb)));
  const std::string target = testsupport::Join(folder, "out.sgi");
  EXPECT_EQ(engine::ConvertToSgi(nullptr, target.c_str()), engine::ResultBadArguments);
  EXPECT_EQ(engine::ConvertToSgi(bmp.c_str(), nullptr), engine::ResultBadArguments);
  EXPECT_EQ(engine::ConvertToSgi((folder + "/none").c_str(), target.c_str()), engine::ResultFileMissing);
  EXPECT_EQ(engine::ConvertToSgi((folder + "/in.bmp/x").c_str(), target.c_str()), engine::ResultFileMissing);
  EXPECT_EQ(engine::ConvertToSgi(bmp.c_str(), (folder + "/in.bmp/x.sgi").c_str()), engine::ResultWriteFailed);
  ASSERT_EQ(engine::ConvertToSgi(bmp.c_str(), target.c_str()), engine::ResultOk);
  EXPECT_TRUE(testsupport::ScratchFiles().empty());
  const Bytes file = testsupport::ReadBytes(target);
  ASSERT_EQ(file.size(), 512u + 105u);
  EXPECT_EQ(file[512], rgb[4 * 7 * 3]);  // red of the bottom row's first pixel

  const std::string tool = testsupport::Quote(testsupport::ConvertTool());
  const std::string second = testsupport::Join(folder, "cli.sgi");
  EXPECT_EQ(testsupport::RunCommand(tool + " sgi " + testsupport::Quote(bmp) + " " + testsupport::Quote(second)), 0);
  EXPECT_EQ(testsupport::ReadBytes(second), file);
  EXPECT_EQ(testsupport::RunCommand(tool + " sgi " + testsupport::Quote(folder + "/none") + " x 2>/dev/null"), 1);
}

}  // namespace
