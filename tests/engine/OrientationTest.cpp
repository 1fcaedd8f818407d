#include "engine/core/Orientation.h"

#include <gtest/gtest.h>

#include "tests/support/TestSupport.h"

namespace {

using engine::ImageBuffer;
using testsupport::Bytes;

// 97 x 70 crosses the copy's 64-pixel blocks; 1 x 3 and 2 x 1 are the thinnest.
TEST(Orientation, EveryValueAndDepthShowsThePictureAsTheValueSays) {
  for (const auto& [width, height] : {std::pair{97, 70}, std::pair{1, 3}, std::pair{2, 1}}) {
    for (std::uint32_t bits : {8u, 16u, 24u, 32u}) {
      const std::uint32_t bytes = bits / 8;
      const Bytes pattern = testsupport::PatternRgb(width, height * 4, bits);
      for (int orientation = 0; orientation <= 9; ++orientation) {
        ImageBuffer image;
        ASSERT_EQ(image.Create(width, height, bits, bits == 8 ? 5 : 0), 1);
        std::copy_n(pattern.begin(), image.GetPixelBytes(), image.GetPixels());
        if (bits == 8) image.GetPalette()[4] = engine::PaletteEntry{1, 2, 3, 4, 5};
        const Bytes stored(image.GetPixels(), image.GetPixels() + image.GetPixelBytes());
        ASSERT_EQ(engine::ApplyOrientation(image, orientation), 1);
        int w = 0;
        int h = 0;
        const Bytes expected = testsupport::ShownAs(stored, width, height, static_cast<int>(bytes),
                                                    orientation >= 1 && orientation <= 8 ? orientation : 1, w, h);
        const std::string label = std::to_string(width) + "x" + std::to_string(height) + " bits " +
                                  std::to_string(bits) + " orientation " + std::to_string(orientation);
        EXPECT_EQ(image.GetWidth(), w) << label;
        EXPECT_EQ(image.GetHeight(), h) << label;
        EXPECT_EQ(Bytes(image.GetPixels(), image.GetPixels() + image.GetPixelBytes()), expected) << label;
        if (bits == 8) {
          EXPECT_EQ(image.GetPaletteCount(), 5) << label;
          EXPECT_EQ(image.GetPalette()[4].blue, 3) << label;
        }
      }
    }
  }
  EXPECT_TRUE(testsupport::ScratchFiles().empty()) << "the stored picture's mapping was left behind";
}

}  // namespace
