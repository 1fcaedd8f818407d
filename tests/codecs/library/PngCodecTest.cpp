#include "codecs/library/PngCodec.h"

#include <gtest/gtest.h>
#include <png.h>
#include <zlib.h>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "engine/commands/ConversionCommands.h"
#include "engine/commands/LoaderChain.h"
#include "tests/codecs/library/LibraryTestHelpers.h"
#include "tests/support/TestSupport.h"

namespace {

using codecs::PngCodec;
using engine::ImageBuffer;
using librarytest::Bytes;
using testsupport::Join;
using testsupport::Quote;

void PutBe32(Bytes& out, std::uint32_t v) {
  for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<std::uint8_t>(v >> shift));
}

void AddChunk(Bytes& file, const char* type, const Bytes& data) {
  PutBe32(file, static_cast<std::uint32_t>(data.size()));
  Bytes body(type, type + 4);
  body.insert(body.end(), data.begin(), data.end());
  file.insert(file.end(), body.begin(), body.end());
  PutBe32(file, static_cast<std::uint32_t>(crc32(0, body.data(), static_cast<uInt>(body.size()))));
}

struct PngPicture {
  std::uint32_t width = 1;
  std::uint32_t height = 1;
  int bitDepth = 8;
  int colourType = 0;
  // One value per sample, row by row; packed here at the bit depth.
  std::vector<std::uint32_t> samples;
  Bytes plte;  // RGB triplets
  Bytes trns;
  std::uint32_t gama = 0;  // gAMA times 100000; 0: none
  bool srgb = false;
};

int Channels(int colourType) {
  switch (colourType) {
    case 2: return 3;
    case 4: return 2;
    case 6: return 4;
    default: return 1;
  }
}

// A non-interlaced PNG made by hand, with filter type 0 on every row.
Bytes MakePng(const PngPicture& picture) {
  const int channels = Channels(picture.colourType);
  const std::size_t rowBits = static_cast<std::size_t>(picture.width) * static_cast<std::size_t>(channels * picture.bitDepth);
  const std::size_t rowBytes = (rowBits + 7) / 8;
  Bytes raw;
  std::size_t next = 0;
  for (std::uint32_t y = 0; y < picture.height; ++y) {
    raw.push_back(0);
    Bytes row(rowBytes, 0);
    for (std::size_t s = 0; s < picture.width * static_cast<std::size_t>(channels); ++s) {
      const std::uint32_t v = next < picture.samples.size() ? picture.samples[next] : 0;
      ++next;
      if (picture.bitDepth == 16) {
        row[s * 2] = static_cast<std::uint8_t>(v >> 8);
        row[s * 2 + 1] = static_cast<std::uint8_t>(v);
      } else if (picture.bitDepth == 8) {
        row[s] = static_cast<std::uint8_t>(v);
      } else {
        const std::size_t bit = s * static_cast<std::size_t>(picture.bitDepth);
        const int shift = 8 - picture.bitDepth - static_cast<int>(bit % 8);
        row[bit / 8] = static_cast<std::uint8_t>(row[bit / 8] | (v << shift));
      }
    }
    raw.insert(raw.end(), row.begin(), row.end());
  }
  uLongf packedSize = compressBound(static_cast<uLong>(raw.size()));
  Bytes packed(packedSize);
  compress2(packed.data(), &packedSize, raw.data(), static_cast<uLong>(raw.size()), 6);
  packed.resize(packedSize);

  Bytes file = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  Bytes ihdr;
  PutBe32(ihdr, picture.width);
  PutBe32(ihdr, picture.height);
  ihdr.push_back(static_cast<std::uint8_t>(picture.bitDepth));
  ihdr.push_back(static_cast<std::uint8_t>(picture.colourType));
  ihdr.insert(ihdr.end(), {0, 0, 0});
  AddChunk(file, "IHDR", ihdr);
  if (picture.gama != 0) {
    Bytes g;
    PutBe32(g, picture.gama);
    AddChunk(file, "gAMA", g);
  }
  if (picture.srgb) AddChunk(file, "sRGB", {0});
  if (!picture.plte.empty()) AddChunk(file, "PLTE", picture.plte);
  if (!picture.trns.empty()) AddChunk(file, "tRNS", picture.trns);
  AddChunk(file, "IDAT", packed);
  AddChunk(file, "IEND", {});
  return file;
}

struct Chunk {
  std::string type;
  Bytes data;
};

std::vector<Chunk> Chunks(const Bytes& file) {
  std::vector<Chunk> chunks;
  std::size_t at = 8;
  while (at + 12 <= file.size()) {
    const std::size_t length =
        static_cast<std::size_t>(file[at]) << 24 | file[at + 1] << 16 | file[at + 2] << 8 | file[at + 3];
    if (at + 12 + length > file.size()) break;
    chunks.push_back({std::string(file.begin() + static_cast<std::ptrdiff_t>(at + 4),
                                  file.begin() + static_cast<std::ptrdiff_t>(at + 8)),
                      Bytes(file.begin() + static_cast<std::ptrdiff_t>(at + 8),
                            file.begin() + static_cast<std::ptrdiff_t>(at + 8 + length))});
    at += 12 + length;
  }
  return chunks;
}

// Our file decoded by libpng's simplified reader as RGBA; empty on failure.
Bytes LibpngRgba(const std::string& path, int& width, int& height) {
  png_image image;
  std::memset(&image, 0, sizeof image);
  image.version = PNG_IMAGE_VERSION;
  if (png_image_begin_read_from_file(&image, path.c_str()) == 0) return {};
  image.format = PNG_FORMAT_RGBA;
  Bytes pixels(PNG_IMAGE_SIZE(image));
  if (png_image_finish_read(&image, nullptr, pixels.data(), 0, nullptr) == 0) return {};
  width = static_cast<int>(image.width);
  height = static_cast<int>(image.height);
  return pixels;
}

class PngCodecTest : public ::testing::Test {
 protected:
  void SetUp() override { dir_ = testsupport::MakeTempSubdir("png"); }
  std::string Path(const std::string& name) const { return Join(dir_, name); }
  std::string Write(const std::string& name, const Bytes& bytes) const {
    const std::string path = Path(name);
    EXPECT_TRUE(testsupport::WriteBytes(path, bytes));
    return path;
  }
  // BeginRead + ReadImage; the codec's results in begun / read.
  void Load(const std::string& path, ImageBuffer& image, int& begun, int& read) const {
    PngCodec codec;
    begun = codec.BeginRead(path.c_str(), &image);
    read = begun == 1 ? codec.ReadImage() : 0;
  }
  std::string dir_;
};

TEST_F(PngCodecTest, GreyOfEveryDepthBecomesEightBitLevels) {
  for (int depth : {1, 2, 4, 8}) {
    const std::uint32_t top = (1u << depth) - 1;
    PngPicture picture;
    picture.width = 5;
    picture.height = 2;
    picture.bitDepth = depth;
    for (std::uint32_t i = 0; i < 10; ++i) picture.samples.push_back(i % (top + 1));
    ImageBuffer image;
    int begun = 0;
    int read = 0;
    Load(Write(librarytest::NumberedName("g", depth, ".png"), MakePng(picture)), image, begun, read);
    ASSERT_EQ(begun, 1) << depth;
    ASSERT_EQ(read, 1) << depth;
    EXPECT_EQ(image.GetBitsPerPixel(), 8u);
    EXPECT_EQ(image.GetPaletteCount(), 0);
    for (std::uint32_t i = 0; i < 10; ++i) {
      EXPECT_EQ(image.GetPixels()[i], picture.samples[i] * 255 / top) << "depth " << depth << " pixel " << i;
    }
  }
}

TEST_F(PngCodecTest, SixteenBitFilesAreRefusedForEveryColourType) {
  for (int type : {0, 2, 4, 6}) {
    PngPicture picture;
    picture.bitDepth = 16;
    picture.colourType = type;
    const std::string path = Write(librarytest::NumberedName("deep", type, ".png"), MakePng(picture));
    ImageBuffer image;
    PngCodec codec;
    EXPECT_EQ(codec.BeginRead(path.c_str(), &image), 0) << type;
    EXPECT_EQ(engine::LoadAnyImage(path.c_str(), image), engine::ResultUnreadable) << type;
  }
}

TEST_F(PngCodecTest, PaletteFilesKeepTheirIndicesAndEntries) {
  for (int depth : {1, 2, 4, 8}) {
    const std::uint32_t entries = depth == 8 ? 3 : (1u << depth);
    PngPicture picture;
    picture.width = 4;
    picture.height = 3;
    picture.bitDepth = depth;
    picture.colourType = 3;
    for (std::uint32_t e = 0; e < entries; ++e) {
      picture.plte.insert(picture.plte.end(), {static_cast<std::uint8_t>(10 + e), static_cast<std::uint8_t>(100 + e),
                                         static_cast<std::uint8_t>(200 + e)});
    }
    picture.trns = {0};  // entry 0 wholly transparent: white
    for (std::uint32_t i = 0; i < 12; ++i) picture.samples.push_back(i % entries);
    ImageBuffer image;
    int begun = 0;
    int read = 0;
    Load(Write(librarytest::NumberedName("p", depth, ".png"), MakePng(picture)), image, begun, read);
    ASSERT_EQ(begun, 1);
    ASSERT_EQ(read, 1);
    EXPECT_EQ(image.GetBitsPerPixel(), 8u);
    ASSERT_EQ(image.GetPaletteCount(), static_cast<std::int32_t>(entries));
    for (std::uint32_t e = 0; e < entries; ++e) {
      EXPECT_EQ(image.GetPalette()[e].red, e == 0 ? 255 : 10 + e);
      EXPECT_EQ(image.GetPalette()[e].green, e == 0 ? 255 : 100 + e);
      EXPECT_EQ(image.GetPalette()[e].blue, e == 0 ? 255 : 200 + e);
    }
    for (std::uint32_t i = 0; i < 12; ++i) EXPECT_EQ(image.GetPixels()[i], picture.samples[i]) << depth;
  }
}

TEST_F(PngCodecTest, PaletteIndexBeyondThePaletteReadsAsBlack) {
  PngPicture picture;
  picture.width = 3;
  picture.colourType = 3;
  picture.plte = {255, 255, 255, 250, 0, 0};
  picture.samples = {0, 1, 7};
  ImageBuffer image;
  int begun = 0;
  int read = 0;
  Load(Write("beyond.png", MakePng(picture)), image, begun, read);
  ASSERT_EQ(read, 1);
  EXPECT_EQ(image.GetPaletteCount(), 2);
  EXPECT_EQ(librarytest::Rgb(image), (Bytes{255, 255, 255, 250, 0, 0, 0, 0, 0}));
}

TEST_F(PngCodecTest, ColourTypesMapToTheirDepths) {
  PngPicture rgb;
  rgb.width = 2;
  rgb.colourType = 2;
  rgb.samples = {1, 2, 3, 250, 251, 252};
  rgb.trns = {0, 1, 0, 2, 0, 3};  // RGB with tRNS stays 24-bit, the keyed colour white
  ImageBuffer image;
  int begun = 0;
  int read = 0;
  Load(Write("rgb.png", MakePng(rgb)), image, begun, read);
  ASSERT_EQ(read, 1);
  EXPECT_EQ(image.GetBitsPerPixel(), 24u);
  EXPECT_EQ(Bytes(image.GetPixels(), image.GetPixels() + 6), (Bytes{255, 255, 255, 250, 251, 252}));

  PngPicture rgba;
  rgba.width = 2;
  rgba.colourType = 6;
  rgba.samples = {1, 2, 3, 4, 200, 201, 202, 0};
  Load(Write("rgba.png", MakePng(rgba)), image, begun, read);
  ASSERT_EQ(read, 1);
  EXPECT_EQ(image.GetBitsPerPixel(), 32u);
  // Over white, and opaque: (1 * 4 + 255 * 251 + 127) / 255 = 251.
  EXPECT_EQ(Bytes(image.GetPixels(), image.GetPixels() + 8), (Bytes{255, 251, 251, 251, 255, 255, 255, 255}));
}

TEST_F(PngCodecTest, GreyWithAlphaOrTransparencyLiesOverWhite) {
  PngPicture greyAlpha;
  greyAlpha.width = 3;
  greyAlpha.colourType = 4;
  greyAlpha.samples = {10, 255, 20, 0, 30, 128};
  ImageBuffer image;
  int begun = 0;
  int read = 0;
  Load(Write("ga.png", MakePng(greyAlpha)), image, begun, read);
  ASSERT_EQ(read, 1);
  EXPECT_EQ(image.GetBitsPerPixel(), 8u);
  EXPECT_EQ(image.GetPaletteCount(), 0);
  // (30 * 128 + 255 * 127 + 127) / 255 = 142
  EXPECT_EQ(Bytes(image.GetPixels(), image.GetPixels() + 3), (Bytes{10, 255, 142}));

  for (int depth : {1, 2, 4, 8}) {
    const std::uint32_t top = (1u << depth) - 1;
    PngPicture picture;
    picture.width = 4;
    picture.bitDepth = depth;
    picture.trns = {0, 0};  // level 0 transparent
    picture.samples = {0, top, 1, top};
    Load(Write(librarytest::NumberedName("gt", depth, ".png"), MakePng(picture)), image, begun, read);
    ASSERT_EQ(read, 1) << depth;
    EXPECT_EQ(image.GetBitsPerPixel(), 8u);
    EXPECT_EQ(Bytes(image.GetPixels(), image.GetPixels() + 4),
              (Bytes{255, 255, static_cast<std::uint8_t>(255 / top), 255})) << depth;
  }
}

// Alpha from 0 to 255 against (c * a + 255 * (255 - a) + 127) / 255 exactly,
// and against Pillow's compositing over white: RGBA, grey + alpha, and a
// palette with a tRNS ramp.
TEST_F(PngCodecTest, AlphaRampsLieOverWhite) {
  PngPicture rgba;
  rgba.width = 256;
  rgba.colourType = 6;
  PngPicture ga = rgba;
  ga.colourType = 4;
  PngPicture palette = rgba;
  palette.colourType = 3;
  Bytes rgbaExpected;
  Bytes gaExpected;
  for (std::uint32_t a = 0; a < 256; ++a) {
    const std::uint32_t rgb[3] = {(a * 7) % 256, 255 - a, (a * a) % 256};
    for (std::uint32_t c : rgb) {
      rgba.samples.push_back(c);
      rgbaExpected.push_back(static_cast<std::uint8_t>((c * a + 255 * (255 - a) + 127) / 255));
      palette.plte.push_back(static_cast<std::uint8_t>(c));
    }
    rgba.samples.push_back(a);
    ga.samples.insert(ga.samples.end(), {rgb[0], a});
    gaExpected.insert(gaExpected.end(), 3, rgbaExpected[a * 3]);
    palette.samples.push_back(a);
    palette.trns.push_back(static_cast<std::uint8_t>(a));
  }
  const std::pair<std::string, Bytes> cases[] = {{Write("rgba.png", MakePng(rgba)), rgbaExpected},
                                                 {Write("ga.png", MakePng(ga)), gaExpected},
                                                 {Write("palette.png", MakePng(palette)), rgbaExpected}};
  std::string pillowArgs;
  for (const auto& [path, expected] : cases) {
    ImageBuffer image;
    ASSERT_EQ(engine::LoadAnyImage(path.c_str(), image), engine::ResultOk) << path;
    EXPECT_EQ(librarytest::Rgb(image), expected) << path;
    EXPECT_EQ(image.GetPaletteCount(), path == cases[2].first ? 256 : 0) << "a palette picture stays one";
    pillowArgs += " " + Quote(path);
  }
  if (!librarytest::HavePillow()) GTEST_SKIP() << "Pillow not available";
  ASSERT_TRUE(librarytest::RunPillow(
      "import sys\nfrom PIL import Image\nfor p in sys.argv[1:]:\n  m=Image.open(p).convert('RGBA')\n"
      "  w=Image.alpha_composite(Image.new('RGBA',m.size,'white'),m)\n"
      "  open(p+'.rgb','wb').write(w.convert('RGB').tobytes())",
      pillowArgs));
  for (const auto& [path, expected] : cases) {
    EXPECT_LE(librarytest::MaxDifference(expected, testsupport::ReadBytes(path + ".rgb")), 1) << path;
  }

  // Every command as the window uses it writes the picture over white: read
  // back by ImageMagick, or the very bytes the command writes from the BMP.
  const std::string magick = testsupport::ImageMagick();
  if (magick.empty()) GTEST_SKIP() << "ImageMagick not available";
  struct Command {
    const char* name;
    int (*run)(const char*, const char*);
  };
  const Command commands[] = {
      {"bmp", [](const char* s, const char* t) { return engine::ConvertToBmp(s, t); }},
      {"png", [](const char* s, const char* t) { return engine::ConvertToPng(s, t, 24); }},
      {"tif", [](const char* s, const char* t) { return engine::ConvertToTif(s, t, 0); }},
      {"ppm", [](const char* s, const char* t) { return engine::ConvertToPpm(s, t, 1); }},
      {"pcx", [](const char* s, const char* t) { return engine::ConvertToPcx(s, t); }},
      {"sgi", [](const char* s, const char* t) { return engine::ConvertToSgi(s, t); }},
      {"jpg", [](const char* s, const char* t) { return engine::ConvertToJpg(s, t, 0, 99, 1, 50); }},
      {"pgm", [](const char* s, const char* t) { return engine::ConvertToPgm(s, t, 1); }},
      {"pic", [](const char* s, const char* t) { return engine::ConvertToPic(s, t); }}};
  const std::string bmp = Path("out.bmp");
  for (const Command& command : commands) {
    const std::string target = Path(std::string("out.") + command.name);
    ASSERT_EQ(command.run(cases[0].first.c_str(), target.c_str()), engine::ResultOk) << command.name;
    const std::string name = command.name;
    if (name == "jpg" || name == "pgm" || name == "pic") {
      const std::string fromBmp = Path(std::string("bmp.") + command.name);
      ASSERT_EQ(command.run(bmp.c_str(), fromBmp.c_str()), engine::ResultOk) << command.name;
      EXPECT_EQ(testsupport::ReadBytes(target), testsupport::ReadBytes(fromBmp)) << command.name;
      continue;
    }
    int w = 0;
    int h = 0;
    Bytes written;
    ASSERT_TRUE(testsupport::DecodeWithImageMagick(target, w, h, written)) << command.name;
    EXPECT_EQ(written, rgbaExpected) << command.name;
  }
}

TEST_F(PngCodecTest, GammaFollowsTheFileAndLeavesTheUsualValueAlone) {
  PngPicture picture;
  picture.width = 1;
  picture.colourType = 2;
  picture.samples = {128, 128, 128};
  ImageBuffer image;
  int begun = 0;
  int read = 0;
  for (const std::uint32_t gama : {0u, 45455u}) {
    picture.gama = gama;
    Load(Write("gamma.png", MakePng(picture)), image, begun, read);
    ASSERT_EQ(read, 1);
    EXPECT_EQ(image.GetPixels()[0], 128) << gama;
  }
  picture.gama = 100000;  // linear file on a 2.2 screen: brighter
  picture.srgb = true;    // ... unless sRGB says otherwise
  Load(Write("srgb.png", MakePng(picture)), image, begun, read);
  ASSERT_EQ(read, 1);
  EXPECT_EQ(image.GetPixels()[0], 128);
  picture.srgb = false;
  Load(Write("linear.png", MakePng(picture)), image, begun, read);
  ASSERT_EQ(read, 1);
  const int expected = static_cast<int>(std::lround(255.0 * std::pow(128.0 / 255.0, 1.0 / 2.2)));
  EXPECT_NEAR(image.GetPixels()[0], expected, 1);
}

TEST_F(PngCodecTest, DamagedFilesFailQuietly) {
  PngPicture picture;
  picture.width = 64;
  picture.height = 64;
  picture.colourType = 2;
  for (int i = 0; i < 64 * 64 * 3; ++i) picture.samples.push_back(static_cast<std::uint32_t>(i * 7 % 251));
  const Bytes good = MakePng(picture);
  Bytes badCrc = good;
  badCrc[29] ^= 0xFF;  // the IHDR CRC
  Bytes truncated(good.begin(), good.begin() + static_cast<std::ptrdiff_t>(good.size() / 2));
  const std::string printed = librarytest::StderrOf([&] {
    ImageBuffer image;
    int begun = 0;
    int read = 0;
    Load(Write("crc.png", badCrc), image, begun, read);
    EXPECT_EQ(begun, 0);
    Load(Write("cut.png", truncated), image, begun, read);
    EXPECT_EQ(begun, 1);
    EXPECT_EQ(read, 0);
    EXPECT_EQ(engine::LoadAnyImage(Path("cut.png").c_str(), image), engine::ResultUnreadable);
    Load(Write("not.png", {'G', 'I', 'F', '8', '9', 'a', 0, 0, 0, 0}), image, begun, read);
    EXPECT_EQ(begun, 0);
    Load(Path("missing.png"), image, begun, read);
    EXPECT_EQ(begun, 0);
    PngCodec codec;
    EXPECT_EQ(codec.ReadImage(), 0);
    EXPECT_EQ(codec.WriteImage(), 0);
  });
  EXPECT_EQ(printed, "") << "library text reached standard error";
  // One object after a failure: the next operation arms its own recovery.
  PngCodec codec;
  ImageBuffer image;
  EXPECT_EQ(codec.BeginRead(Path("crc.png").c_str(), &image), 0);
  ASSERT_EQ(codec.BeginRead(Write("good.png", good).c_str(), &image), 1);
  EXPECT_EQ(codec.ReadImage(), 1);
  EXPECT_EQ(image.GetWidth(), 64);
}

TEST_F(PngCodecTest, HeaderSizesBeyondAMappingAreRefused) {
  // 100000 x 100000 RGB: within libpng's own limits, 30 GB of pixels.
  PngPicture picture;
  picture.colourType = 2;
  Bytes file = MakePng(picture);
  for (const std::size_t at : {std::size_t{16}, std::size_t{20}}) {
    file[at] = 0;
    file[at + 1] = 0x01;
    file[at + 2] = 0x86;
    file[at + 3] = 0xA0;
  }
  const std::uint32_t crc = static_cast<std::uint32_t>(crc32(0, file.data() + 12, 17));
  for (int i = 0; i < 4; ++i) file[29 + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(crc >> (24 - 8 * i));
  ImageBuffer image;
  PngCodec codec;
  EXPECT_EQ(codec.BeginRead(Write("huge-dimensions.png", file).c_str(), &image), 0);
  EXPECT_EQ(image.GetPixels(), nullptr);
}

TEST_F(PngCodecTest, WidthsPastTheLibraryDefaultMillionAreReadAndWritten) {
  PngPicture picture;
  picture.width = 1000001;
  picture.samples.assign(picture.width, 0);
  for (std::uint32_t x = 0; x < picture.width; ++x) picture.samples[x] = x % 251;
  const std::string wide = Write("wide.png", MakePng(picture));
  ImageBuffer image;
  ASSERT_EQ(engine::LoadAnyImage(wide.c_str(), image), engine::ResultOk);
  EXPECT_EQ(image.GetWidth(), 1000001);
  EXPECT_EQ(testsupport::ImageAsRgb(image)[3 * 1000000], 1000000 % 251);

  const std::string written = Path("wide-written.png");
  ASSERT_EQ(engine::ConvertToPng(wide.c_str(), written.c_str(), 24), engine::ResultOk);
  ImageBuffer back;
  ASSERT_EQ(engine::LoadAnyImage(written.c_str(), back), engine::ResultOk);
  EXPECT_EQ(back.GetWidth(), 1000001);
  if (!librarytest::HavePillow()) GTEST_SKIP() << "Pillow not available to read the written file";
  EXPECT_TRUE(librarytest::RunPillow(
      "import sys\nfrom PIL import Image\nim = Image.open(sys.argv[1])\n"
      "assert im.size == (1000001, 1), im.size\nassert im.getpixel((1000000, 0)) == (1000000 % 251,) * 3\n",
      Quote(written)));
}

TEST_F(PngCodecTest, WrittenRgbFileIsInterlacedEightBitWithNoPalette) {
  const Bytes rgb = testsupport::PatternRgb(33, 17, 3);
  ImageBuffer source;
  testsupport::FillRgbImage(source, 33, 17, rgb);
  PngCodec codec;
  ASSERT_EQ(codec.BeginWrite(Path("w.png").c_str(), &source, 24, 0), 1);
  ASSERT_EQ(codec.WriteImage(), 1);

  const std::vector<Chunk> chunks = Chunks(testsupport::ReadBytes(Path("w.png")));
  ASSERT_GE(chunks.size(), 3u);
  EXPECT_EQ(chunks.front().type, "IHDR");
  EXPECT_EQ(chunks.back().type, "IEND");
  for (const Chunk& c : chunks) EXPECT_TRUE(c.type == "IHDR" || c.type == "IDAT" || c.type == "IEND") << c.type;
  const Bytes& ihdr = chunks.front().data;
  EXPECT_EQ(ihdr[8], 8);   // bit depth
  EXPECT_EQ(ihdr[9], 2);   // RGB
  EXPECT_EQ(ihdr[12], 1);  // Adam7

  int w = 0;
  int h = 0;
  const Bytes rgba = LibpngRgba(Path("w.png"), w, h);
  ASSERT_EQ(w, 33);
  ASSERT_EQ(h, 17);
  Bytes back;
  for (std::size_t i = 0; i < rgba.size(); i += 4) back.insert(back.end(), {rgba[i], rgba[i + 1], rgba[i + 2]});
  EXPECT_EQ(back, rgb);

  ImageBuffer read;
  ASSERT_EQ(codec.BeginRead(Path("w.png").c_str(), &read), 1);
  ASSERT_EQ(codec.ReadImage(), 1);
  EXPECT_EQ(Bytes(read.GetPixels(), read.GetPixels() + read.GetPixelBytes()), rgb);

  Bytes oracle;
  if (!testsupport::DecodeWithImageMagick(Path("w.png"), w, h, oracle)) GTEST_SKIP() << "ImageMagick not available";
  EXPECT_EQ(oracle, rgb);
}

TEST_F(PngCodecTest, OtherDepthsAreConvertedBeforeWriting) {
  ImageBuffer base;
  testsupport::FillRgbImage(base, 6, 4, testsupport::PatternRgb(6, 4, 8));
  ImageBuffer grey;
  ASSERT_EQ(base.ConvertTo(grey, 8, 0), 1);
  PngCodec codec;
  ASSERT_EQ(codec.BeginWrite(Path("grey24.png").c_str(), &grey, 24, 0), 1);
  ASSERT_EQ(codec.WriteImage(), 1);
  ImageBuffer read;
  ASSERT_EQ(codec.BeginRead(Path("grey24.png").c_str(), &read), 1);
  ASSERT_EQ(codec.ReadImage(), 1);
  EXPECT_EQ(read.GetBitsPerPixel(), 24u);
  EXPECT_EQ(librarytest::Rgb(read), librarytest::Rgb(grey));
}

TEST_F(PngCodecTest, PaletteAndAlphaImagesRoundTrip) {
  ImageBuffer palette;
  ASSERT_EQ(palette.Create(5, 3, 8, 4), 1);
  for (int e = 0; e < 4; ++e) {
    palette.GetPalette()[e] = engine::PaletteEntry{static_cast<std::uint8_t>(e * 60), 7, static_cast<std::uint8_t>(255 - e), 0, 0};
  }
  for (int i = 0; i < 15; ++i) palette.GetPixels()[i] = static_cast<std::uint8_t>(i % 4);
  PngCodec codec;
  ASSERT_EQ(codec.BeginWrite(Path("pal.png").c_str(), &palette, 8, 4), 1);
  ASSERT_EQ(codec.WriteImage(), 1);
  const std::vector<Chunk> chunks = Chunks(testsupport::ReadBytes(Path("pal.png")));
  ASSERT_GE(chunks.size(), 4u);
  EXPECT_EQ(chunks[0].data[9], 3);
  EXPECT_EQ(chunks[1].type, "PLTE");
  EXPECT_EQ(chunks[1].data.size(), 12u);
  ImageBuffer read;
  ASSERT_EQ(codec.BeginRead(Path("pal.png").c_str(), &read), 1);
  ASSERT_EQ(codec.ReadImage(), 1);
  ASSERT_EQ(read.GetPaletteCount(), 4);
  EXPECT_EQ(Bytes(read.GetPixels(), read.GetPixels() + 15), Bytes(palette.GetPixels(), palette.GetPixels() + 15));
  EXPECT_EQ(librarytest::Rgb(read), librarytest::Rgb(palette));

  ImageBuffer argb;
  ASSERT_EQ(argb.Create(3, 2, 32, 0), 1);
  for (int i = 0; i < 24; ++i) argb.GetPixels()[i] = static_cast<std::uint8_t>(i * 10 + 1);
  const Bytes before(argb.GetPixels(), argb.GetPixels() + 24);
  ASSERT_EQ(codec.BeginWrite(Path("a1.png").c_str(), &argb, 32, 0), 1);
  ASSERT_EQ(codec.WriteImage(), 1);
  EXPECT_EQ(Bytes(argb.GetPixels(), argb.GetPixels() + 24), before) << "the caller's image was changed";
  ASSERT_EQ(codec.BeginWrite(Path("a2.png").c_str(), &argb, 32, 0), 1);
  ASSERT_EQ(codec.WriteImage(), 1);
  EXPECT_EQ(testsupport::ReadBytes(Path("a1.png")), testsupport::ReadBytes(Path("a2.png")));
  int w = 0;
  int h = 0;
  const Bytes rgba = LibpngRgba(Path("a1.png"), w, h);
  ASSERT_EQ(rgba.size(), 24u);
  for (std::size_t p = 0; p < 6; ++p) {
    EXPECT_EQ(rgba[p * 4 + 3], before[p * 4]) << "alpha of pixel " << p;
    EXPECT_EQ(rgba[p * 4 + 0], before[p * 4 + 1]);
  }
  // Read back, the alpha lies over white and the picture is opaque.
  ASSERT_EQ(codec.BeginRead(Path("a1.png").c_str(), &read), 1);
  ASSERT_EQ(codec.ReadImage(), 1);
  for (std::size_t p = 0; p < 6; ++p) {
    const std::uint32_t a = before[p * 4];
    EXPECT_EQ(read.GetPixels()[p * 4], 255);
    for (std::size_t c = 1; c < 4; ++c) {
      EXPECT_EQ(read.GetPixels()[p * 4 + c], (before[p * 4 + c] * a + 255 * (255 - a) + 127) / 255) << p;
    }
  }
}

TEST_F(PngCodecTest, RefusedWriteRequests) {
  ImageBuffer source;
  testsupport::FillRgbImage(source, 2, 2, testsupport::PatternRgb(2, 2));
  PngCodec codec;
  struct Case {
    std::uint32_t depth;
    std::int32_t count;
  };
  int n = 0;
  for (const Case& c : {Case{8, 0}, Case{8, 257}, Case{16, 0}, Case{1, 0}}) {
    const std::string path = Path(librarytest::NumberedName("refused", n++, ".png"));
    EXPECT_EQ(codec.BeginWrite(path.c_str(), &source, c.depth, c.count), 0);
    EXPECT_FALSE(testsupport::FileExistsOnDisk(path));
  }
  ImageBuffer empty;
  EXPECT_EQ(codec.BeginWrite(Path("empty.png").c_str(), &empty, 24, 0), 0);
  EXPECT_FALSE(testsupport::FileExistsOnDisk(Path("empty.png")));
  EXPECT_EQ(codec.BeginWrite(Path("no/such/dir.png").c_str(), &source, 24, 0), 0);
}

TEST_F(PngCodecTest, FullDiskFailsTheWriteAndTheCommand) {
  PICTOMILL_SKIP_WITHOUT_FORK();
  ImageBuffer source;
  testsupport::FillRgbImage(source, 200, 200, testsupport::PatternRgb(200, 200, 5));
  const std::string target = Path("full.png");
  EXPECT_EQ(librarytest::WithFileSizeLimit(4096, [&] {
              PngCodec codec;
              return codec.BeginWrite(target.c_str(), &source, 24, 0) == 1 ? codec.WriteImage() : -1;
            }),
            0);
  // A 32 x 32 picture of noise loads into a 3072-byte scratch file and does
  // not fit the 3080 bytes allowed once framed as a PNG.
  const std::string bmp = Path("src.bmp");
  ASSERT_TRUE(testsupport::WriteBytes(bmp, testsupport::MakeBmp(32, 32, librarytest::NoiseBytes(32 * 32 * 3))));
  const std::string commandTarget = Path("full-command.png");
  EXPECT_EQ(librarytest::WithFileSizeLimit(3080, [&] {
              return engine::ConvertToPng(bmp.c_str(), commandTarget.c_str(), 24);
            }),
            engine::ResultWriteFailed);
}

TEST_F(PngCodecTest, CommandResultCodesAndTheLoaderOrder) {
  const std::string bmp = Path("src.bmp");
  ASSERT_TRUE(testsupport::WriteBytes(bmp, testsupport::MakeBmp(20, 10, testsupport::PatternRgb(20, 10))));
  const std::string text = Path("text.png");
  ASSERT_TRUE(testsupport::WriteBytes(text, {'h', 'i'}));
  const std::string out = Path("out.jpg");  // a PNG under a JPEG name
  EXPECT_EQ(engine::ConvertToPng(bmp.c_str(), out.c_str(), 8), engine::ResultBadArguments);
  EXPECT_EQ(engine::ConvertToPng(bmp.c_str(), out.c_str(), 32), engine::ResultBadArguments);
  EXPECT_EQ(engine::ConvertToPng(nullptr, out.c_str(), 24), engine::ResultBadArguments);
  EXPECT_EQ(engine::ConvertToPng(bmp.c_str(), nullptr, 24), engine::ResultBadArguments);
  EXPECT_FALSE(testsupport::FileExistsOnDisk(out));
  EXPECT_EQ(engine::ConvertToPng(Path("none").c_str(), out.c_str(), 24), engine::ResultFileMissing);
  EXPECT_EQ(engine::ConvertToPng(text.c_str(), out.c_str(), 24), engine::ResultUnreadable);
  EXPECT_EQ(engine::ConvertToPng(bmp.c_str(), Path("no/dir.png").c_str(), 24), engine::ResultWriteFailed);
  ASSERT_EQ(engine::ConvertToPng(bmp.c_str(), out.c_str(), 24), engine::ResultOk);
  {
    ImageBuffer image;
    const char* reader = nullptr;
    ASSERT_EQ(engine::LoadAnyImage(out.c_str(), image, &reader), engine::ResultOk);
    EXPECT_STREQ(reader, "PNG");
    EXPECT_EQ(librarytest::Rgb(image), testsupport::PatternRgb(20, 10));
  }
  // JPEG to PNG and back through the commands.
  ASSERT_EQ(engine::ConvertToJpg(out.c_str(), Path("mid.jpg").c_str(), 0, 99, 1, 50), engine::ResultOk);
  ASSERT_EQ(engine::ConvertToPng(Path("mid.jpg").c_str(), Path("final.png").c_str(), 24), engine::ResultOk);
  EXPECT_TRUE(testsupport::ScratchFiles().empty());

  const std::string tool = Quote(testsupport::ConvertTool());
  std::string printed;
  EXPECT_EQ(testsupport::RunCommand(tool + " png " + Quote(bmp) + " " + Quote(Path("cli.png")) + " 2>&1", &printed), 0);
  EXPECT_EQ(printed, "");
  EXPECT_EQ(Chunks(testsupport::ReadBytes(Path("cli.png"))).front().data[12], 1);
  EXPECT_EQ(testsupport::RunCommand(tool + " png " + Quote(bmp) + " " + Quote(Path("cli.png")) + " --depth 8 2>/dev/null"), 7);
  EXPECT_EQ(testsupport::RunCommand(tool + " png " + Quote(text) + " " + Quote(Path("cli.png")) + " 2>/dev/null"), 3);
}

TEST_F(PngCodecTest, PngSuiteFilesMatchTheOracle) {
  const std::string corpus = testsupport::CorpusDir();
  if (corpus.empty()) GTEST_SKIP() << "corpus not available";
  if (!librarytest::HavePillow()) GTEST_SKIP() << "Pillow not available";
  const char* names[] = {"basn0g01", "basn0g02", "basn0g08", "basn2c08", "basn3p02", "basn3p04", "basn6a08",
                         "basi0g02", "basi0g04", "basi2c08", "basi3p01", "basi3p04", "basi3p08", "basi4a08",
                         "s02i3p01", "s06i3p02"};
  int checked = 0;
  for (const char* name : names) {
    const std::string path = corpus + "/png/pngsuite/" + name + ".png";
    if (!testsupport::FileExistsOnDisk(path)) continue;
    ImageBuffer image;
    int begun = 0;
    int read = 0;
    Load(path, image, begun, read);
    ASSERT_EQ(read, 1) << name;
    // Pillow's samples with the file's gAMA applied for a 2.2 screen the way
    // libpng does (palettes are taken before gamma), then laid over white.
    const std::string raw = Path(std::string(name) + ".rgb");
    ASSERT_TRUE(librarytest::RunPillow(
        "import sys\nfrom PIL import Image\nim=Image.open(sys.argv[1])\n"
        "g=im.info.get('gamma')\npal=im.mode=='P'\n"
        "srgb='srgb' in im.info\nim=im.convert('RGBA')\n"
        "if g and not pal and not srgb and abs(g*2.2-1)>0.05:\n"
        "  t=[int(255*pow(i/255.0,1/(2.2*g))+0.5) for i in range(256)]\n"
        "  im=Image.merge('RGBA',[b.point(t) for b in im.split()[:3]]+[im.getchannel('A')])\n"
        "im=Image.alpha_composite(Image.new('RGBA',im.size,'white'),im).convert('RGB')\n"
        "open(sys.argv[2],'wb').write(im.tobytes())",
        Quote(path) + " " + Quote(raw)))
        << name;
    const Bytes expected = testsupport::ReadBytes(raw);
    EXPECT_LE(librarytest::MaxDifference(librarytest::Rgb(image), expected), 1) << name;
    ++checked;
  }
  EXPECT_GT(checked, 0);
}

}  // namespace
