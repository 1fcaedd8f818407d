#include "codecs/native/PhotoCdReader.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>

#include "engine/commands/ConversionCommands.h"
#include "engine/commands/LoaderChain.h"
#include "tests/codecs/native/NativeTestHelpers.h"
#include "tests/support/TestSupport.h"

namespace {

using codecs::PhotoCdReader;
using testsupport::Bytes;

constexpr std::size_t kMiB = 1048576;
constexpr std::size_t kBase = 196608;

// An image pac of zeros with the signature; samples set through the helpers.
Bytes MakePac(std::size_t size = kMiB, bool signature = true) {
  Bytes file(size, 0);
  if (signature) {
    const std::string text = "PCD_IPI";
    std::copy(text.begin(), text.end(), file.begin() + 2048);
  }
  return file;
}
std::size_t Group(int rowPair) { return kBase + static_cast<std::size_t>(rowPair) * 3 * 768; }
void SetLuminance(Bytes& file, int row, int x, std::uint8_t value) {
  file[Group(row / 2) + static_cast<std::size_t>(row % 2) * 768 + static_cast<std::size_t>(x)] = value;
}
void SetChroma(Bytes& file, int rowPair, int pairIndex, std::uint8_t c1, std::uint8_t c2) {
  file[Group(rowPair) + 2 * 768 + static_cast<std::size_t>(pairIndex)] = c1;
  file[Group(rowPair) + 2 * 768 + 384 + static_cast<std::size_t>(pairIndex)] = c2;
}

std::string WriteTemp(const std::string& name, const Bytes& bytes) {
  const std::string path = testsupport::Join(testsupport::MakeTempSubdir("pcd"), name);
  EXPECT_TRUE(testsupport::WriteBytes(path, bytes));
  return path;
}

Bytes Pixel(const engine::ImageBuffer& image, int x, int y) {
  const std::uint8_t* p = image.GetRow(y) + 3 * x;
  return Bytes{p[0], p[1], p[2]};
}

Bytes Convert(int y, int c1, int c2) {
  std::uint8_t out[3] = {};
  PhotoCdReader::ToRgb(static_cast<std::uint8_t>(y), static_cast<std::uint8_t>(c1), static_cast<std::uint8_t>(c2),
                       out);
  return Bytes{out[0], out[1], out[2]};
}

TEST(PhotoCdColour, SampleValuesAndClamping) {
  EXPECT_EQ(Convert(0, 0, 0), (Bytes{0, 154, 0}));
  EXPECT_EQ(Convert(100, 200, 50), (Bytes{26, 182, 230}));
  EXPECT_EQ(Convert(255, 255, 255), (Bytes{255, 240, 255}));
  EXPECT_EQ(Convert(128, 156, 137), (Bytes{180, 180, 180}));
}

TEST(PhotoCdRead, SizeAndSignatureDecideAcceptance) {
  struct Case {
    const char* name;
    std::size_t size;
    bool signature;
    bool taken;
  };
  for (const Case c : {Case{"1 MiB - 1", kMiB - 1, true, false}, Case{"1 MiB", kMiB, true, true},
                       Case{"2 MiB", 2 * kMiB, true, true}, Case{"no signature", kMiB, false, false}}) {
    SCOPED_TRACE(c.name);
    const std::string path = WriteTemp("p.pcd", MakePac(c.size, c.signature));
    engine::ImageBuffer image;
    PhotoCdReader reader;
    EXPECT_EQ(reader.BeginRead(path.c_str(), &image, 2), c.taken ? 1 : 0);
    EXPECT_EQ(reader.Close(), 1);
  }
  Bytes nearly = MakePac();
  nearly[2048 + 6] = 'J';
  engine::ImageBuffer image;
  PhotoCdReader reader;
  EXPECT_EQ(reader.BeginRead(WriteTemp("n.pcd", nearly).c_str(), &image, 2), 0);
  const std::string good = WriteTemp("g.pcd", MakePac());
  EXPECT_EQ(reader.BeginRead(good.c_str(), &image, 1), 0);  // only the base picture is offered
  EXPECT_EQ(reader.BeginRead(good.c_str(), &image, 3), 0);
  EXPECT_EQ(reader.ReadImage(), 0);
}

TEST(PhotoCdRead, ZeroPacDecodesToUniformGreen) {
  engine::ImageBuffer image;
  PhotoCdReader reader;
  ASSERT_EQ(reader.BeginRead(WriteTemp("z.pcd", MakePac()).c_str(), &image, 2), 1);
  ASSERT_EQ(reader.ReadImage(), 1);
  ASSERT_EQ(image.GetWidth(), 768);
  ASSERT_EQ(image.GetHeight(), 512);
  ASSERT_EQ(image.GetBitsPerPixel(), 24u);
  for (std::uint32_t i = 0; i < image.GetPixelBytes(); i += 3) {
    ASSERT_EQ(Bytes(image.GetPixels() + i, image.GetPixels() + i + 3), (Bytes{0, 154, 0})) << "byte " << i;
  }
  EXPECT_TRUE(testsupport::ScratchFiles().size() == 1u);  // the image's own; the work areas are gone
}

TEST(PhotoCdRead, ChromaIsSharedByPixelPairsAndRowPairs) {
  Bytes file = MakePac();
  // Rows 0 and 1, pixels 0..3: luminance 100; chroma pair 0 = (200, 50), pair 1 = (156, 137).
  for (const int row : {0, 1, 2}) {
    for (int x = 0; x < 4; ++x) SetLuminance(file, row, x, 100);
  }
  SetChroma(file, 0, 0, 200, 50);
  SetChroma(file, 0, 1, 156, 137);
  SetLuminance(file, 511, 767, 128);
  SetChroma(file, 255, 383, 156, 137);
  SetLuminance(file, 1, 1, 255);
  engine::ImageBuffer image;
  PhotoCdReader reader;
  ASSERT_EQ(reader.BeginRead(WriteTemp("c.pcd", file).c_str(), &image, 2), 1);
  ASSERT_EQ(reader.ReadImage(), 1);
  EXPECT_EQ(Pixel(image, 0, 0), (Bytes{26, 182, 230}));
  EXPECT_EQ(Pixel(image, 1, 0), (Bytes{26, 182, 230}));
  EXPECT_EQ(Pixel(image, 0, 1), (Bytes{26, 182, 230}));
  EXPECT_EQ(Pixel(image, 1, 1), Convert(255, 200, 50));
  EXPECT_EQ(Pixel(image, 2, 0), Convert(100, 156, 137));
  EXPECT_EQ(Pixel(image, 3, 1), Convert(100, 156, 137));
  EXPECT_EQ(Pixel(image, 0, 2), Convert(100, 0, 0));  // the next row pair has its own chroma
  EXPECT_EQ(Pixel(image, 767, 511), (Bytes{180, 180, 180}));
  EXPECT_EQ(Pixel(image, 766, 510), Convert(0, 156, 137));
}

TEST(PhotoCdLoader, LargeFilesOfOtherKindsAreRefusedSilently) {
  const std::string folder = testsupport::MakeTempSubdir("pcdload");
  Bytes text(2 * kMiB);
  for (std::size_t i = 0; i < text.size(); ++i) text[i] = static_cast<std::uint8_t>('a' + i % 26);
  for (const auto& [name, bytes, expected] : std::vector<std::tuple<std::string, Bytes, int>>{
           {"text.txt", text, engine::ResultUnreadable},
           {"zeros.bin", MakePac(kMiB, false), engine::ResultUnreadable},
           {"pac.jpg", MakePac(), engine::ResultOk}}) {
    SCOPED_TRACE(name);
    const std::string path = testsupport::Join(folder, name);
    ASSERT_TRUE(testsupport::WriteBytes(path, bytes));
    engine::ImageBuffer image;
    const char* reader = nullptr;
    EXPECT_EQ(engine::LoadAnyImage(path.c_str(), image, &reader), expected);
    if (expected == engine::ResultOk) {
      ASSERT_NE(reader, nullptr);
      EXPECT_STREQ(reader, "PCD");
      EXPECT_EQ(image.GetWidth(), 768);
    } else {
      EXPECT_EQ(reader, nullptr);
    }
  }
}

// ImageMagick writes a real pac (below 1 MiB); padded with zeros it loads and
// matches ImageMagick's own reading of its base picture.
TEST(PhotoCdOracle, ImageMagickPacLoadsOncePadded) {
  if (testsupport::ImageMagick().empty()) GTEST_SKIP() << "ImageMagick not installed";
  const std::string folder = testsupport::MakeTempSubdir("pcdim");
  const std::string bmp = testsupport::Join(folder, "in.bmp");
  // Bands and stripes on even boundaries, so chroma subsampling keeps them.
  Bytes rgb(768 * 512 * 3);
  for (int y = 0; y < 512; ++y) {
    for (int x = 0; x < 768; ++x) {
      std::uint8_t* p = rgb.data() + (static_cast<std::size_t>(y) * 768 + static_cast<std::size_t>(x)) * 3;
      p[0] = static_cast<std::uint8_t>((x / 16) % 2 * 180 + 40);
      p[1] = static_cast<std::uint8_t>((y / 8) % 2 * 180 + 40);
      p[2] = static_cast<std::uint8_t>(x / 3);
    }
  }
  ASSERT_TRUE(testsupport::WriteBytes(bmp, testsupport::MakeBmp(768, 512, rgb)));
  const std::string pcd = testsupport::Join(folder, "im.pcd");
  ASSERT_EQ(testsupport::RunCommand(testsupport::Quote(testsupport::ImageMagick()) + " " + testsupport::Quote(bmp) +
                                    " " + testsupport::Quote(pcd)),
            0);
  Bytes pac = testsupport::ReadBytes(pcd);
  ASSERT_LT(pac.size(), kMiB);
  engine::ImageBuffer image;
  EXPECT_EQ(engine::LoadAnyImage(pcd.c_str(), image), engine::ResultUnreadable);

  pac.resize(kMiB, 0);
  ASSERT_TRUE(testsupport::WriteBytes(pcd, pac));
  ASSERT_EQ(engine::LoadAnyImage(pcd.c_str(), image), engine::ResultOk);
  ASSERT_EQ(image.GetWidth(), 768);
  ASSERT_EQ(image.GetHeight(), 512);

  int w = 0;
  int h = 0;
  Bytes oracle;
  // Scene 3 of ImageMagick's reading is the 768 x 512 base picture.
  const std::string base = testsupport::Join(folder, "base.ppm");
  ASSERT_EQ(testsupport::RunCommand(testsupport::Quote(testsupport::ImageMagick()) + " " +
                                    testsupport::Quote(pcd + "[3]") + " -depth 8 " + testsupport::Quote(base)),
            0);
  ASSERT_TRUE(testsupport::DecodeWithImageMagick(base, w, h, oracle));
  ASSERT_EQ(w, 768);
  ASSERT_EQ(h, 512);
  // The two colour conversions scale differently, so compare each channel by
  // its correlation: a misplaced row, pixel or chroma sample breaks it.
  for (std::size_t channel = 0; channel < 3; ++channel) {
    double sumA = 0, sumB = 0, sumAA = 0, sumBB = 0, sumAB = 0;
    const double n = 768.0 * 512.0;
    for (std::size_t i = channel; i < oracle.size(); i += 3) {
      const double a = oracle[i];
      const double b = image.GetPixels()[i];
      sumA += a;
      sumB += b;
      sumAA += a * a;
      sumBB += b * b;
      sumAB += a * b;
    }
    const double covariance = sumAB / n - (sumA / n) * (sumB / n);
    const double spreadA = std::sqrt(sumAA / n - (sumA / n) * (sumA / n));
    const double spreadB = std::sqrt(sumBB / n - (sumB / n) * (sumB / n));
    EXPECT_GT(covariance / (spreadA * spreadB), 0.95) << "channel " << channel;
  }
}

TEST(PhotoCdLoader, CorpusAndOtherRowsLoadAsTheManifestSays) {
  nativetest::CheckManifestRows({"pcd/", "other/"}, 10);
}

TEST(PhotoCdCommands, PacConvertsThroughEveryNativeWriter) {
  const std::string folder = testsupport::MakeTempSubdir("pcdcmd");
  const std::string pac = testsupport::Join(folder, "p.pcd");
  ASSERT_TRUE(testsupport::WriteBytes(pac, MakePac()));
  const std::string target = testsupport::Join(folder, "out");
  EXPECT_EQ(engine::ConvertToSgi(pac.c_str(), target.c_str()), engine::ResultOk);
  EXPECT_EQ(testsupport::ReadBytes(target).size(), 512u + 3u * 768u * 512u);
  EXPECT_EQ(engine::ConvertToPpm(pac.c_str(), target.c_str(), 1), engine::ResultOk);
  const Bytes ppm = testsupport::ReadBytes(target);
  ASSERT_EQ(ppm.size(), 40u + 3u * 768u * 512u);  // a 40-byte header
  EXPECT_EQ(Bytes(ppm.end() - 3, ppm.end()), (Bytes{0, 154, 0}));
  EXPECT_TRUE(testsupport::ScratchFiles().empty());
}

}  // namespace
