#include "codecs/native/PcxCodec.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>

#include "engine/commands/ConversionCommands.h"
#include "engine/commands/LoaderChain.h"
#include "tests/codecs/native/NativeTestHelpers.h"
#include "tests/support/TestSupport.h"

namespace {

using codecs::PcxCodec;
using testsupport::Bytes;

struct PcxHeader {
  int width = 2;
  int height = 2;
  int xMin = 0;
  int yMin = 0;
  std::uint8_t bitsPerPlane = 8;
  std::uint8_t planes = 3;
  int bytesPerLine = 2;
};

Bytes MakePcx(const PcxHeader& h, const Bytes& data, const Bytes& palette = {}) {
  Bytes file(128, 0);
  auto put16 = [&](std::size_t at, int v) {
    file[at] = static_cast<std::uint8_t>(v);
    file[at + 1] = static_cast<std::uint8_t>(v >> 8);
  };
  file[0] = 0x0A;
  file[1] = 5;
  file[2] = 1;
  file[3] = h.bitsPerPlane;
  put16(4, h.xMin);
  put16(6, h.yMin);
  put16(8, h.xMin + h.width - 1);
  put16(10, h.yMin + h.height - 1);
  file[65] = h.planes;
  put16(66, h.bytesPerLine);
  file.insert(file.end(), data.begin(), data.end());
  if (!palette.empty()) {
    file.push_back(0x0C);
    file.insert(file.end(), palette.begin(), palette.end());
  }
  return file;
}

std::string WriteTemp(const std::string& name, const Bytes& bytes) {
  const std::string path = testsupport::Join(testsupport::MakeTempSubdir("pcx"), name);
  EXPECT_TRUE(testsupport::WriteBytes(path, bytes));
  return path;
}

// Reads with our codec; false when BeginRead or ReadImage fails.
bool ReadPcx(const std::string& path, engine::ImageBuffer& image, int* begin = nullptr) {
  PcxCodec codec;
  const int began = codec.BeginRead(path.c_str(), &image);
  if (begin != nullptr) *begin = began;
  return began == 1 && codec.ReadImage() == 1;
}

bool WritePcx(const std::string& path, engine::ImageBuffer& image) {
  PcxCodec codec;
  return codec.BeginWrite(path.c_str(), &image, 24) == 1 && codec.WriteImage() == 1;
}

// --- Run-length code -------------------------------------------------------

TEST(PcxRunLength, HundredEqualBytesSplitIntoRunsOf63And37) {
  Bytes line(101, 0x41);
  line[100] = 0x42;
  Bytes out(2 * line.size());
  const std::uint32_t produced = PcxCodec::EncodeRunLine(out.data(), line.data(), 101);
  out.resize(produced);
  EXPECT_EQ(out, (Bytes{0xFF, 0x41, 0xE5, 0x41, 0x42}));
}

TEST(PcxRunLength, SingleHighBytesAreEscapedLowBytesStandAlone) {
  const Bytes line{0xC5, 0xBF, 0xC0, 0x00};
  Bytes out(8);
  out.resize(PcxCodec::EncodeRunLine(out.data(), line.data(), 4));
  EXPECT_EQ(out, (Bytes{0xC1, 0xC5, 0xBF, 0xC1, 0xC0, 0x00}));
}

TEST(PcxRunLength, WorstCaseIsTwiceTheLine) {
  Bytes line;
  for (int i = 0; i < 64; ++i) line.push_back(static_cast<std::uint8_t>(0xC0 + (i % 2)));
  Bytes out(2 * line.size());
  EXPECT_EQ(PcxCodec::EncodeRunLine(out.data(), line.data(), 64), 128u);
}

TEST(PcxRunLength, DecodeCutsRunsAtTheLineEndAndCountZeroStoresNothing) {
  // Line of 4: a count-0 run (consumes 0x77), 2 x 0x11, then a run of 5 that is
  // cut to 2. The next line starts with the byte after that run.
  const Bytes data{0xC0, 0x77, 0xC2, 0x11, 0xC5, 0x22, 0x33};
  std::uint8_t line[4] = {};
  const std::uint8_t* next = PcxCodec::DecodeRunLine(line, data.data(), data.data() + data.size(), 4);
  EXPECT_EQ(Bytes(line, line + 4), (Bytes{0x11, 0x11, 0x22, 0x22}));
  ASSERT_EQ(next, data.data() + 6);
  EXPECT_EQ(*next, 0x33);
}

TEST(PcxRunLength, DecodeStopsAtTheDataEnd) {
  // Exactly sized heap copies: ASan reports any read past them.
  const Bytes lone{0x05, 0xC3};  // a count byte with nothing after it
  std::uint8_t line[8] = {};
  auto* data = new std::uint8_t[lone.size()];
  std::memcpy(data, lone.data(), lone.size());
  const std::uint8_t* next = PcxCodec::DecodeRunLine(line, data, data + lone.size(), 8);
  EXPECT_EQ(next, data + 2);
  EXPECT_EQ(line[0], 0x05);
  EXPECT_EQ(line[1], 0x00);
  EXPECT_EQ(PcxCodec::DecodeRunLine(line, data + 2, data + 2, 8), data + 2);
  delete[] data;
}

// --- Writing ---------------------------------------------------------------

TEST(PcxWrite, ThreeByOneHasEvenLinesAndRunsCrossPlanesButNotLines) {
  engine::ImageBuffer image;
  // Row 0: greens all 0, so the red pad, the green plane and the green pad make
  // one run of 5. Row 1 starts with red 0 after row 0 ended in a pad 0.
  testsupport::FillRgbImage(image, 3, 2, {10, 0, 20, 11, 0, 21, 12, 0, 22, 0, 1, 2, 0, 1, 2, 0, 1, 2});
  const std::string path = testsupport::Join(testsupport::MakeTempSubdir("pcx"), "three.pcx");
  ASSERT_TRUE(WritePcx(path, image));
  const Bytes file = testsupport::ReadBytes(path);
  ASSERT_GT(file.size(), 128u);

  Bytes header(128, 0);
  const Bytes start{0x0A, 5, 1, 8, 0, 0, 0, 0, 2, 0, 1, 0, 44, 1, 44, 1};
  std::copy(start.begin(), start.end(), header.begin());
  header[65] = 3;
  header[66] = 4;  // bytes per line: 3 rounded up to even
  header[70] = 0x20;
  header[71] = 0x03;  // 800
  header[72] = 0x58;
  header[73] = 0x02;  // 600
  EXPECT_EQ(Bytes(file.begin(), file.begin() + 128), header);

  const Bytes row0{0x0A, 0x0B, 0x0C, 0xC5, 0x00, 0x14, 0x15, 0x16, 0x00};
  const Bytes row1{0xC4, 0x00, 0xC3, 0x01, 0x00, 0xC3, 0x02, 0x00};
  Bytes data = row0;
  data.insert(data.end(), row1.begin(), row1.end());
  EXPECT_EQ(Bytes(file.begin() + 128, file.end()), data);
}

TEST(PcxWrite, RoundTripIsExactAndImageMagickAgrees) {
  for (const int width : {37, 64, 255}) {
    SCOPED_TRACE(width);
    const int height = 23;
    const Bytes rgb = testsupport::PatternRgb(width, height, static_cast<std::uint32_t>(width));
    engine::ImageBuffer image;
    testsupport::FillRgbImage(image, width, height, rgb);
    const std::string path = testsupport::Join(testsupport::MakeTempSubdir("pcx"), "round.pcx");
    ASSERT_TRUE(WritePcx(path, image));

    engine::ImageBuffer back;
    ASSERT_TRUE(ReadPcx(path, back));
    EXPECT_EQ(back.GetBitsPerPixel(), 24u);
    EXPECT_EQ(testsupport::ImageAsRgb(back), rgb);

    // Our own output read again and written again gives the same file.
    const std::string again = path + ".again.pcx";
    ASSERT_TRUE(WritePcx(again, back));
    EXPECT_EQ(testsupport::ReadBytes(again), testsupport::ReadBytes(path));

    int w = 0;
    int h = 0;
    Bytes oracle;
    if (testsupport::ImageMagick().empty()) GTEST_SKIP() << "ImageMagick not installed";
    ASSERT_TRUE(testsupport::DecodeWithImageMagick(path, w, h, oracle));
    EXPECT_EQ(w, width);
    EXPECT_EQ(h, height);
    EXPECT_EQ(oracle, rgb);
  }
}

TEST(PcxWrite, BeginWriteRefusesOtherDepthsBeforeAFileExists) {
  engine::ImageBuffer grey;
  ASSERT_EQ(grey.Create(4, 4, 8, 0), 1);
  const std::string path = testsupport::Join(testsupport::MakeTempSubdir("pcx"), "grey.pcx");
  PcxCodec codec;
  EXPECT_EQ(codec.BeginWrite(path.c_str(), &grey, 24), 0);
  engine::ImageBuffer rgb;
  testsupport::FillRgbImage(rgb, 2, 2, Bytes(12, 1));
  EXPECT_EQ(codec.BeginWrite(path.c_str(), &rgb, 8), 0);
  EXPECT_FALSE(testsupport::FileExistsOnDisk(path));
  EXPECT_EQ(codec.WriteImage(), 0);
  EXPECT_EQ(codec.Close(), 1);
  EXPECT_EQ(codec.Close(), 1);
}

TEST(PcxWrite, SizesTheHeaderCannotHoldAreRefused) {
  const std::string folder = testsupport::MakeTempSubdir("pcx");
  struct Case {
    int width;
    int height;
    bool fits;
  };
  // 65534 is the widest whose even bytes-per-line fits 16 bits; y maximum =
  // height - 1 fits up to a height of 65536.
  for (const Case c : {Case{65535, 1, false}, Case{65536, 1, false}, Case{1, 65537, false}, Case{65534, 2, true},
                       Case{2, 65536, true}}) {
    SCOPED_TRACE(std::to_string(c.width) + "x" + std::to_string(c.height));
    engine::ImageBuffer image;
    ASSERT_EQ(image.Create(c.width, c.height, 24, 0), 1);
    const std::string path = testsupport::Join(folder, "big.pcx");
    EXPECT_EQ(WritePcx(path, image), c.fits);
    EXPECT_EQ(testsupport::FileExistsOnDisk(path), c.fits);
    if (c.fits) {
      const Bytes file = testsupport::ReadBytes(path);
      ASSERT_GE(file.size(), 128u);
      EXPECT_EQ(file[8] | file[9] << 8, c.width - 1);
      EXPECT_EQ(file[10] | file[11] << 8, c.height - 1);
      EXPECT_EQ(file[66] | file[67] << 8, (c.width + 1) & ~1);
      std::remove(path.c_str());
    }
  }
}

TEST(PcxWrite, FullDiskFailsAndRemovesThePartialFile) {
  const std::string path = testsupport::Join(testsupport::MakeTempSubdir("pcx"), "full.pcx");
  // Made before the limit: its scratch file could not be reserved under it.
  engine::ImageBuffer image;
  testsupport::FillRgbImage(image, 200, 100, testsupport::PatternRgb(200, 100));
  const int result = nativetest::RunWithFileSizeLimit(4096, [&] { return WritePcx(path, image) ? 1 : 0; });
  EXPECT_EQ(result, 0);
  EXPECT_FALSE(testsupport::FileExistsOnDisk(path));
}

TEST(PcxWrite, MissingFolderFailsAtBeginWrite) {
  engine::ImageBuffer image;
  testsupport::FillRgbImage(image, 2, 2, Bytes(12, 9));
  const std::string path = testsupport::Join(testsupport::MakeTempSubdir("pcx"), "no/such/x.pcx");
  PcxCodec codec;
  EXPECT_EQ(codec.BeginWrite(path.c_str(), &image, 24), 0);
}

// --- Reading ---------------------------------------------------------------

TEST(PcxRead, HeaderChecksDecideWhetherTheFileIsTaken) {
  struct Case {
    const char* name;
    PcxHeader header;
    bool taken;
  };
  PcxHeader oneWide;
  oneWide.width = 1;
  PcxHeader oneHigh;
  oneHigh.height = 1;
  PcxHeader oneBit;
  oneBit.bitsPerPlane = 1;
  oneBit.planes = 1;
  PcxHeader fourPlanes;
  fourPlanes.planes = 4;
  PcxHeader eightBit;
  eightBit.planes = 1;
  PcxHeader offsetWindow;
  offsetWindow.xMin = 10;
  offsetWindow.yMin = 300;
  for (const Case& c : {Case{"one wide", oneWide, false}, Case{"one high", oneHigh, false},
                        Case{"1 bit", oneBit, false}, Case{"4 planes", fourPlanes, false},
                        Case{"8 bit", eightBit, true}, Case{"offset window", offsetWindow, true}}) {
    SCOPED_TRACE(c.name);
    const std::string path = WriteTemp("h.pcx", MakePcx(c.header, Bytes(1000, 0)));
    engine::ImageBuffer image;
    PcxCodec codec;
    EXPECT_EQ(codec.BeginRead(path.c_str(), &image), c.taken ? 1 : 0);
  }
  Bytes wrongSignature = MakePcx(PcxHeader{}, Bytes(100, 0));
  wrongSignature[0] = 0x0B;
  engine::ImageBuffer image;
  PcxCodec codec;
  EXPECT_EQ(codec.BeginRead(WriteTemp("s.pcx", wrongSignature).c_str(), &image), 0);
  EXPECT_EQ(codec.BeginRead(WriteTemp("short.pcx", Bytes(127, 0x0A)).c_str(), &image), 0);
}

TEST(PcxRead, TwentyFourBitPlanesBecomeRgbPixels) {
  // 2 x 2, bytes per line 2: per line R R G G B B, partly as runs.
  const Bytes data{0xC2, 0x10, 0x20, 0x21, 0xC3, 0x30,   // row 0: R 10 10, G 20 21, B 30 30
                   0x01, 0x02, 0xC4, 0xC7};              // row 1: R 1 2, G and B C7 (a run of 4)
  const std::string path = WriteTemp("rgb.pcx", MakePcx(PcxHeader{}, data));
  engine::ImageBuffer image;
  ASSERT_TRUE(ReadPcx(path, image));
  EXPECT_EQ(testsupport::ImageAsRgb(image),
            (Bytes{0x10, 0x20, 0x30, 0x10, 0x21, 0x30, 0x01, 0xC7, 0xC7, 0x02, 0xC7, 0xC7}));
}

TEST(PcxRead, EightBitTakesThePaletteFromTheEnd) {
  PcxHeader header;
  header.planes = 1;
  header.width = 3;
  header.bytesPerLine = 4;
  Bytes palette(768, 0);
  for (int k = 0; k < 256; ++k) {
    palette[3 * k] = static_cast<std::uint8_t>(k);
    palette[3 * k + 1] = static_cast<std::uint8_t>(255 - k);
    palette[3 * k + 2] = 7;
  }
  const Bytes data{1, 2, 3, 0, 0xC4, 0xC8};
  const std::string path = WriteTemp("pal.pcx", MakePcx(header, data, palette));
  engine::ImageBuffer image;
  ASSERT_TRUE(ReadPcx(path, image));
  ASSERT_EQ(image.GetBitsPerPixel(), 8u);
  ASSERT_EQ(image.GetPaletteCount(), 256);
  EXPECT_EQ(Bytes(image.GetPixels(), image.GetPixels() + 6), (Bytes{1, 2, 3, 0xC8, 0xC8, 0xC8}));
  EXPECT_EQ(image.GetPalette()[200].red, 200);
  EXPECT_EQ(image.GetPalette()[200].green, 55);
  EXPECT_EQ(image.GetPalette()[200].blue, 7);
}

TEST(PcxRead, EightBitFileOf896BytesOrLessFailsInReadImage) {
  PcxHeader header;
  header.planes = 1;
  for (const std::size_t dataBytes : {std::size_t{767}, std::size_t{768}, std::size_t{769}}) {
    const std::string path = WriteTemp("tiny.pcx", MakePcx(header, Bytes(dataBytes, 0)));
    engine::ImageBuffer image;
    int began = 0;
    EXPECT_EQ(ReadPcx(path, image, &began), dataBytes > 768);
    EXPECT_EQ(began, 1);
  }
  // A 24-bit file with nothing after the header: no compressed data at all.
  engine::ImageBuffer image;
  int began = 0;
  EXPECT_FALSE(ReadPcx(WriteTemp("empty.pcx", MakePcx(PcxHeader{}, {})), image, &began));
  EXPECT_EQ(began, 1);
}

TEST(PcxRead, CompressedLengthBeyondTheMappingSizeFails) {
  // A sparse file just over 4 GiB: the length is taken in 64 bits and refused.
  const std::string path = WriteTemp("huge.pcx", MakePcx(PcxHeader{}, {}));
  if (::truncate(path.c_str(), 0x100000000LL + 128 + 1) != 0) GTEST_SKIP() << "no sparse files here";
  engine::ImageBuffer image;
  int began = 0;
  EXPECT_FALSE(ReadPcx(path, image, &began));
  EXPECT_EQ(began, 1);
  std::remove(path.c_str());
}

TEST(PcxRead, DataEndingEarlyLoadsWithBlackPixels) {
  PcxHeader header;
  header.width = 2;
  header.height = 3;
  // Row 0 complete, row 1 only its red plane, row 2 nothing.
  const Bytes data{1, 2, 3, 4, 5, 6, 7, 8};
  engine::ImageBuffer image;
  ASSERT_TRUE(ReadPcx(WriteTemp("cut.pcx", MakePcx(header, data)), image));
  EXPECT_EQ(testsupport::ImageAsRgb(image),
            (Bytes{1, 3, 5, 2, 4, 6, 7, 0, 0, 8, 0, 0, 0, 0, 0, 0, 0, 0}));
}

TEST(PcxRead, ShortBytesPerLineAndOnePlaneLayoutStayInsideTheLine) {
  // Bytes per line 1 for a width of 4: the pixel copy reaches beyond the
  // decoded line; those pixels come out as zeros.
  PcxHeader narrow;
  narrow.width = 4;
  narrow.bytesPerLine = 1;
  engine::ImageBuffer image;
  ASSERT_TRUE(ReadPcx(WriteTemp("narrow.pcx", MakePcx(narrow, Bytes{9, 8, 7, 9, 8, 7})), image));
  const Bytes rgb = testsupport::ImageAsRgb(image);
  ASSERT_EQ(rgb.size(), 4u * 2u * 3u);
  EXPECT_EQ(rgb[0], 9);
  EXPECT_EQ(rgb[1], 8);
  EXPECT_EQ(rgb[2], 7);

  // One plane of 24 bits: accepted and decoded with the three-plane offsets.
  PcxHeader onePlane;
  onePlane.planes = 1;
  onePlane.bitsPerPlane = 24;
  onePlane.bytesPerLine = 6;
  const Bytes line{1, 2, 3, 4, 5, 6};
  Bytes data = line;
  data.insert(data.end(), line.begin(), line.end());
  ASSERT_TRUE(ReadPcx(WriteTemp("oneplane.pcx", MakePcx(onePlane, data)), image));
  EXPECT_EQ(testsupport::ImageAsRgb(image), (Bytes{1, 0, 0, 2, 0, 0, 1, 0, 0, 2, 0, 0}));
}

TEST(PcxRead, ReadImageWithoutBeginReadFails) {
  PcxCodec codec;
  EXPECT_EQ(codec.ReadImage(), 0);
  EXPECT_EQ(codec.Close(), 1);
}

TEST(PcxRead, CorpusRowsLoadAsTheManifestSays) { nativetest::CheckManifestRows({"pcx/"}, 15); }

// --- Command and command-line tool -----------------------------------------

TEST(ConvertToPcx, ResultCodes) {
  const std::string folder = testsupport::MakeTempSubdir("pcxcmd");
  const Bytes rgb = testsupport::PatternRgb(17, 9);
  const std::string bmp = testsupport::Join(folder, "in.bmp");
  ASSERT_TRUE(testsupport::WriteBytes(bmp, testsupport::MakeBmp(17, 9, rgb)));
  const std::string target = testsupport::Join(folder, "out.pcx");

  EXPECT_EQ(engine::ConvertToPcx(nullptr, target.c_str()), engine::ResultBadArguments);
  EXPECT_EQ(engine::ConvertToPcx(bmp.c_str(), nullptr), engine::ResultBadArguments);
  EXPECT_EQ(engine::ConvertToPcx(testsupport::Join(folder, "none.bmp").c_str(), target.c_str()),
            engine::ResultFileMissing);
  const std::string text = testsupport::Join(folder, "text.jpg");
  ASSERT_TRUE(testsupport::WriteBytes(text, Bytes{'h', 'i'}));
  EXPECT_EQ(engine::ConvertToPcx(text.c_str(), target.c_str()), engine::ResultUnreadable);
  EXPECT_EQ(engine::ConvertToPcx(bmp.c_str(), testsupport::Join(folder, "no/x.pcx").c_str()),
            engine::ResultWriteFailed);
  EXPECT_EQ(engine::ConvertToPcx(bmp.c_str(), ""), engine::ResultWriteFailed);
  EXPECT_FALSE(testsupport::FileExistsOnDisk(target));

  ASSERT_EQ(engine::ConvertToPcx(bmp.c_str(), target.c_str()), engine::ResultOk);
  EXPECT_TRUE(testsupport::ScratchFiles().empty());
  engine::ImageBuffer back;
  ASSERT_TRUE(ReadPcx(target, back));
  EXPECT_EQ(testsupport::ImageAsRgb(back), rgb);
}

TEST(ConvertToPcx, PaletteSourceIsExpandedTo24Bits) {
  PcxHeader header;
  header.planes = 1;
  Bytes palette(768, 0);
  palette[3 * 5] = 200;
  palette[3 * 5 + 1] = 100;
  palette[3 * 5 + 2] = 50;
  const std::string source = WriteTemp("pal.pcx", MakePcx(header, Bytes{5, 5, 5, 5}, palette));
  const std::string target = source + ".out.pcx";
  ASSERT_EQ(engine::ConvertToPcx(source.c_str(), target.c_str()), engine::ResultOk);
  engine::ImageBuffer back;
  ASSERT_TRUE(ReadPcx(target, back));
  EXPECT_EQ(back.GetBitsPerPixel(), 24u);
  EXPECT_EQ(testsupport::ImageAsRgb(back), (Bytes{200, 100, 50, 200, 100, 50, 200, 100, 50, 200, 100, 50}));
}

TEST(ConvertToPcx, CommandLineTool) {
  const std::string folder = testsupport::MakeTempSubdir("pcxcli");
  const std::string bmp = testsupport::Join(folder, "in.bmp");
  ASSERT_TRUE(testsupport::WriteBytes(bmp, testsupport::MakeBmp(5, 4, testsupport::PatternRgb(5, 4))));
  const std::string tool = testsupport::Quote(testsupport::ConvertTool());
  const std::string target = testsupport::Join(folder, "out.pcx");
  EXPECT_EQ(testsupport::RunCommand(tool + " pcx " + testsupport::Quote(bmp) + " " + testsupport::Quote(target)), 0);
  EXPECT_EQ(testsupport::ReadBytes(target).at(0), 0x0A);
  EXPECT_EQ(testsupport::RunCommand(tool + " pcx " + testsupport::Quote(folder + "/none") + " x 2>/dev/null"), 1);
  EXPECT_EQ(testsupport::RunCommand(tool + " pcx " + testsupport::Quote(bmp) + " " +
                                    testsupport::Quote(folder + "/no/x.pcx") + " 2>/dev/null"),
            4);
}

}  // namespace

namespace {

// A fuzzer find: 899 bytes declaring a picture 65368 pixels wide. It loads (its
// data ends early), and the rows the data never reached are black.
TEST(PcxRead, TinyFileDeclaringAHugePictureLoadsWithBlackRows) {
  const std::string path = testsupport::SourceDir() + "/tests/data/hostile/pcx-data-ends-early-wide.pcx";
  engine::ImageBuffer image;
  ASSERT_EQ(engine::LoadAnyImage(path.c_str(), image), engine::ResultOk);
  EXPECT_EQ(image.GetWidth(), 65368);
  EXPECT_EQ(image.GetHeight(), 128);
  const std::uint8_t* last = image.GetRow(127);
  EXPECT_TRUE(std::all_of(last, last + image.GetRowBytes(), [](std::uint8_t b) { return b == 0; }));
}

}  // namespace
