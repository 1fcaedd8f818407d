#include "engine/core/ImageBuffer.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "tests/support/TestSupport.h"

namespace {

using engine::ImageBuffer;
using testsupport::ScratchFiles;

void ExpectEmpty(const ImageBuffer& image) {
  EXPECT_EQ(image.GetWidth(), 0);
  EXPECT_EQ(image.GetHeight(), 0);
  EXPECT_EQ(image.GetBitsPerPixel(), 0u);
  EXPECT_EQ(image.GetPaletteCount(), 0);
  EXPECT_EQ(image.GetPixels(), nullptr);
  EXPECT_EQ(image.GetPalette(), nullptr);
  EXPECT_EQ(image.GetRowBytes(), 0u);
  EXPECT_EQ(image.GetPixelBytes(), 0u);
}

TEST(ImageBuffer, RefusedCreatesLeaveItEmptyWithNoFile) {
  ImageBuffer image;
  EXPECT_EQ(image.Create(0, 10, 24, 0), 0);
  EXPECT_EQ(image.Create(10, -1, 8, 0), 0);
  EXPECT_EQ(image.Create(10, 10, 12, 0), 0);
  EXPECT_EQ(image.Create(10, 10, 8, -1), 0);
  ExpectEmpty(image);
  EXPECT_TRUE(ScratchFiles().empty());
}

TEST(ImageBuffer, SizesThatDoNotFitAMappingFail) {
  ImageBuffer image;
  // 65536 * 65536 * 1 = 2^32: one byte too many for a 32-bit mapping size.
  EXPECT_EQ(image.Create(65536, 65536, 8, 0), 0);
  // The three factors overflow 32 bits together though each fits.
  EXPECT_EQ(image.Create(40000, 40000, 32, 0), 0);
  EXPECT_EQ(image.Create(2147483647, 2147483647, 32, 0), 0);
  ExpectEmpty(image);
  EXPECT_TRUE(ScratchFiles().empty());
}

TEST(ImageBuffer, CreateGivesZeroedRowsOfTheRightSize) {
  ImageBuffer image;
  ASSERT_EQ(image.Create(3, 2, 8, 0), 1);
  EXPECT_EQ(image.GetPixelBytes(), 6u);
  EXPECT_EQ(image.GetRowBytes(), 3u);
  EXPECT_TRUE(std::all_of(image.GetPixels(), image.GetPixels() + 6, [](std::uint8_t b) { return b == 0; }));
  ASSERT_EQ(image.Create(3, 2, 32, 0), 1);
  EXPECT_EQ(image.GetPixelBytes(), 24u);
  EXPECT_EQ(image.GetRowBytes(), 12u);
  ASSERT_EQ(image.Create(10, 10, 24, 5), 1);
  EXPECT_EQ(image.GetPaletteCount(), 0);
  EXPECT_EQ(image.GetPalette(), nullptr);
  ASSERT_EQ(image.Create(2, 2, 8, 16), 1);
  EXPECT_EQ(image.GetPaletteCount(), 16);
  ASSERT_NE(image.GetPalette(), nullptr);
  EXPECT_EQ(image.GetPalette()[15].red, 0);  // zero-filled
}

TEST(ImageBuffer, SecondCreateReplacesTheFirstFile) {
  ImageBuffer image;
  ASSERT_EQ(image.Create(4, 4, 24, 0), 1);
  ASSERT_EQ(image.Create(8, 8, 24, 0), 1);
  EXPECT_EQ(ScratchFiles().size(), 1u);
  image.Release();
  EXPECT_TRUE(ScratchFiles().empty());
  ExpectEmpty(image);
}

TEST(ImageBuffer, DestructionDeletesTheScratchFile) {
  {
    ImageBuffer image;
    ASSERT_EQ(image.Create(4, 4, 16, 0), 1);
    EXPECT_EQ(ScratchFiles().size(), 1u);
  }
  EXPECT_TRUE(ScratchFiles().empty());
}

TEST(ImageBuffer, CopyFrom) {
  ImageBuffer empty;
  ImageBuffer target;
  ASSERT_EQ(target.Create(2, 1, 24, 0), 1);
  target.GetPixels()[0] = 9;
  EXPECT_EQ(target.CopyFrom(empty), 0);
  EXPECT_EQ(target.GetWidth(), 2);  // left as it was
  EXPECT_EQ(target.GetPixels()[0], 9);

  ImageBuffer source;
  ASSERT_EQ(source.Create(4, 2, 8, 16), 1);
  for (int i = 0; i < 16; ++i) source.GetPalette()[i] = {static_cast<std::uint8_t>(i), 2, 3, 0, 0};
  for (int i = 0; i < 8; ++i) source.GetPixels()[i] = static_cast<std::uint8_t>(i * 2);
  ASSERT_EQ(target.CopyFrom(source), 1);
  EXPECT_EQ(target.GetPaletteCount(), 16);
  EXPECT_TRUE(std::equal(source.GetPixels(), source.GetPixels() + 8, target.GetPixels()));
  for (int i = 0; i < 16; ++i) EXPECT_EQ(target.GetPalette()[i].red, i);
}

TEST(PackPixel16, PacksAndUnpacks) {
  EXPECT_EQ(engine::PackPixel16(255, 255, 255), 0xFFFE);
  EXPECT_EQ(engine::PackPixel16(255, 0, 0), 0xF800);
  EXPECT_EQ(engine::PackPixel16(200, 100, 50), 0xCB0C);
  const engine::Rgb white = engine::UnpackPixel16(0xFFFE);
  EXPECT_EQ(white.red, 248);
  EXPECT_EQ(white.green, 248);
  EXPECT_EQ(white.blue, 248);
  const engine::Rgb c = engine::UnpackPixel16(0xCB0C);
  EXPECT_EQ(c.red, 200);
  EXPECT_EQ(c.green, 96);
  EXPECT_EQ(c.blue, 48);
}

}  // namespace
