#include "codecs/library/TiffCodec.h"

#include <gtest/gtest.h>
#include <tiffio.h>

#include <algorithm>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "engine/commands/ConversionCommands.h"
#include "engine/commands/LoaderChain.h"
#include "tests/codecs/library/LibraryTestHelpers.h"
#include "tests/support/TestSupport.h"

namespace {

using codecs::TiffCodec;
using engine::ImageBuffer;
using librarytest::Bytes;
using testsupport::Join;
using testsupport::Quote;

std::uint32_t Le16(const Bytes& b, std::size_t at) { return static_cast<std::uint32_t>(b[at] | b[at + 1] << 8); }
std::uint32_t Le32(const Bytes& b, std::size_t at) { return Le16(b, at) | Le16(b, at + 2) << 16; }

// Tag -> (type, count, value or offset) of the first directory of an "II" file.
std::map<std::uint32_t, std::vector<std::uint32_t>> Directory(const Bytes& file) {
  std::map<std::uint32_t, std::vector<std::uint32_t>> tags;
  if (file.size() < 8) return tags;
  const std::size_t ifd = Le32(file, 4);
  if (ifd + 2 > file.size()) return tags;
  const std::uint32_t entries = Le16(file, ifd);
  for (std::uint32_t i = 0; i < entries && ifd + 2 + 12 * (i + 1) <= file.size(); ++i) {
    const std::size_t at = ifd + 2 + 12 * i;
    tags[Le16(file, at)] = {Le16(file, at + 2), Le32(file, at + 4), Le32(file, at + 8)};
  }
  return tags;
}

// A minimal uncompressed RGB file made by hand, for header edge cases.
Bytes HandMadeTiff(std::uint32_t width, std::uint32_t height) {
  Bytes file = {'I', 'I', 42, 0, 8, 0, 0, 0};
  auto put16 = [&](std::uint32_t v) {
    file.push_back(static_cast<std::uint8_t>(v));
    file.push_back(static_cast<std::uint8_t>(v >> 8));
  };
  auto put32 = [&](std::uint32_t v) {
    put16(v & 0xFFFF);
    put16(v >> 16);
  };
  struct Entry {
    std::uint32_t tag, type, count, value;
  };
  const std::uint32_t dataAt = 8 + 2 + 9 * 12 + 4;
  const Entry entries[] = {{256, 4, 1, width}, {257, 4, 1, height},  {258, 3, 1, 8},
                           {259, 3, 1, 1},     {262, 3, 1, 2},       {273, 4, 1, dataAt},
                           {277, 3, 1, 3},     {278, 4, 1, height},  {279, 4, 1, 3}};
  put16(9);
  for (const Entry& e : entries) {
    put16(e.tag);
    put16(e.type);
    put32(e.count);
    put32(e.value);
  }
  put32(0);
  file.insert(file.end(), {10, 20, 30});
  return file;
}

class TiffCodecTest : public ::testing::Test {
 protected:
  void SetUp() override { dir_ = testsupport::MakeTempSubdir("tiff"); }
  std::string Path(const std::string& name) const { return Join(dir_, name); }

  // Writes the triplets as a 24-bit TIFF with our writer.
  std::string WriteRgb(const std::string& name, int w, int h, const Bytes& rgb) const {
    ImageBuffer source;
    testsupport::FillRgbImage(source, w, h, rgb);
    TiffCodec codec;
    const std::string path = Path(name);
    EXPECT_EQ(codec.BeginWrite(path.c_str(), &source, 24), 1);
    EXPECT_EQ(codec.WriteImage(), 1);
    return path;
  }

  static Bytes Load(const std::string& path, int& width, int& height, int& result) {
    ImageBuffer image;
    TiffCodec codec;
    result = codec.BeginRead(path.c_str(), &image);
    if (result == 1) result = codec.ReadImage();
    width = image.GetWidth();
    height = image.GetHeight();
    if (result != 1) return {};
    EXPECT_EQ(image.GetBitsPerPixel(), 24u);
    return Bytes(image.GetPixels(), image.GetPixels() + image.GetPixelBytes());
  }

  std::string dir_;
};

TEST_F(TiffCodecTest, WrittenRgbFileHasTheAgreedTagsAndReadsBack) {
  const Bytes rgb = testsupport::PatternRgb(29, 31, 4);
  const std::string path = WriteRgb("rgb.tif", 29, 31, rgb);
  const Bytes file = testsupport::ReadBytes(path);
  ASSERT_GE(file.size(), 8u);
  EXPECT_EQ(file[0], 'I');
  EXPECT_EQ(file[1], 'I');
  EXPECT_EQ(Le16(file, 2), 42u);
  const auto tags = Directory(file);
  std::vector<std::uint32_t> numbers;
  for (const auto& [tag, value] : tags) numbers.push_back(tag);
  EXPECT_EQ(numbers, (std::vector<std::uint32_t>{256, 257, 258, 259, 262, 273, 274, 277, 278, 279, 284}));
  EXPECT_EQ(tags.at(256)[2], 29u);
  EXPECT_EQ(tags.at(257)[2], 31u);
  EXPECT_EQ(tags.at(259)[2], 1u);  // no compression
  EXPECT_EQ(tags.at(262)[2], 2u);  // RGB
  EXPECT_EQ(tags.at(274)[2], 1u);  // top-left
  EXPECT_EQ(tags.at(277)[2], 3u);
  EXPECT_EQ(tags.at(284)[2], 1u);

  TIFF* tiff = TIFFOpen(path.c_str(), "r");
  ASSERT_NE(tiff, nullptr);
  std::uint32_t rowsPerStrip = 0;
  ASSERT_EQ(TIFFGetField(tiff, TIFFTAG_ROWSPERSTRIP, &rowsPerStrip), 1);
  EXPECT_EQ(rowsPerStrip, TIFFDefaultStripSize(tiff, static_cast<std::uint32_t>(-1)));
  Bytes direct;
  Bytes line(static_cast<std::size_t>(TIFFScanlineSize(tiff)));
  for (std::uint32_t y = 0; y < 31; ++y) {
    ASSERT_EQ(TIFFReadScanline(tiff, line.data(), y, 0), 1);
    direct.insert(direct.end(), line.begin(), line.end());
  }
  TIFFClose(tiff);
  EXPECT_EQ(direct, rgb);

  int w = 0;
  int h = 0;
  int result = 0;
  EXPECT_EQ(Load(path, w, h, result), rgb);
  EXPECT_EQ(result, 1);
  Bytes oracle;
  if (!testsupport::DecodeWithImageMagick(path, w, h, oracle)) GTEST_SKIP() << "ImageMagick not available";
  EXPECT_EQ(oracle, rgb);
}

TEST_F(TiffCodecTest, EightBitFileIsGreyInPaletteFormWithARampColourMap) {
  const Bytes rgb = testsupport::PatternRgb(10, 6, 2);
  ImageBuffer source;
  testsupport::FillRgbImage(source, 10, 6, rgb);
  TiffCodec codec;
  const std::string path = Path("grey.tif");
  ASSERT_EQ(codec.BeginWrite(path.c_str(), &source, 8), 1);
  ASSERT_EQ(codec.WriteImage(), 1);

  const auto tags = Directory(testsupport::ReadBytes(path));
  ASSERT_TRUE(tags.count(320));
  EXPECT_EQ(tags.at(320)[1], 768u);
  EXPECT_EQ(tags.at(262)[2], 3u);
  EXPECT_EQ(tags.at(277)[2], 1u);
  EXPECT_EQ(tags.at(258)[2], 8u);
  TIFF* tiff = TIFFOpen(path.c_str(), "r");
  ASSERT_NE(tiff, nullptr);
  std::uint16_t* red = nullptr;
  std::uint16_t* green = nullptr;
  std::uint16_t* blue = nullptr;
  ASSERT_EQ(TIFFGetField(tiff, TIFFTAG_COLORMAP, &red, &green, &blue), 1);
  for (std::uint32_t i = 0; i < 256; ++i) {
    ASSERT_EQ(red[i], i * 256);
    ASSERT_EQ(green[i], i * 256);
    ASSERT_EQ(blue[i], i * 256);
  }
  ImageBuffer grey;
  ASSERT_EQ(source.ConvertTo(grey, 8, 0), 1);
  Bytes line(10);
  for (std::uint32_t y = 0; y < 6; ++y) {
    ASSERT_EQ(TIFFReadScanline(tiff, line.data(), y, 0), 1);
    EXPECT_EQ(line, Bytes(grey.GetRow(static_cast<std::int32_t>(y)), grey.GetRow(static_cast<std::int32_t>(y)) + 10));
  }
  TIFFClose(tiff);

  // A palette source is mapped to grey first, not written as raw indices.
  ImageBuffer palette;
  ASSERT_EQ(palette.Create(2, 1, 8, 2), 1);
  palette.GetPalette()[0] = engine::PaletteEntry{255, 255, 255, 0, 0};
  palette.GetPalette()[1] = engine::PaletteEntry{0, 0, 0, 0, 0};
  palette.GetPixels()[0] = 0;
  palette.GetPixels()[1] = 1;
  ASSERT_EQ(codec.BeginWrite(Path("pal8.tif").c_str(), &palette, 8), 1);
  ASSERT_EQ(codec.WriteImage(), 1);
  int w = 0;
  int h = 0;
  int result = 0;
  EXPECT_EQ(Load(Path("pal8.tif"), w, h, result), (Bytes{255, 255, 255, 0, 0, 0}));

  Bytes oracle;
  if (!testsupport::DecodeWithImageMagick(path, w, h, oracle)) GTEST_SKIP() << "ImageMagick not available";
  // ImageMagick scales the 16-bit map entries i * 256 by 255 / 65535.
  EXPECT_LE(librarytest::MaxDifference(oracle, librarytest::Rgb(grey)), 1);
}

TEST_F(TiffCodecTest, EveryCompressionSchemeReads) {
  if (!librarytest::HaveTiffTools()) GTEST_SKIP() << "tiffcp and tiffset are not reachable from a Windows program";
  const Bytes noisy = testsupport::PatternRgb(40, 24, 6);
  const Bytes smooth = librarytest::SmoothRgb(40, 24);
  const std::string noisyPlain = WriteRgb("noisy.tif", 40, 24, noisy);
  const std::string smoothPlain = WriteRgb("smooth.tif", 40, 24, smooth);
  struct Scheme {
    const char* option;
    int tolerance;  // 1: lossy
  };
  for (const Scheme& s : {Scheme{"none", 0}, Scheme{"lzw", 0}, Scheme{"lzw:2", 0}, Scheme{"packbits", 0},
                          Scheme{"zip", 0}, Scheme{"lzma", 0}, Scheme{"zstd", 0}, Scheme{"jpeg:90", 1}}) {
    const std::string path = Path(std::string("c-") + s.option + ".tif");
    // Lossy schemes get a picture they can keep close.
    const Bytes& rgb = s.tolerance == 0 ? noisy : smooth;
    const std::string& plain = s.tolerance == 0 ? noisyPlain : smoothPlain;
    if (!librarytest::Run("tiffcp -c " + std::string(s.option) + " " + Quote(plain) + " " + Quote(path))) {
      ADD_FAILURE() << "tiffcp could not write " << s.option;
      continue;
    }
    int w = 0;
    int h = 0;
    int result = 0;
    const Bytes read = Load(path, w, h, result);
    ASSERT_EQ(result, 1) << s.option;
    EXPECT_EQ(w, 40);
    EXPECT_EQ(h, 24);
    if (s.tolerance == 0) {
      EXPECT_EQ(read, rgb) << s.option;
    } else {
      EXPECT_LT(librarytest::MeanDifference(read, rgb), 3.0) << s.option;
    }
  }
}

TEST_F(TiffCodecTest, PaletteGreyRgbaAndBilevelFilesReadAsRgb) {
  if (!librarytest::HavePillow()) GTEST_SKIP() << "Pillow not available";
  const std::string source = Path("src.ppm");
  ASSERT_TRUE(testsupport::WriteBytes(source, librarytest::MakePpm(17, 9, testsupport::PatternRgb(17, 9, 11))));
  struct Case {
    const char* name;
    const char* conversion;  // Pillow expression on im
    const char* compression;
  };
  for (const Case& c : {Case{"palette", "im.convert('P', palette=Image.ADAPTIVE, colors=16)", "raw"},
                        Case{"grey", "im.convert('L')", "tiff_lzw"},
                        Case{"rgba", "im.convert('RGBA')", "tiff_adobe_deflate"},
                        Case{"g3", "im.convert('1')", "group3"},
                        Case{"g4", "im.convert('1')", "group4"}}) {
    const std::string path = Path(std::string(c.name) + ".tif");
    const std::string expected = Path(std::string(c.name) + ".rgb");
    ASSERT_TRUE(librarytest::RunPillow(
        std::string("import sys\nfrom PIL import Image\nim=Image.open(sys.argv[1])\nim=") + c.conversion +
            "\nim.save(sys.argv[2], compression='" + c.compression +
            "')\nopen(sys.argv[3],'wb').write(im.convert('RGB').tobytes())",
        Quote(source) + " " + Quote(path) + " " + Quote(expected)))
        << c.name;
    int w = 0;
    int h = 0;
    int result = 0;
    const Bytes read = Load(path, w, h, result);
    ASSERT_EQ(result, 1) << c.name;
    EXPECT_EQ(read, testsupport::ReadBytes(expected)) << c.name;
  }
}

// Alpha ramps over white: unassociated alpha (ExtraSamples 2, RGBA and grey)
// by the rounded formula, exactly as the PNG twin reads and within 1 of
// Pillow's compositing; associated alpha (1) adds 255 - a to the stored,
// premultiplied samples.
TEST_F(TiffCodecTest, AlphaOfEitherKindLiesOverWhite) {
  if (!librarytest::HaveTiffTools()) GTEST_SKIP() << "tiffcp and tiffset are not reachable from a Windows program";
  if (!librarytest::HavePillow()) GTEST_SKIP() << "Pillow not available";
  const std::string base = Path("ramp");
  // "RGBa": RGBA samples premultiplied here, then marked associated.
  ASSERT_TRUE(librarytest::RunPillow(
      "import os, sys\nfrom PIL import Image\nb=sys.argv[1]\n"
      "im=Image.new('RGBA',(256,3))\n"
      "im.putdata([((x*7)%256,(255-x)%256,(x*x)%256,x if y<2 else 255-x) for y in range(3) for x in range(256)])\n"
      "pre=Image.new('RGBA',im.size)\n"
      "pre.putdata([tuple((c*p[3]+127)//255 for c in p[:3])+(p[3],) for p in im.getdata()])\n"
      "for mode,m in (('RGBA',im),('LA',im.convert('LA')),('RGBa',pre)):\n"
      "  m.save(b+mode+'.tif')\n"
      "  m.save(b+mode+'.png')\n"
      "  open(b+mode+'.raw','wb').write(m.tobytes())\n"
      "if os.system('tiffset -s 338 1 1 '+b+'RGBa.tif'): sys.exit(1)\n"
      "for mode in ('RGBA','LA','RGBa'):\n"
      "  m=Image.open(b+mode+'.tif').convert('RGBA')\n"
      "  w=Image.alpha_composite(Image.new('RGBA',m.size,'white'),m)\n"
      "  open(b+mode+'.pil','wb').write(w.convert('RGB').tobytes())\n",
      Quote(base)));
  for (const std::string mode : {"RGBA", "LA", "RGBa"}) {
    const Bytes stored = testsupport::ReadBytes(base + mode + ".raw");
    const std::size_t channels = mode == "LA" ? 2 : 4;
    ASSERT_EQ(stored.size(), 256u * 3 * channels) << mode;
    Bytes expected;
    for (std::size_t p = 0; p < 256 * 3; ++p) {
      const int a = stored[p * channels + channels - 1];
      for (std::size_t c = 0; c < 3; ++c) {
        const int sample = stored[p * channels + (channels == 2 ? 0 : c)];
        expected.push_back(static_cast<std::uint8_t>(
            mode == "RGBa" ? std::min(255, sample + 255 - a) : (sample * a + 255 * (255 - a) + 127) / 255));
      }
    }
    int w = 0;
    int h = 0;
    int result = 0;
    const Bytes read = Load(base + mode + ".tif", w, h, result);
    ASSERT_EQ(result, 1) << mode;
    EXPECT_EQ(read, expected) << mode;
    EXPECT_LE(librarytest::MaxDifference(read, testsupport::ReadBytes(base + mode + ".pil")), 1) << mode;
    if (mode == "RGBa") continue;
    ImageBuffer twin;
    ASSERT_EQ(engine::LoadAnyImage((base + mode + ".png").c_str(), twin), engine::ResultOk);
    EXPECT_EQ(librarytest::Rgb(twin), read) << mode << ": the PNG twin";
  }
}

// All eight Orientation values against the stored picture turned by the
// test, and against ImageMagick's -auto-orient (Pillow's exif_transpose turns
// a TIFF twice: its TIFF reader turns some files itself).
TEST_F(TiffCodecTest, EveryOrientationIsShownUpright) {
  if (!librarytest::HaveTiffTools()) GTEST_SKIP() << "tiffcp and tiffset are not reachable from a Windows program";
  const Bytes stored = testsupport::PatternRgb(29, 23, 12);
  const std::string magick = testsupport::ImageMagick();
  for (int orientation = 1; orientation <= 8; ++orientation) {
    const std::string path = WriteRgb(librarytest::NumberedName("o", orientation, ".tif"), 29, 23, stored);
    ASSERT_TRUE(librarytest::Run("tiffset -s 274 " + std::to_string(orientation) + " " + Quote(path)));
    int w = 0;
    int h = 0;
    int result = 0;
    const Bytes read = Load(path, w, h, result);
    ASSERT_EQ(result, 1);
    int shownWidth = 0;
    int shownHeight = 0;
    EXPECT_EQ(read, testsupport::ShownAs(stored, 29, 23, 3, orientation, shownWidth, shownHeight)) << orientation;
    EXPECT_EQ(w, shownWidth);
    EXPECT_EQ(h, shownHeight);
    if (magick.empty()) continue;
    ASSERT_TRUE(librarytest::Run(Quote(magick) + " " + Quote(path) + " -auto-orient -depth 8 rgb:" + Quote(path + ".rgb")));
    EXPECT_EQ(read, testsupport::ReadBytes(path + ".rgb")) << orientation << " against ImageMagick";
  }
  if (magick.empty()) GTEST_SKIP() << "ImageMagick not available: checked against the test's own turn only";
}

// Tiles that overhang the right and bottom edges, in every scheme of the
// corpus and in separate planes: uncompressed tiles whose size is no multiple
// of 1024 bytes were refused.
TEST_F(TiffCodecTest, TiledFilesWithEdgeTilesRead) {
  if (!librarytest::HaveTiffTools()) GTEST_SKIP() << "tiffcp and tiffset are not reachable from a Windows program";
  const Bytes noisy = testsupport::PatternRgb(77, 53, 3);
  const Bytes smooth = librarytest::SmoothRgb(77, 53);
  const std::string noisyPlain = WriteRgb("noisy.tif", 77, 53, noisy);
  const std::string smoothPlain = WriteRgb("smooth.tif", 77, 53, smooth);
  for (const std::string scheme : {"none", "lzw", "zip", "packbits", "lzma", "zstd", "jpeg:90"}) {
    for (const std::string layout : {"-p contig -w 16 -l 16", "-p contig -w 48 -l 32", "-p separate -w 16 -l 48"}) {
      const bool lossy = scheme == "jpeg:90";
      if (lossy && layout.find("separate") != std::string::npos) continue;  // tiffcp cannot
      const std::string path = Path("t-" + scheme.substr(0, 4) + ".tif");
      ASSERT_TRUE(librarytest::Run("tiffcp -c " + scheme + " -t " + layout + " " +
                                   Quote(lossy ? smoothPlain : noisyPlain) + " " + Quote(path)))
          << scheme << " " << layout;
      int w = 0;
      int h = 0;
      int result = 0;
      const Bytes read = Load(path, w, h, result);
      ASSERT_EQ(result, 1) << scheme << " " << layout;
      if (lossy) {
        EXPECT_LT(librarytest::MeanDifference(read, smooth), 3.0) << layout;
      } else {
        EXPECT_EQ(read, noisy) << scheme << " " << layout;
      }
    }
  }
}

TEST_F(TiffCodecTest, RowOrderFollowsTheFile) {
  if (!librarytest::HaveTiffTools()) GTEST_SKIP() << "tiffcp and tiffset are not reachable from a Windows program";
  const Bytes one = testsupport::PatternRgb(7, 1, 3);
  int w = 0;
  int h = 0;
  int result = 0;
  EXPECT_EQ(Load(WriteRgb("one.tif", 7, 1, one), w, h, result), one);
  EXPECT_EQ(h, 1);

  // Odd and even heights: the raster comes bottom-up and is turned round.
  for (int height : {4, 5}) {
    const Bytes rgb = testsupport::PatternRgb(3, height, 8);
    EXPECT_EQ(Load(WriteRgb("h.tif", 3, height, rgb), w, h, result), rgb) << height;
  }
  // A file that says its rows run bottom-up is shown the right way up.
  const Bytes rgb = testsupport::PatternRgb(3, 4, 9);
  const std::string path = WriteRgb("botleft.tif", 3, 4, rgb);
  ASSERT_TRUE(librarytest::Run("tiffset -s 274 4 " + Quote(path)));
  Bytes flipped;
  for (int y = 3; y >= 0; --y) flipped.insert(flipped.end(), rgb.begin() + y * 9, rgb.begin() + y * 9 + 9);
  EXPECT_EQ(Load(path, w, h, result), flipped);
}

TEST_F(TiffCodecTest, RefusalsAndFailuresAreQuiet) {
  const std::string notTiff = Path("not.tif");
  ASSERT_TRUE(testsupport::WriteBytes(notTiff, {'I', 'I', 43, 0, 1, 2, 3, 4}));
  Bytes noLength = HandMadeTiff(1, 1);
  noLength[8 + 2 + 12 + 8] = 0;  // ImageLength 0
  const std::string zero = Path("zero-length.tif");
  ASSERT_TRUE(testsupport::WriteBytes(zero, noLength));
  const std::string huge = Path("huge-dimensions.tif");
  ASSERT_TRUE(testsupport::WriteBytes(huge, HandMadeTiff(70000, 70000)));
  const std::string ok = Path("tiny.tif");
  ASSERT_TRUE(testsupport::WriteBytes(ok, HandMadeTiff(1, 1)));

  const std::string printed = librarytest::StderrOf([&] {
    ImageBuffer image;
    TiffCodec codec;
    EXPECT_EQ(codec.BeginRead(Path("missing.tif").c_str(), &image), 0);
    EXPECT_EQ(codec.BeginRead(notTiff.c_str(), &image), 0);
    EXPECT_EQ(codec.BeginRead(zero.c_str(), &image), 0);
    EXPECT_EQ(codec.BeginRead(ok.c_str(), nullptr), 0);
    // 70000 x 70000: the header is fine, the raster could never be mapped.
    ASSERT_EQ(codec.BeginRead(huge.c_str(), &image), 1);
    EXPECT_EQ(codec.ReadImage(), 0);
    EXPECT_EQ(image.GetPixels(), nullptr);
    EXPECT_EQ(engine::LoadAnyImage(huge.c_str(), image), engine::ResultUnreadable);
    EXPECT_EQ(codec.ReadImage(), 0);
    EXPECT_EQ(codec.WriteImage(), 0);
  });
  EXPECT_EQ(printed, "") << "library text reached standard error";
  int w = 0;
  int h = 0;
  int result = 0;
  EXPECT_EQ(Load(ok, w, h, result), (Bytes{10, 20, 30}));
}

TEST_F(TiffCodecTest, HostileFileAskingForHugeBlocksIsRefused) {
  // Its header makes libtiff want a 171 GB block; capped, it is refused
  // instead of being handed to malloc (which a sanitizer build aborts on).
  const std::string corpus = testsupport::CorpusDir();
  if (corpus.empty()) GTEST_SKIP() << "corpus not available";
  const std::string path = corpus + "/tiff/pillow/libtiff_segfault.tif";
  if (!testsupport::FileExistsOnDisk(path)) GTEST_SKIP() << "libtiff_segfault.tif not in the corpus";
  ImageBuffer image;
  const std::string printed = librarytest::StderrOf(
      [&] { EXPECT_EQ(engine::LoadAnyImage(path.c_str(), image), engine::ResultUnreadable); });
  EXPECT_EQ(printed, "");
}

TEST_F(TiffCodecTest, RefusedWriteRequestsCreateNoFile) {
  ImageBuffer source;
  testsupport::FillRgbImage(source, 2, 2, testsupport::PatternRgb(2, 2));
  ImageBuffer empty;
  TiffCodec codec;
  EXPECT_EQ(codec.BeginWrite(Path("d16.tif").c_str(), &source, 16), 0);
  EXPECT_EQ(codec.BeginWrite(Path("d32.tif").c_str(), &source, 32), 0);
  EXPECT_EQ(codec.BeginWrite(Path("empty.tif").c_str(), &empty, 24), 0);
  for (const char* name : {"d16.tif", "d32.tif", "empty.tif"}) EXPECT_FALSE(testsupport::FileExistsOnDisk(Path(name)));
  EXPECT_EQ(codec.BeginWrite(Path("no/such/dir.tif").c_str(), &source, 24), 0);
}

TEST_F(TiffCodecTest, FullDiskFailsTheWriteAndTheCommand) {
  PICTOMILL_SKIP_WITHOUT_FORK();
  ImageBuffer source;
  testsupport::FillRgbImage(source, 100, 100, testsupport::PatternRgb(100, 100));
  const std::string target = Path("full.tif");
  // Rows fit; the directory, written at the end, does not.
  EXPECT_EQ(librarytest::WithFileSizeLimit(30000 + 8, [&] {
              TiffCodec codec;
              return codec.BeginWrite(target.c_str(), &source, 24) == 1 ? codec.WriteImage() : -1;
            }),
            0);
  EXPECT_EQ(librarytest::WithFileSizeLimit(1000, [&] {
              TiffCodec codec;
              return codec.BeginWrite(target.c_str(), &source, 24) == 1 ? codec.WriteImage() : -1;
            }),
            0);
  const std::string bmp = Path("src.bmp");
  ASSERT_TRUE(testsupport::WriteBytes(bmp, testsupport::MakeBmp(16, 16, testsupport::PatternRgb(16, 16))));
  EXPECT_EQ(librarytest::WithFileSizeLimit(800, [&] { return engine::ConvertToTif(bmp.c_str(), target.c_str(), 0); }),
            engine::ResultWriteFailed);
}

TEST_F(TiffCodecTest, ConcurrentFirstUseIsSafe) {
  const std::string path = WriteRgb("shared.tif", 8, 8, testsupport::PatternRgb(8, 8));
  std::vector<int> results(4, 0);
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&, t] {
      ImageBuffer image;
      TiffCodec codec;
      results[static_cast<std::size_t>(t)] = codec.BeginRead(path.c_str(), &image) == 1 ? codec.ReadImage() : 0;
    });
  }
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(results, (std::vector<int>{1, 1, 1, 1}));
}

TEST_F(TiffCodecTest, CommandResultCodesAndTheCommandLine) {
  const Bytes rgb = testsupport::PatternRgb(20, 10);
  const std::string bmp = Path("src.bmp");
  ASSERT_TRUE(testsupport::WriteBytes(bmp, testsupport::MakeBmp(20, 10, rgb)));
  const std::string text = Path("text.tif");
  ASSERT_TRUE(testsupport::WriteBytes(text, {'I', 'I'}));
  const std::string out = Path("out.png");  // the extension plays no part
  EXPECT_EQ(engine::ConvertToTif(nullptr, out.c_str(), 0), engine::ResultBadArguments);
  EXPECT_EQ(engine::ConvertToTif(bmp.c_str(), nullptr, 0), engine::ResultBadArguments);
  EXPECT_EQ(engine::ConvertToTif(Path("none").c_str(), out.c_str(), 0), engine::ResultFileMissing);
  EXPECT_EQ(engine::ConvertToTif(text.c_str(), out.c_str(), 0), engine::ResultUnreadable);
  EXPECT_EQ(engine::ConvertToTif(bmp.c_str(), Path("no/dir.tif").c_str(), 0), engine::ResultWriteFailed);
  for (int flag : {0, 1, 2}) {
    ASSERT_EQ(engine::ConvertToTif(bmp.c_str(), out.c_str(), flag), engine::ResultOk) << flag;
    EXPECT_EQ(Directory(testsupport::ReadBytes(out)).at(277)[2], flag == 1 ? 1u : 3u) << flag;
    ImageBuffer image;
    const char* reader = nullptr;
    ASSERT_EQ(engine::LoadAnyImage(out.c_str(), image, &reader), engine::ResultOk);
    EXPECT_STREQ(reader, "TIFF");
    if (flag != 1) {
      EXPECT_EQ(Bytes(image.GetPixels(), image.GetPixels() + image.GetPixelBytes()), rgb);
    }
  }
  // Through every library format and back: TIFF -> JPEG -> PNG -> TIFF.
  ASSERT_EQ(engine::ConvertToJpg(out.c_str(), Path("a.jpg").c_str(), 0, 99, 1, 50), engine::ResultOk);
  ASSERT_EQ(engine::ConvertToPng(Path("a.jpg").c_str(), Path("a.png").c_str(), 24), engine::ResultOk);
  ASSERT_EQ(engine::ConvertToTif(Path("a.png").c_str(), Path("a.tif").c_str(), 0), engine::ResultOk);
  EXPECT_TRUE(testsupport::ScratchFiles().empty());

  const std::string tool = Quote(testsupport::ConvertTool());
  std::string printed;
  EXPECT_EQ(testsupport::RunCommand(tool + " tif " + Quote(bmp) + " " + Quote(Path("cli.tif")) + " 2>&1", &printed), 0);
  EXPECT_EQ(printed, "");
  EXPECT_EQ(Directory(testsupport::ReadBytes(Path("cli.tif"))).at(277)[2], 3u);
  EXPECT_EQ(testsupport::RunCommand(tool + " tif " + Quote(bmp) + " " + Quote(Path("cli.tif")) + " --8bit 2>/dev/null"), 0);
  EXPECT_EQ(Directory(testsupport::ReadBytes(Path("cli.tif"))).at(262)[2], 3u);
  EXPECT_EQ(testsupport::RunCommand(tool + " tif " + Quote(text) + " " + Quote(Path("cli.tif")) + " 2>/dev/null"), 3);
}

}  // namespace
