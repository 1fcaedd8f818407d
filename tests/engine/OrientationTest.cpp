#include "engine/core/Orientation.h"

#include <gtest/gtest.h>

#include "engine/core/ExifOrientation.h"
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

// An APP1 payload: "Exif\0\0", a TIFF header, IFD0 with the entries given
// (tag, type, count, value), the next-IFD offset.
struct Entry {
  std::uint16_t tag, type;
  std::uint32_t count, value;
};
Bytes ExifPayload(bool bigEndian, const std::vector<Entry>& entries, std::uint32_t ifd = 8,
                  std::uint32_t next = 0) {
  Bytes out = {'E', 'x', 'i', 'f', 0, 0};
  auto put = [&](std::uint32_t v, int size) {
    for (int i = 0; i < size; ++i) {
      const int shift = bigEndian ? 8 * (size - 1 - i) : 8 * i;
      out.push_back(static_cast<std::uint8_t>(v >> shift));
    }
  };
  out.push_back(bigEndian ? 'M' : 'I');
  out.push_back(bigEndian ? 'M' : 'I');
  put(42, 2);
  put(ifd, 4);
  put(static_cast<std::uint32_t>(entries.size()), 2);
  for (const Entry& e : entries) {
    put(e.tag, 2);
    put(e.type, 2);
    put(e.count, 4);
    put(e.value, e.type == 3 ? 2 : 4);  // a SHORT value sits in the first two bytes
    if (e.type == 3) put(0, 2);
  }
  put(next, 4);
  return out;
}

int Parse(const Bytes& payload) { return engine::ExifOrientation(payload.data(), payload.size()); }

TEST(ExifOrientation, BothByteOrdersAndWhatCountsAsNoOrientation) {
  for (bool big : {false, true}) {
    for (std::uint32_t value = 0; value <= 9; ++value) {
      const int expected = value >= 1 && value <= 8 ? static_cast<int>(value) : 1;
      EXPECT_EQ(Parse(ExifPayload(big, {{0x010F, 2, 4, 0}, {0x0112, 3, 1, value}})), expected) << big << value;
    }
    const Bytes six = ExifPayload(big, {{0x0112, 3, 1, 6}});
    EXPECT_EQ(Parse(six), 6);
    // Cut anywhere before the entry's end; the next-IFD offset is never read.
    for (std::size_t cut = 0; cut + 4 < six.size(); ++cut) EXPECT_EQ(engine::ExifOrientation(six.data(), cut), 1) << cut;
    EXPECT_EQ(engine::ExifOrientation(six.data(), six.size() - 4), 6);
    EXPECT_EQ(Parse(ExifPayload(big, {{0x0112, 4, 1, 6}})), 1) << "LONG";
    EXPECT_EQ(Parse(ExifPayload(big, {{0x0112, 3, 2, 6}})), 1) << "two values";
    EXPECT_EQ(Parse(ExifPayload(big, {{0x0112, 3, 1, 6}}, 0x7FFFFFFF)), 1) << "IFD0 past the end";
    EXPECT_EQ(Parse(ExifPayload(big, {{0x0112, 3, 1, 6}}, 0xFFFFFFFF)), 1) << "IFD0 at the last offset";
  }
  Bytes wrongId = ExifPayload(false, {{0x0112, 3, 1, 6}});
  wrongId[4] = 'X';
  EXPECT_EQ(Parse(wrongId), 1);
  Bytes wrongMagic = ExifPayload(true, {{0x0112, 3, 1, 6}});
  wrongMagic[9] = 43;
  EXPECT_EQ(Parse(wrongMagic), 1);
  Bytes mixedOrder = ExifPayload(true, {{0x0112, 3, 1, 6}});
  mixedOrder[6] = 'I';
  EXPECT_EQ(Parse(mixedOrder), 1);
  EXPECT_EQ(engine::ExifOrientation(nullptr, 100), 1);
}

}  // namespace
