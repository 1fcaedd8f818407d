#include <gtest/gtest.h>

#include <set>

#include "engine/core/ImageBuffer.h"
#include "tests/support/TestSupport.h"

namespace {

using engine::ImageBuffer;
using testsupport::Bytes;

void Make24(ImageBuffer& image, const Bytes& rgb) {
  testsupport::FillRgbImage(image, static_cast<int>(rgb.size() / 3), 1, rgb);
}

TEST(DepthConversion, GreyLevelsUseTheIntegerWeights) {
  ImageBuffer source;
  Make24(source, {255, 255, 255, 255, 0, 0, 0, 255, 0, 0, 0, 255, 0, 0, 0});
  ImageBuffer grey;
  ASSERT_EQ(source.ConvertTo(grey, 8, 0), 1);
  EXPECT_EQ(grey.GetPaletteCount(), 0);
  const Bytes levels(grey.GetPixels(), grey.GetPixels() + 5);
  EXPECT_EQ(levels, (Bytes{255, 76, 149, 29, 0}));
}

TEST(DepthConversion, SixteenBitRoundTripClearsLowBits) {
  ImageBuffer source;
  Make24(source, {200, 100, 50, 7, 15, 255});
  ImageBuffer packed;
  ASSERT_EQ(source.ConvertTo(packed, 16, 0), 1);
  EXPECT_EQ(packed.GetPixels()[0] | packed.GetPixels()[1] << 8, 0xCB0C);  // little-endian word
  ImageBuffer back;
  ASSERT_EQ(packed.ConvertTo(back, 24, 0), 1);
  EXPECT_EQ(testsupport::ImageAsRgb(back), (Bytes{200, 96, 48, 0, 8, 248}));
}

TEST(DepthConversion, ThirtyTwoBitLeadingByte) {
  ImageBuffer source;
  Make24(source, {1, 2, 3, 4, 5, 6});
  ImageBuffer wide;
  ASSERT_EQ(source.ConvertTo(wide, 32, 0), 1);
  EXPECT_EQ(Bytes(wide.GetPixels(), wide.GetPixels() + 8), (Bytes{255, 1, 2, 3, 255, 4, 5, 6}));
  wide.GetPixels()[0] = 17;  // whatever it holds, 32 -> 24 drops it
  ImageBuffer narrow;
  ASSERT_EQ(wide.ConvertTo(narrow, 24, 0), 1);
  EXPECT_EQ(testsupport::ImageAsRgb(narrow), (Bytes{1, 2, 3, 4, 5, 6}));
  ImageBuffer fromThirtyTwo;
  ASSERT_EQ(wide.ConvertTo(fromThirtyTwo, 16, 0), 1);
  EXPECT_EQ(fromThirtyTwo.GetPixels()[0] | fromThirtyTwo.GetPixels()[1] << 8, engine::PackPixel16(1, 2, 3));
}

TEST(DepthConversion, SameFormIsACopy) {
  ImageBuffer source;
  Make24(source, {9, 8, 7});
  ImageBuffer copy;
  ASSERT_EQ(source.ConvertTo(copy, 24, 0), 1);
  EXPECT_EQ(testsupport::ImageAsRgb(copy), (Bytes{9, 8, 7}));

  ImageBuffer paletted;
  ASSERT_EQ(paletted.Create(2, 1, 8, 16), 1);
  paletted.GetPalette()[3] = {10, 20, 30, 0, 0};
  paletted.GetPixels()[0] = 3;
  ImageBuffer kept;
  ASSERT_EQ(paletted.ConvertTo(kept, 8, 256), 1);
  EXPECT_EQ(kept.GetPaletteCount(), 16);  // keeps its own count
  EXPECT_EQ(kept.GetPixels()[0], 3);

  ImageBuffer grey;
  ASSERT_EQ(grey.Create(1, 1, 8, 0), 1);
  grey.GetPixels()[0] = 77;
  ImageBuffer greyCopy;
  ASSERT_EQ(grey.ConvertTo(greyCopy, 8, 0), 1);
  EXPECT_EQ(greyCopy.GetPixels()[0], 77);
}

TEST(DepthConversion, PaletteAndGreySourcesExpand) {
  ImageBuffer paletted;
  ASSERT_EQ(paletted.Create(3, 1, 8, 4), 1);
  paletted.GetPalette()[1] = {10, 20, 30, 0, 0};
  paletted.GetPalette()[2] = {255, 0, 0, 0, 0};
  paletted.GetPixels()[0] = 1;
  paletted.GetPixels()[1] = 2;
  paletted.GetPixels()[2] = 200;  // beyond the entries: black, never past the array
  EXPECT_EQ(testsupport::ImageAsRgb(paletted), (Bytes{10, 20, 30, 255, 0, 0, 0, 0, 0}));
  ImageBuffer grey;
  ASSERT_EQ(paletted.ConvertTo(grey, 8, 0), 1);
  EXPECT_EQ(Bytes(grey.GetPixels(), grey.GetPixels() + 3), (Bytes{(306 * 10 + 601 * 20 + 117 * 30) / 1024, 76, 0}));

  ImageBuffer level;
  ASSERT_EQ(level.Create(1, 1, 8, 0), 1);
  level.GetPixels()[0] = 99;
  ImageBuffer wide;
  ASSERT_EQ(level.ConvertTo(wide, 32, 0), 1);
  EXPECT_EQ(Bytes(wide.GetPixels(), wide.GetPixels() + 4), (Bytes{255, 99, 99, 99}));
}

TEST(DepthConversion, EmptySourceAndSelfTargetFail) {
  ImageBuffer empty;
  ImageBuffer target;
  ASSERT_EQ(target.Create(2, 2, 24, 0), 1);
  EXPECT_EQ(empty.ConvertTo(target, 24, 0), 0);
  EXPECT_EQ(target.GetWidth(), 2);  // untouched
  EXPECT_EQ(target.ConvertTo(target, 8, 0), 0);
  ImageBuffer source;
  Make24(source, {1, 2, 3});
  EXPECT_EQ(source.ConvertTo(target, 8, -1), 0);
  EXPECT_EQ(source.ConvertTo(target, 12, 0), 0);
}

TEST(DepthConversion, ConvertingIntoAFullImageReplacesIt) {
  ImageBuffer source;
  Make24(source, {1, 2, 3});
  ImageBuffer target;
  ASSERT_EQ(target.Create(5, 5, 32, 0), 1);
  ASSERT_EQ(source.ConvertTo(target, 16, 0), 1);
  EXPECT_EQ(target.GetWidth(), 1);
  EXPECT_EQ(target.GetBitsPerPixel(), 16u);
  EXPECT_EQ(testsupport::ScratchFiles().size(), 2u);
}

TEST(Quantiser, ThreeReds) {
  ImageBuffer source;
  Make24(source, {0, 0, 0, 8, 0, 0, 16, 0, 0});
  ImageBuffer quantised;
  ASSERT_EQ(source.ConvertTo(quantised, 8, 256), 1);
  EXPECT_EQ(quantised.GetPaletteCount(), 256);
  ASSERT_EQ(quantised.GetPaletteEntryCount(), 3u);
  EXPECT_EQ(quantised.GetPalette()[0].key, 0u);
  EXPECT_EQ(quantised.GetPalette()[1].key, 8u);
  EXPECT_EQ(quantised.GetPalette()[2].key, 16u);
  EXPECT_EQ(quantised.GetPalette()[1].reserved, 255);
  // The window spans both neighbours, so every one of them maps to entry 1.
  EXPECT_EQ(Bytes(quantised.GetPixels(), quantised.GetPixels() + 3), (Bytes{1, 1, 1}));
}

TEST(Quantiser, TwoColours) {
  ImageBuffer source;
  Make24(source, {0, 0, 248, 248, 0, 0, 248, 0, 0});
  ImageBuffer quantised;
  ASSERT_EQ(source.ConvertTo(quantised, 8, 256), 1);
  ASSERT_EQ(quantised.GetPaletteEntryCount(), 2u);
  EXPECT_EQ(quantised.GetPalette()[0].red, 248);  // the smaller key first
  EXPECT_EQ(Bytes(quantised.GetPixels(), quantised.GetPixels() + 3), (Bytes{1, 0, 0}));
}

TEST(Quantiser, KeepsTheMostFrequentColoursOrderedByKey) {
  // 300 distinct 16-bit colours; colour k appears k + 1 times.
  Bytes rgb;
  for (int k = 0; k < 300; ++k) {
    for (int n = 0; n <= k; ++n) {
      rgb.push_back(static_cast<std::uint8_t>((k % 32) * 8));
      rgb.push_back(static_cast<std::uint8_t>((k / 32) * 8));
      rgb.push_back(0);
    }
  }
  ImageBuffer source;
  testsupport::FillRgbImage(source, static_cast<int>(rgb.size() / 3), 1, rgb);
  engine::Palette palette;
  ASSERT_EQ(palette.BuildFromPixels(source.GetPixels(), 24, source.GetWidth(), 1, 256), 1);
  ASSERT_EQ(palette.EntryCount(), 256u);
  std::set<std::uint32_t> kept;
  for (std::uint32_t i = 0; i < 256; ++i) {
    if (i > 0) {
      EXPECT_LT(palette.Entries()[i - 1].key, palette.Entries()[i].key);
    }
    kept.insert(palette.Entries()[i].key);
  }
  // The 44 rarest colours (k = 0 .. 43) are the ones left out.
  for (int k = 0; k < 300; ++k) {
    const std::uint32_t key = (k % 32) * 8 + 256u * ((k / 32) * 8);
    EXPECT_EQ(kept.count(key), k >= 44 ? 1u : 0u) << k;
  }
}

TEST(Quantiser, FindIndexWindow) {
  engine::Palette palette;
  ASSERT_EQ(palette.Allocate(4), 1);
  const std::uint32_t keys[] = {10, 20, 30, 40};
  for (int i = 0; i < 4; ++i) palette.Entries()[i].key = keys[i];
  auto find = [&](std::uint32_t d) {
    std::uint8_t index = 99;
    EXPECT_TRUE(palette.FindIndex(static_cast<std::uint8_t>(d), 0, 0, index));
    return index;
  };
  EXPECT_EQ(find(5), 0);    // below every window, not above key 0
  EXPECT_EQ(find(10), 1);   // equal to key(i - 1) still yields i
  EXPECT_EQ(find(30), 1);   // first window wins
  EXPECT_EQ(find(35), 2);
  EXPECT_EQ(find(45), 3);   // above key 0 and no window: the last entry
  engine::Palette none;
  std::uint8_t untouched = 7;
  EXPECT_FALSE(none.FindIndex(1, 2, 3, untouched));
  EXPECT_EQ(untouched, 7);
  EXPECT_EQ(none.SortByKey(), 0);
}

TEST(Quantiser, GreyAndSixteenBitSources) {
  ImageBuffer grey;
  ASSERT_EQ(grey.Create(2, 1, 8, 0), 1);
  grey.GetPixels()[0] = 0;
  grey.GetPixels()[1] = 255;
  ImageBuffer quantised;
  ASSERT_EQ(grey.ConvertTo(quantised, 8, 16), 1);
  ASSERT_EQ(quantised.GetPaletteEntryCount(), 2u);
  EXPECT_EQ(quantised.GetPalette()[1].red, 248);
  EXPECT_EQ(Bytes(quantised.GetPixels(), quantised.GetPixels() + 2), (Bytes{0, 1}));
}

// The bisection ConvertTo uses gives the linear window search's answer for
// every sorted palette: sizes 1 to 256, repeated keys, colours on, between and
// outside the keys.
TEST(Quantiser, SortedSearchAgreesWithTheWindowSearch) {
  std::uint32_t state = 99;
  auto next = [&] {
    state = state * 1664525u + 1013904223u;
    return state >> 8;
  };
  for (std::uint32_t count = 1; count <= 256; ++count) {
    engine::Palette palette;
    ASSERT_EQ(palette.Allocate(count), 1);
    for (std::uint32_t i = 0; i < count; ++i) {
      engine::PaletteEntry& entry = palette.Entries()[i];
      // Few distinct values in small palettes, so keys repeat.
      const std::uint32_t spread = count < 16 ? 4 : 256;
      entry.red = static_cast<std::uint8_t>(next() % spread * (256 / spread));
      entry.green = static_cast<std::uint8_t>(next() % spread * (256 / spread));
      entry.blue = static_cast<std::uint8_t>(next() % 3 == 0 ? 0 : next() % spread * (256 / spread));
    }
    ASSERT_EQ(palette.SortByKey(), 1);
    for (int probe = 0; probe < 400; ++probe) {
      std::uint8_t rgb[3];
      if (probe % 2 == 0) {
        const engine::PaletteEntry& entry = palette.Entries()[next() % count];
        rgb[0] = entry.red;
        rgb[1] = entry.green;
        rgb[2] = entry.blue;
      } else {
        for (std::uint8_t& c : rgb) c = static_cast<std::uint8_t>(next());
      }
      std::uint8_t linear = 200;
      std::uint8_t bisected = 201;
      ASSERT_TRUE(palette.FindIndex(rgb[0], rgb[1], rgb[2], linear));
      ASSERT_TRUE(palette.FindIndexSorted(rgb[0], rgb[1], rgb[2], bisected));
      ASSERT_EQ(bisected, linear) << count << " entries, colour " << int{rgb[0]} << "," << int{rgb[1]} << ","
                                  << int{rgb[2]};
    }
  }
  engine::Palette none;
  std::uint8_t untouched = 7;
  EXPECT_FALSE(none.FindIndexSorted(1, 2, 3, untouched));
  EXPECT_EQ(untouched, 7);
}

}  // namespace
