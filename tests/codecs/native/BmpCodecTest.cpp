#include "codecs/native/BmpCodec.h"

#include <gtest/gtest.h>

#include "tests/support/TestSupport.h"

namespace {

using codecs::BmpCodec;
using engine::ImageBuffer;
using testsupport::Bytes;
using testsupport::BmpOptions;
using testsupport::Join;
using testsupport::MakeBmp;

class BmpCodecTest : public ::testing::Test {
 protected:
  std::string Save(const Bytes& bytes, const std::string& name = "in.bmp") {
    const std::string path = Join(dir_, name);
    EXPECT_TRUE(testsupport::WriteBytes(path, bytes));
    return path;
  }
  int Read(const std::string& path, ImageBuffer& image) {
    BmpCodec codec;
    if (codec.BeginRead(path.c_str(), &image) != 1) return -1;
    return codec.ReadImage();
  }
  std::string dir_ = testsupport::MakeTempSubdir("bmp");
};

// Four pixels whose rows are distinguishable: red, green / blue, white.
const Bytes kPixels = {255, 0, 0, 0, 255, 0, 0, 0, 255, 255, 255, 255};

TEST_F(BmpCodecTest, ReadsBottomUpAndTopDownRows) {
  for (const bool topDown : {false, true}) {
    BmpOptions options;
    options.topDown = topDown;
    ImageBuffer image;
    ASSERT_EQ(Read(Save(MakeBmp(2, 2, kPixels, options)), image), 1) << topDown;
    EXPECT_EQ(image.GetBitsPerPixel(), 24u);
    EXPECT_EQ(testsupport::ImageAsRgb(image), kPixels) << topDown;
  }
}

TEST_F(BmpCodecTest, AcceptsBaCompressionThreeAndTheCoreHeader) {
  BmpOptions ba;
  ba.secondSignatureByte = 'A';
  BmpOptions masks;
  masks.compression = 3;
  BmpOptions core;
  core.infoHeaderSize = 12;
  for (const BmpOptions& options : {ba, masks, core}) {
    ImageBuffer image;
    ASSERT_EQ(Read(Save(MakeBmp(2, 2, kPixels, options)), image), 1);
    EXPECT_EQ(testsupport::ImageAsRgb(image), kPixels);
  }
}

TEST_F(BmpCodecTest, RefusesOtherDepthsAndRunLengthFiles) {
  for (const int bits : {1, 4, 8, 16, 32}) {
    BmpOptions options;
    options.bitCount = static_cast<std::uint16_t>(bits);
    ImageBuffer image;
    EXPECT_EQ(Read(Save(MakeBmp(2, 2, kPixels, options)), image), -1) << bits;
    EXPECT_EQ(image.GetWidth(), 0);  // a refusal leaves the target untouched
  }
  for (const std::uint32_t compression : {1u, 2u, 4u}) {
    BmpOptions options;
    options.compression = compression;
    ImageBuffer image;
    EXPECT_EQ(Read(Save(MakeBmp(2, 2, kPixels, options)), image), -1) << compression;
  }
}

TEST_F(BmpCodecTest, RefusesHeaderRegionsShorterThanTheirFields) {
  Bytes file = MakeBmp(2, 2, kPixels);
  auto withOffset = [&](std::uint32_t offset) {
    Bytes patched = file;
    patched[10] = static_cast<std::uint8_t>(offset);
    patched[11] = static_cast<std::uint8_t>(offset >> 8);
    return patched;
  };
  ImageBuffer image;
  for (const std::uint32_t offset : {0u, 14u, 20u, 26u, 0xFFFFu}) {
    EXPECT_EQ(Read(Save(withOffset(offset)), image), -1) << offset;
  }
  // 26 with the 12-byte header is the normal case.
  BmpOptions core;
  core.infoHeaderSize = 12;
  EXPECT_EQ(Read(Save(MakeBmp(2, 2, kPixels, core)), image), 1);
}

TEST_F(BmpCodecTest, RefusesBadSizes) {
  Bytes file = MakeBmp(2, 2, kPixels);
  auto put32 = [](Bytes& bytes, std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) bytes[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
  };
  ImageBuffer image;
  Bytes zeroWidth = file;
  put32(zeroWidth, 18, 0);
  EXPECT_EQ(Read(Save(zeroWidth), image), -1);
  Bytes negativeWidth = file;
  put32(negativeWidth, 18, 0xFFFFFFFE);
  EXPECT_EQ(Read(Save(negativeWidth), image), -1);
  Bytes minHeight = file;
  put32(minHeight, 22, 0x80000000u);
  EXPECT_EQ(Read(Save(minHeight), image), -1);
  // Accepted at the header, then far too big for the file or a mapping.
  Bytes huge = file;
  put32(huge, 18, 3000000);
  put32(huge, 22, 2000000);
  EXPECT_EQ(Read(Save(huge), image), 0);
  EXPECT_TRUE(testsupport::ScratchFiles().empty());
}

TEST_F(BmpCodecTest, FileEndingInsideThePixelsFailsInReadImage) {
  Bytes file = MakeBmp(4, 4, testsupport::PatternRgb(4, 4));
  file.resize(file.size() - 5);
  ImageBuffer image;
  EXPECT_EQ(Read(Save(file), image), 0);
  EXPECT_TRUE(testsupport::ScratchFiles().size() <= 1u);
}

TEST_F(BmpCodecTest, WritesTheFiftyEightByteOnePixelFile) {
  ImageBuffer image;
  testsupport::FillRgbImage(image, 1, 1, {10, 20, 30});
  const std::string path = Join(dir_, "one.bmp");
  BmpCodec codec;
  ASSERT_EQ(codec.BeginWrite(path.c_str(), &image, 24), 1);
  ASSERT_EQ(codec.WriteImage(), 1);
  const Bytes bytes = testsupport::ReadBytes(path);
  const Bytes expected = {'B', 'M', 58, 0, 0, 0, 0, 0, 0, 0, 54, 0, 0, 0,  // file header
                          40, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0, 1, 0, 24, 0,  // size, width, height, planes, bits
                          0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
                          30, 20, 10, 0};  // B, G, R and one zero pad byte
  EXPECT_EQ(bytes, expected);
}

TEST_F(BmpCodecTest, RowSizesArePaddedToFourBytes) {
  for (const auto& [width, rowSize] : {std::pair{2, 8}, std::pair{4, 12}, std::pair{5, 16}}) {
    ImageBuffer image;
    testsupport::FillRgbImage(image, width, 3, testsupport::PatternRgb(width, 3));
    const std::string path = Join(dir_, "w" + std::to_string(width) + ".bmp");
    BmpCodec codec;
    ASSERT_EQ(codec.BeginWrite(path.c_str(), &image, 24), 1);
    ASSERT_EQ(codec.WriteImage(), 1);
    EXPECT_EQ(testsupport::ReadBytes(path).size(), 54u + 3u * rowSize);
  }
}

TEST_F(BmpCodecTest, RoundTripIsExactAndAnOracleAgrees) {
  const Bytes pixels = testsupport::PatternRgb(37, 11, 5);
  ImageBuffer image;
  testsupport::FillRgbImage(image, 37, 11, pixels);
  const std::string path = Join(dir_, "round.bmp");
  BmpCodec writer;
  ASSERT_EQ(writer.BeginWrite(path.c_str(), &image, 24), 1);
  ASSERT_EQ(writer.WriteImage(), 1);
  ImageBuffer back;
  ASSERT_EQ(Read(path, back), 1);
  EXPECT_EQ(testsupport::ImageAsRgb(back), pixels);

  int width = 0;
  int height = 0;
  Bytes oracle;
  if (!testsupport::DecodeWithImageMagick(path, width, height, oracle)) GTEST_SKIP() << "ImageMagick not available";
  EXPECT_EQ(width, 37);
  EXPECT_EQ(height, 11);
  EXPECT_EQ(oracle, pixels);
}

TEST_F(BmpCodecTest, BeginWriteRefusals) {
  ImageBuffer empty;
  BmpCodec codec;
  const std::string path = Join(dir_, "refused.bmp");
  EXPECT_EQ(codec.BeginWrite(path.c_str(), &empty, 24), 0);
  EXPECT_FALSE(testsupport::FileExistsOnDisk(path));
  ImageBuffer image;
  testsupport::FillRgbImage(image, 1, 1, {1, 2, 3});
  EXPECT_EQ(codec.BeginWrite(path.c_str(), &image, 32), 0);
  EXPECT_EQ(codec.BeginWrite(Join(dir_, "missing/x.bmp").c_str(), &image, 24), 0);
  EXPECT_EQ(codec.WriteImage(), 0);  // not opened
  EXPECT_EQ(codec.Close(), 1);
  EXPECT_EQ(codec.Close(), 1);
}

}  // namespace
