#include "codecs/library/JpegCodec.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "engine/commands/ConversionCommands.h"
#include "engine/commands/LoaderChain.h"
#include "tests/codecs/library/LibraryTestHelpers.h"
#include "tests/support/TestSupport.h"

namespace {

using codecs::JpegCodec;
using engine::ImageBuffer;
using librarytest::Bytes;
using testsupport::Join;
using testsupport::Quote;

struct Segment {
  std::uint8_t marker;
  Bytes payload;  // without the length field
};

// Marker segments up to and including the first SOS; empty when the file does
// not start with SOI or a segment runs past the end.
std::vector<Segment> Segments(const Bytes& file) {
  std::vector<Segment> segments;
  if (file.size() < 2 || file[0] != 0xFF || file[1] != 0xD8) return {};
  std::size_t at = 2;
  while (at + 4 <= file.size()) {
    if (file[at] != 0xFF) return {};
    const std::uint8_t marker = file[at + 1];
    const std::size_t length = static_cast<std::size_t>(file[at + 2] << 8 | file[at + 3]);
    if (length < 2 || at + 2 + length > file.size()) return {};
    segments.push_back({marker, Bytes(file.begin() + static_cast<std::ptrdiff_t>(at + 4),
                                      file.begin() + static_cast<std::ptrdiff_t>(at + 2 + length))});
    if (marker == 0xDA) break;
    at += 2 + length;
  }
  return segments;
}

const Segment* Find(const std::vector<Segment>& segments, std::uint8_t marker) {
  for (const Segment& s : segments) {
    if (s.marker == marker) return &s;
  }
  return nullptr;
}

// Component count of the baseline frame; -1 without one.
int Components(const Bytes& file) {
  const std::vector<Segment> segments = Segments(file);
  const Segment* sof0 = Find(segments, 0xC0);
  return sof0 != nullptr && sof0->payload.size() > 5 ? sof0->payload[5] : -1;
}

class JpegCodecTest : public ::testing::Test {
 protected:
  void SetUp() override { dir_ = testsupport::MakeTempSubdir("jpeg"); }
  std::string Path(const std::string& name) const { return Join(dir_, name); }

  // A JPEG made from the pattern by cjpeg or ImageMagick with extra options;
  // empty when the tool is missing.
  std::string MakeWithImageMagick(const std::string& name, int w, int h, const std::string& options) {
    if (testsupport::ImageMagick().empty()) return {};
    const std::string ppm = Path(name + ".ppm");
    EXPECT_TRUE(testsupport::WriteBytes(ppm, librarytest::MakePpm(w, h, testsupport::PatternRgb(w, h))));
    const std::string out = Path(name);
    if (!librarytest::Run(Quote(testsupport::ImageMagick()) + " " + Quote(ppm) + " " + options + " " + Quote(out))) {
      return {};
    }
    return out;
  }

  std::string dir_;
};

TEST_F(JpegCodecTest, ColourFileIsBaselineJfifWithTheAgreedHeader) {
  ImageBuffer source;
  testsupport::FillRgbImage(source, 37, 23, testsupport::PatternRgb(37, 23));
  JpegCodec codec;
  ASSERT_EQ(codec.WriteImage(Path("c.jpg").c_str(), &source, 99, 1, 1, 50), 1);

  const Bytes file = testsupport::ReadBytes(Path("c.jpg"));
  ASSERT_GE(file.size(), 4u);
  EXPECT_EQ(file[file.size() - 2], 0xFF);
  EXPECT_EQ(file[file.size() - 1], 0xD9);  // EOI
  const std::vector<Segment> segments = Segments(file);
  ASSERT_FALSE(segments.empty());
  ASSERT_EQ(segments.front().marker, 0xE0);
  const Bytes& app0 = segments.front().payload;
  ASSERT_GE(app0.size(), 12u);
  EXPECT_EQ(std::string(app0.begin(), app0.begin() + 5), std::string("JFIF\0", 5));
  EXPECT_EQ(app0[5], 1);  // version 1.01
  EXPECT_EQ(app0[6], 1);
  EXPECT_EQ(app0[7], 0);  // density unit: none
  EXPECT_EQ(app0[8] << 8 | app0[9], 1);
  EXPECT_EQ(app0[10] << 8 | app0[11], 1);

  const Segment* sof0 = Find(segments, 0xC0);
  ASSERT_NE(sof0, nullptr) << "baseline frame expected";
  for (int other : {0xC1, 0xC2, 0xC3, 0xC9, 0xCA}) EXPECT_EQ(Find(segments, static_cast<std::uint8_t>(other)), nullptr);
  EXPECT_EQ(sof0->payload[0], 8);  // precision
  EXPECT_EQ(sof0->payload[1] << 8 | sof0->payload[2], 23);
  EXPECT_EQ(sof0->payload[3] << 8 | sof0->payload[4], 37);
  EXPECT_EQ(sof0->payload[5], 3);
  EXPECT_EQ(Find(segments, 0xDD), nullptr) << "no restart interval";
  EXPECT_NE(Find(segments, 0xC4), nullptr);
}

TEST_F(JpegCodecTest, OptimiseFlagComputesOwnHuffmanTables) {
  ImageBuffer source;
  testsupport::FillRgbImage(source, 64, 64, testsupport::PatternRgb(64, 64, 3));
  JpegCodec codec;
  ASSERT_EQ(codec.WriteImage(Path("opt.jpg").c_str(), &source, 99, 1, 1, 0), 1);
  ASSERT_EQ(codec.WriteImage(Path("std.jpg").c_str(), &source, 99, 1, 0, 0), 1);
  const Bytes optimised = testsupport::ReadBytes(Path("opt.jpg"));
  const Bytes standard = testsupport::ReadBytes(Path("std.jpg"));
  EXPECT_LT(optimised.size(), standard.size());
  // The standard tables of T.81 Annex K start with these code-length counts.
  const Bytes annexKLumaDc = {0x00, 0x00, 0x01, 0x05, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01};
  auto hasAnnexK = [&](const Bytes& file) {
    for (const Segment& s : Segments(file)) {
      if (s.marker == 0xC4 && s.payload.size() >= annexKLumaDc.size() &&
          std::equal(annexKLumaDc.begin(), annexKLumaDc.end(), s.payload.begin())) {
        return true;
      }
    }
    return false;
  };
  EXPECT_TRUE(hasAnnexK(standard));
  EXPECT_FALSE(hasAnnexK(optimised));
}

TEST_F(JpegCodecTest, ColourRoundTripMatchesSourceAndOracle) {
  const Bytes rgb = librarytest::SmoothRgb(40, 30);
  ImageBuffer source;
  testsupport::FillRgbImage(source, 40, 30, rgb);
  JpegCodec codec;
  ASSERT_EQ(codec.WriteImage(Path("rt.jpg").c_str(), &source, 99, 1, 1, 0), 1);

  ImageBuffer read;
  ASSERT_EQ(codec.BeginRead(Path("rt.jpg").c_str(), &read), 1);
  ASSERT_EQ(codec.ReadImage(), 1);
  ASSERT_EQ(read.GetBitsPerPixel(), 24u);
  ASSERT_EQ(read.GetWidth(), 40);
  ASSERT_EQ(read.GetHeight(), 30);
  const Bytes ours(read.GetPixels(), read.GetPixels() + read.GetPixelBytes());
  EXPECT_LT(librarytest::MeanDifference(ours, rgb), 3.0);

  int w = 0;
  int h = 0;
  Bytes oracle;
  if (!testsupport::DecodeWithImageMagick(Path("rt.jpg"), w, h, oracle)) GTEST_SKIP() << "ImageMagick not available";
  EXPECT_EQ(w, 40);
  EXPECT_EQ(h, 30);
  EXPECT_LE(librarytest::MaxDifference(ours, oracle), 2);
}

TEST_F(JpegCodecTest, GreyModeWritesOneComponentAndReadsAsPaletteFreeGrey) {
  const Bytes rgb = librarytest::SmoothRgb(16, 8);
  ImageBuffer source;
  testsupport::FillRgbImage(source, 16, 8, rgb);
  JpegCodec codec;
  ASSERT_EQ(codec.WriteImage(Path("g.jpg").c_str(), &source, 100, 0, 1, 0), 1);
  const std::vector<Segment> segments = Segments(testsupport::ReadBytes(Path("g.jpg")));
  const Segment* sof0 = Find(segments, 0xC0);
  ASSERT_NE(sof0, nullptr);
  EXPECT_EQ(sof0->payload[5], 1);

  ImageBuffer read;
  ASSERT_EQ(codec.BeginRead(Path("g.jpg").c_str(), &read), 1);
  ASSERT_EQ(codec.ReadImage(), 1);
  EXPECT_EQ(read.GetBitsPerPixel(), 8u);
  EXPECT_EQ(read.GetPaletteCount(), 0);
  ImageBuffer grey;
  ASSERT_EQ(source.ConvertTo(grey, 8, 0), 1);
  const Bytes expected(grey.GetPixels(), grey.GetPixels() + grey.GetPixelBytes());
  const Bytes got(read.GetPixels(), read.GetPixels() + read.GetPixelBytes());
  EXPECT_LE(librarytest::MaxDifference(got, expected), 3);
}

TEST_F(JpegCodecTest, GreyModeMapsPaletteIndicesThroughThePalette) {
  // Index 0 is white and index 1 black: written as raw levels the picture
  // would come out nearly black where it is white.
  ImageBuffer source;
  ASSERT_EQ(source.Create(16, 16, 8, 2), 1);
  source.GetPalette()[0] = engine::PaletteEntry{255, 255, 255, 0, 0};
  source.GetPalette()[1] = engine::PaletteEntry{0, 0, 0, 0, 0};
  for (int y = 0; y < 16; ++y) {
    for (int x = 0; x < 16; ++x) source.GetRow(y)[x] = x < 8 ? 0 : 1;
  }
  JpegCodec codec;
  ASSERT_EQ(codec.WriteImage(Path("p.jpg").c_str(), &source, 100, 0, 1, 0), 1);
  ImageBuffer read;
  ASSERT_EQ(codec.BeginRead(Path("p.jpg").c_str(), &read), 1);
  ASSERT_EQ(codec.ReadImage(), 1);
  ASSERT_EQ(read.GetBitsPerPixel(), 8u);
  EXPECT_GE(read.GetRow(8)[1], 250);
  EXPECT_LE(read.GetRow(8)[14], 5);
}

TEST_F(JpegCodecTest, ColourModeConvertsOtherDepthsTo24Bits) {
  const Bytes rgb = librarytest::SmoothRgb(12, 10);
  ImageBuffer base;
  testsupport::FillRgbImage(base, 12, 10, rgb);
  for (std::uint32_t bits : {32u, 16u, 8u}) {
    ImageBuffer source;
    ASSERT_EQ(base.ConvertTo(source, bits, 0), 1);
    JpegCodec codec;
    const std::string path = Path(librarytest::NumberedName("d", bits, ".jpg"));
    ASSERT_EQ(codec.WriteImage(path.c_str(), &source, 100, 1, 1, 0), 1) << bits;
    const std::vector<Segment> segments = Segments(testsupport::ReadBytes(path));
    const Segment* sof0 = Find(segments, 0xC0);
    ASSERT_NE(sof0, nullptr);
    EXPECT_EQ(sof0->payload[5], 3) << bits;
    ImageBuffer read;
    ASSERT_EQ(codec.BeginRead(path.c_str(), &read), 1);
    ASSERT_EQ(codec.ReadImage(), 1);
    EXPECT_LT(librarytest::MeanDifference(librarytest::Rgb(read), librarytest::Rgb(source)), 3.0) << bits;
  }
}

TEST_F(JpegCodecTest, OutOfRangeParametersCreateNoFile) {
  ImageBuffer source;
  testsupport::FillRgbImage(source, 4, 4, testsupport::PatternRgb(4, 4));
  ImageBuffer empty;
  JpegCodec codec;
  struct Case {
    int quality;
    int smoothing;
    ImageBuffer* image;
  };
  int n = 0;
  for (const Case& c : {Case{0, 0, &source}, Case{101, 0, &source}, Case{50, -1, &source}, Case{50, 101, &source},
                        Case{50, 0, &empty}}) {
    const std::string path = Path(librarytest::NumberedName("bad", n++, ".jpg"));
    EXPECT_EQ(codec.WriteImage(path.c_str(), c.image, c.quality, 1, 1, c.smoothing), 0);
    EXPECT_FALSE(testsupport::FileExistsOnDisk(path)) << path;
  }
  EXPECT_EQ(codec.WriteImage(Path("edge.jpg").c_str(), &source, 1, 1, 1, 100), 1);
  EXPECT_EQ(codec.WriteImage(Path("edge2.jpg").c_str(), &source, 100, 1, 0, 0), 1);
}

TEST_F(JpegCodecTest, RefusesWhatIsNotAReadableJpeg) {
  const std::string tiny = Path("tiny");
  const std::string notJpeg = Path("not.jpg");
  const std::string corrupt = Path("corrupt.jpg");
  ASSERT_TRUE(testsupport::WriteBytes(tiny, {0xFF}));
  ASSERT_TRUE(testsupport::WriteBytes(notJpeg, {0x89, 'P', 'N', 'G', 0, 0, 0, 0}));
  ASSERT_TRUE(testsupport::WriteBytes(corrupt, {0xFF, 0xD8, 0xFF, 0xC0, 0x00, 0x03, 0x12, 0x34, 0x56, 0x78}));
  ImageBuffer image;
  JpegCodec codec;
  const std::string printed = librarytest::StderrOf([&] {
    EXPECT_EQ(codec.BeginRead(Path("missing.jpg").c_str(), &image), 0);
    EXPECT_EQ(codec.BeginRead(tiny.c_str(), &image), 0);
    EXPECT_EQ(codec.BeginRead(notJpeg.c_str(), &image), 0);
    EXPECT_EQ(codec.BeginRead(corrupt.c_str(), &image), 0);
    EXPECT_EQ(codec.ReadImage(), 0);
  });
  EXPECT_EQ(printed, "") << "library text reached standard error";

  // The same object reads a good file afterwards: each operation re-arms its
  // own recovery point.
  ImageBuffer source;
  testsupport::FillRgbImage(source, 9, 5, testsupport::PatternRgb(9, 5));
  ASSERT_EQ(codec.WriteImage(Path("good.jpg").c_str(), &source, 90, 1, 1, 0), 1);
  ASSERT_EQ(codec.BeginRead(Path("good.jpg").c_str(), &image), 1);
  ASSERT_EQ(codec.ReadImage(), 1);
  EXPECT_EQ(image.GetWidth(), 9);
}

TEST_F(JpegCodecTest, DimensionsBeyondAMappingAreRefused) {
  ImageBuffer source;
  testsupport::FillRgbImage(source, 8, 8, testsupport::PatternRgb(8, 8));
  JpegCodec codec;
  ASSERT_EQ(codec.WriteImage(Path("big.jpg").c_str(), &source, 90, 1, 1, 0), 1);
  Bytes file = testsupport::ReadBytes(Path("big.jpg"));
  // Patch the frame header to 65000 x 65000: 12.7 GB of RGB.
  for (std::size_t i = 2; i + 9 < file.size(); ++i) {
    if (file[i] == 0xFF && file[i + 1] == 0xC0) {
      file[i + 5] = 0xFD;
      file[i + 6] = 0xE8;
      file[i + 7] = 0xFD;
      file[i + 8] = 0xE8;
      break;
    }
  }
  ASSERT_TRUE(testsupport::WriteBytes(Path("huge-dimensions.jpg"), file));
  ImageBuffer image;
  EXPECT_EQ(codec.BeginRead(Path("huge-dimensions.jpg").c_str(), &image), 0);
  EXPECT_EQ(engine::LoadAnyImage(Path("huge-dimensions.jpg").c_str(), image), engine::ResultUnreadable);
}

TEST_F(JpegCodecTest, TruncatedEntropyDataStillReadsQuietly) {
  ImageBuffer source;
  testsupport::FillRgbImage(source, 64, 64, testsupport::PatternRgb(64, 64, 9));
  JpegCodec codec;
  ASSERT_EQ(codec.WriteImage(Path("full.jpg").c_str(), &source, 95, 1, 1, 0), 1);
  Bytes file = testsupport::ReadBytes(Path("full.jpg"));
  file.resize(file.size() / 2);
  ASSERT_TRUE(testsupport::WriteBytes(Path("truncated.jpg"), file));
  ImageBuffer image;
  const std::string printed = librarytest::StderrOf([&] {
    ASSERT_EQ(codec.BeginRead(Path("truncated.jpg").c_str(), &image), 1);
    EXPECT_EQ(codec.ReadImage(), 1);
  });
  EXPECT_EQ(printed, "");
  EXPECT_EQ(image.GetHeight(), 64);
}

TEST_F(JpegCodecTest, ProgressiveReadsLikeTheOracle) {
  const std::string path = MakeWithImageMagick("prog.jpg", 48, 40, "-interlace JPEG -quality 90");
  if (path.empty()) GTEST_SKIP() << "ImageMagick not available";
  ImageBuffer image;
  JpegCodec codec;
  ASSERT_EQ(codec.BeginRead(path.c_str(), &image), 1);
  ASSERT_EQ(codec.ReadImage(), 1);
  int w = 0;
  int h = 0;
  Bytes oracle;
  ASSERT_TRUE(testsupport::DecodeWithImageMagick(path, w, h, oracle));
  EXPECT_LE(librarytest::MaxDifference(librarytest::Rgb(image), oracle), 2);
}

TEST_F(JpegCodecTest, CmykIsRefusedByTheWholeChain) {
  const std::string path = MakeWithImageMagick("cmyk.jpg", 16, 16, "-colorspace CMYK");
  if (path.empty()) GTEST_SKIP() << "ImageMagick not available";
  ASSERT_EQ(Components(testsupport::ReadBytes(path)), 4);
  ImageBuffer image;
  JpegCodec codec;
  EXPECT_EQ(codec.BeginRead(path.c_str(), &image), 0);
  EXPECT_EQ(engine::LoadAnyImage(path.c_str(), image), engine::ResultUnreadable);
}

TEST_F(JpegCodecTest, FullDiskFailsTheWriteAndTheCommand) {
  PICTOMILL_SKIP_WITHOUT_FORK();
  ImageBuffer source;
  testsupport::FillRgbImage(source, 300, 300, testsupport::PatternRgb(300, 300, 5));
  // Loading an 8 x 8 BMP needs a 192-byte scratch file; the JPEG's tables
  // alone are larger than the 256 bytes allowed.
  const std::string bmp = Path("src.bmp");
  ASSERT_TRUE(testsupport::WriteBytes(bmp, testsupport::MakeBmp(8, 8, testsupport::PatternRgb(8, 8, 5))));
  const std::string target = Path("full.jpg");
  EXPECT_EQ(librarytest::WithFileSizeLimit(4096, [&] {
              JpegCodec codec;
              return codec.WriteImage(target.c_str(), &source, 99, 1, 1, 0);
            }),
            0);
  EXPECT_EQ(librarytest::WithFileSizeLimit(256, [&] { return engine::ConvertToJpg(bmp.c_str(), target.c_str(), 0, 99, 1, 50); }),
            engine::ResultWriteFailed);
}

TEST_F(JpegCodecTest, CommandResultCodes) {
  const std::string bmp = Path("src.bmp");
  ASSERT_TRUE(testsupport::WriteBytes(bmp, testsupport::MakeBmp(20, 10, testsupport::PatternRgb(20, 10))));
  const std::string text = Path("text.jpg");
  ASSERT_TRUE(testsupport::WriteBytes(text, {'h', 'e', 'l', 'l', 'o'}));
  const std::string out = Path("out.bmp");  // the extension plays no part
  EXPECT_EQ(engine::ConvertToJpg(bmp.c_str(), out.c_str(), 0, 0, 1, 50), engine::ResultBadArguments);
  EXPECT_EQ(engine::ConvertToJpg(bmp.c_str(), out.c_str(), 0, 101, 1, 50), engine::ResultBadArguments);
  EXPECT_EQ(engine::ConvertToJpg(bmp.c_str(), out.c_str(), 0, 99, 1, -1), engine::ResultBadArguments);
  EXPECT_EQ(engine::ConvertToJpg(bmp.c_str(), out.c_str(), 0, 99, 1, 101), engine::ResultBadArguments);
  EXPECT_EQ(engine::ConvertToJpg(nullptr, out.c_str(), 0, 99, 1, 50), engine::ResultBadArguments);
  EXPECT_EQ(engine::ConvertToJpg(bmp.c_str(), nullptr, 0, 99, 1, 50), engine::ResultBadArguments);
  EXPECT_FALSE(testsupport::FileExistsOnDisk(out));
  EXPECT_EQ(engine::ConvertToJpg(Path("none.bmp").c_str(), out.c_str(), 0, 99, 1, 50), engine::ResultFileMissing);
  EXPECT_EQ(engine::ConvertToJpg(text.c_str(), out.c_str(), 0, 99, 1, 50), engine::ResultUnreadable);
  EXPECT_EQ(engine::ConvertToJpg(bmp.c_str(), Path("no/such/dir.jpg").c_str(), 0, 99, 1, 50),
            engine::ResultWriteFailed);
  EXPECT_EQ(engine::ConvertToJpg(bmp.c_str(), "", 0, 99, 1, 50), engine::ResultWriteFailed);

  ASSERT_EQ(engine::ConvertToJpg(bmp.c_str(), out.c_str(), 0, 99, 1, 50), engine::ResultOk);
  ImageBuffer image;
  const char* reader = nullptr;
  ASSERT_EQ(engine::LoadAnyImage(out.c_str(), image, &reader), engine::ResultOk);
  EXPECT_STREQ(reader, "JPEG");
  EXPECT_EQ(image.GetBitsPerPixel(), 24u);
  ASSERT_EQ(engine::ConvertToJpg(bmp.c_str(), out.c_str(), 1, 1, 0, 0), engine::ResultOk);
  ASSERT_EQ(engine::LoadAnyImage(out.c_str(), image), engine::ResultOk);
  EXPECT_EQ(image.GetBitsPerPixel(), 8u);
  // Onto its own path: the source is replaced.
  image.Release();
  ASSERT_EQ(engine::ConvertToJpg(out.c_str(), out.c_str(), 0, 99, 1, 50), engine::ResultOk);
  EXPECT_TRUE(testsupport::ScratchFiles().empty()) << "a command left a scratch file";
}

TEST_F(JpegCodecTest, CommandLineToolWritesJpeg) {
  const std::string bmp = Path("src.bmp");
  ASSERT_TRUE(testsupport::WriteBytes(bmp, testsupport::MakeBmp(20, 10, testsupport::PatternRgb(20, 10))));
  const std::string tool = Quote(testsupport::ConvertTool());
  const std::string out = Path("cli.jpg");
  std::string printed;
  EXPECT_EQ(testsupport::RunCommand(tool + " jpg " + Quote(bmp) + " " + Quote(out) + " 2>&1", &printed), 0);
  EXPECT_EQ(printed, "");
  EXPECT_EQ(Components(testsupport::ReadBytes(out)), 3);
  EXPECT_EQ(testsupport::RunCommand(tool + " jpg " + Quote(bmp) + " " + Quote(out) + " --grey 2>/dev/null"), 0);
  EXPECT_EQ(Components(testsupport::ReadBytes(out)), 1);
  EXPECT_EQ(testsupport::RunCommand(tool + " jpg " + Quote(bmp) + " " + Quote(out) + " --quality 0 2>/dev/null"), 7);
  EXPECT_EQ(testsupport::RunCommand(tool + " jpg " + Quote(Path("none")) + " " + Quote(out) + " 2>/dev/null"), 1);
  EXPECT_EQ(testsupport::RunCommand(tool + " jpg " + Quote(bmp) + " " + Quote(Path("no/dir.jpg")) + " 2>/dev/null"), 4);
}

}  // namespace

namespace {

// SOI, an APP1 Exif block recording orientation in the byte order asked for,
// then the rest of file; bigEndian files carry an XMP APP1 before it too.
Bytes WithOrientation(const Bytes& file, int orientation, bool bigEndian) {
  auto put = [bigEndian](Bytes& out, std::uint32_t v, int size) {
    for (int i = 0; i < size; ++i) out.push_back(static_cast<std::uint8_t>(v >> (bigEndian ? 8 * (size - 1 - i) : 8 * i)));
  };
  Bytes exif = {'E', 'x', 'i', 'f', 0, 0, bigEndian ? std::uint8_t{'M'} : std::uint8_t{'I'},
                bigEndian ? std::uint8_t{'M'} : std::uint8_t{'I'}};
  put(exif, 42, 2);
  put(exif, 8, 4);
  put(exif, 1, 2);  // one entry: Orientation, SHORT, 1, the value
  for (const auto& [v, size] : {std::pair{0x0112u, 2}, {3u, 2}, {1u, 4}, {static_cast<std::uint32_t>(orientation), 2},
                               {0u, 2}, {0u, 4}}) {
    put(exif, v, size);
  }
  Bytes out = {0xFF, 0xD8};
  auto segment = [&out](const Bytes& payload) {
    out.insert(out.end(), {0xFF, 0xE1, static_cast<std::uint8_t>((payload.size() + 2) >> 8),
                           static_cast<std::uint8_t>(payload.size() + 2)});
    out.insert(out.end(), payload.begin(), payload.end());
  };
  if (bigEndian) segment(Bytes{'h', 't', 't', 'p', ':', '/', '/', 'n', 's', 0, '<', 'x', '/', '>'});
  segment(exif);
  out.insert(out.end(), file.begin() + 2, file.end());
  return out;
}

// Each orientation in each byte order against the stored picture turned by
// the test, exactly (the files share one entropy-coded picture), and against
// Pillow's exif_transpose; colour and grey.
TEST_F(JpegCodecTest, ExifOrientationDeliversThePhotoUpright) {
  const bool pillow = librarytest::HavePillow();
  constexpr int kWidth = 83;
  constexpr int kHeight = 61;
  for (int colour : {1, 0}) {
    ImageBuffer source;
    testsupport::FillRgbImage(source, kWidth, kHeight, testsupport::PatternRgb(kWidth, kHeight, 5));
    const std::string plain = Path("plain.jpg");
    ASSERT_EQ(JpegCodec().WriteImage(plain.c_str(), &source, 100, colour, 0, 0), 1);
    ImageBuffer stored;
    ASSERT_EQ(engine::LoadAnyImage(plain.c_str(), stored), engine::ResultOk);
    const Bytes storedPixels(stored.GetPixels(), stored.GetPixels() + stored.GetPixelBytes());
    std::string names;
    for (int file = 0; file < 16; ++file) {
      const std::string name = Path(librarytest::NumberedName("o", file, ".jpg"));
      ASSERT_TRUE(testsupport::WriteBytes(name, WithOrientation(testsupport::ReadBytes(plain), file % 8 + 1, file >= 8)));
      names += " " + Quote(name);
    }
    ASSERT_TRUE(!pillow || librarytest::RunPillow("import sys\nfrom PIL import Image, ImageOps\nfor p in sys.argv[1:]:\n"
                                                  "  open(p + '.rgb', 'wb').write(ImageOps.exif_transpose("
                                                  "Image.open(p)).convert('RGB').tobytes())",
                                                  names));
    for (int file = 0; file < 16; ++file) {
      const std::string name = Path(librarytest::NumberedName("o", file, ".jpg"));
      ImageBuffer image;
      ASSERT_EQ(engine::LoadAnyImage(name.c_str(), image), engine::ResultOk) << name;
      int w = 0;
      int h = 0;
      const Bytes expected = testsupport::ShownAs(storedPixels, kWidth, kHeight, colour == 1 ? 3 : 1, file % 8 + 1, w, h);
      EXPECT_EQ(image.GetWidth(), w) << name;
      EXPECT_EQ(image.GetHeight(), h) << name;
      EXPECT_EQ(Bytes(image.GetPixels(), image.GetPixels() + image.GetPixelBytes()), expected) << name;
      if (pillow) {
        EXPECT_EQ(librarytest::Rgb(image), testsupport::ReadBytes(name + ".rgb")) << name << " against Pillow";
      }
    }
  }
  if (!pillow) GTEST_SKIP() << "Pillow not available: checked against the test's own turn only";
}

}  // namespace
