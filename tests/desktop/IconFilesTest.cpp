// The icon files the build draws, read back by ImageMagick: every hicolor PNG
// and every entry of the Windows icon holds the drawing at its size, alpha
// included.
#include <gtest/gtest.h>

#include <cstdlib>
#include <vector>

#include "app/Icon.h"
#include "tests/support/TestSupport.h"

namespace {

using testsupport::Bytes;
using testsupport::Quote;

const int kSizes[] = {16, 24, 32, 48, 64, 128, 256};

Bytes Rgba(const std::vector<unsigned>& pixels) {
  Bytes bytes;
  for (const unsigned p : pixels) {
    for (const int shift : {16, 8, 0, 24}) bytes.push_back(static_cast<std::uint8_t>(p >> shift));
  }
  return bytes;
}

// The picture (an .ico entry by index) as 8-bit RGBA by the oracle.
Bytes DecodeRgba(const std::string& path, int size) {
  std::string output;
  const std::string command = Quote(testsupport::ImageMagick()) + " " + Quote(path) + " -depth 8 rgba:- 2>/dev/null";
  if (testsupport::RunCommand(command, &output) != 0) return {};
  if (output.size() != static_cast<std::size_t>(size) * size * 4) return {};
  return Bytes(output.begin(), output.end());
}

class IconFiles : public ::testing::Test {
 protected:
  void SetUp() override {
    if (testsupport::ImageMagick().empty()) GTEST_SKIP() << "ImageMagick is not available";
  }
  int Tool(const std::string& arguments) { return testsupport::RunCommand(Quote(PICTOMILL_ICON_TOOL) + " " + arguments); }
  std::string dir_ = testsupport::MakeTempSubdir("icons");
};

TEST_F(IconFiles, HicolorHoldsTheDrawingAtEverySize) {
  ASSERT_EQ(Tool("hicolor " + Quote(dir_ + "/hicolor") + " org.example.Icon"), 0);
  for (const int size : kSizes) {
    SCOPED_TRACE(size);
    const std::string name = std::to_string(size) + "x" + std::to_string(size);
    const Bytes decoded = DecodeRgba(dir_ + "/hicolor/" + name + "/apps/org.example.Icon.png", size);
    ASSERT_FALSE(decoded.empty());
    EXPECT_EQ(decoded, Rgba(app::DrawIcon(size)));
  }
  EXPECT_NE(Tool("hicolor " + Quote(dir_ + "/no/such/folder") + " x"), 0) << "a folder it cannot make is a failure";
}

TEST_F(IconFiles, EveryIcoEntryHoldsTheDrawingAtItsSize) {
  const std::string ico = dir_ + "/pictomill.ico";
  ASSERT_EQ(Tool("ico " + Quote(ico)), 0);
  std::string listing;
  ASSERT_EQ(testsupport::RunCommand("identify -format '%m %wx%h\\n' " + Quote(ico), &listing), 0);
  EXPECT_EQ(listing, "ICO 16x16\nICO 24x24\nICO 32x32\nICO 48x48\nICO 64x64\nICO 128x128\nPNG 256x256\n");
  for (int i = 0; i < 7; ++i) {
    SCOPED_TRACE(kSizes[i]);
    const Bytes decoded = DecodeRgba(ico + "[" + std::to_string(i) + "]", kSizes[i]);
    ASSERT_FALSE(decoded.empty());
    EXPECT_EQ(decoded, Rgba(app::DrawIcon(kSizes[i])));
  }
  EXPECT_EQ(Tool("wrong"), 2);
}

// Drawn at each size, not scaled up from 128 pixels: the 256-pixel icon,
// averaged down, is the 128-pixel one within rounding, yet holds detail that a
// scaled-up copy would not (2 x 2 blocks that differ inside).
TEST(IconDrawing, LargeSizesAreDrawnNotBlownUp) {
  const std::vector<unsigned> large = app::DrawIcon(256);
  const std::vector<unsigned> small = app::DrawIcon(128);
  ASSERT_EQ(large.size(), 256u * 256u);
  double difference = 0;
  int detailed = 0;
  for (int y = 0; y < 128; ++y) {
    for (int x = 0; x < 128; ++x) {
      const unsigned block[4] = {large[(2 * y) * 256 + 2 * x], large[(2 * y) * 256 + 2 * x + 1],
                                 large[(2 * y + 1) * 256 + 2 * x], large[(2 * y + 1) * 256 + 2 * x + 1]};
      if (block[0] != block[1] || block[0] != block[2] || block[0] != block[3]) ++detailed;
      const unsigned alpha = (block[0] >> 24) + (block[1] >> 24) + (block[2] >> 24) + (block[3] >> 24);
      difference += std::abs(static_cast<int>(alpha / 4) - static_cast<int>(small[y * 128 + x] >> 24));
    }
  }
  EXPECT_LT(difference / (128 * 128), 1.0) << "the same shape";
  EXPECT_GT(detailed, 128 * 4) << "edges drawn at the finer size";
  EXPECT_EQ(app::DrawIcon(16).size(), 256u);
  EXPECT_TRUE(app::DrawIcon(0).empty());
}

}  // namespace
