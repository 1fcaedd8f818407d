#include "codecs/native/PnmEncoder.h"

#include <gtest/gtest.h>

#include <sstream>

#include "engine/commands/ConversionCommands.h"
#include "tests/codecs/native/NativeTestHelpers.h"
#include "tests/support/TestSupport.h"

namespace {

using codecs::PnmEncoder;
using testsupport::Bytes;

const std::string kComment = "\n#Created by Plenwick 1.0\n";

std::string Text(const Bytes& bytes) { return std::string(bytes.begin(), bytes.end()); }

std::string TempPath(const std::string& name) {
  return testsupport::Join(testsupport::MakeTempSubdir("pnm"), name);
}

bool WritePnm(const std::string& path, engine::ImageBuffer& image, int mode, int binary) {
  PnmEncoder encoder;
  return encoder.BeginWrite(path.c_str(), &image, mode, binary) == 1 && encoder.WriteImage() == 1;
}

// Decimal samples after the three header numbers of a plain file, comments skipped.
std::vector<int> PlainSamples(const std::string& text) {
  std::vector<int> numbers;
  std::istringstream in(text.substr(2));
  std::string token;
  while (in >> token) {
    if (token[0] == '#') {
      std::string rest;
      std::getline(in, rest);
      continue;
    }
    numbers.push_back(std::stoi(token));
  }
  if (numbers.size() < 3) return {};
  return std::vector<int>(numbers.begin() + 3, numbers.end());
}

void MakePaletteImage(engine::ImageBuffer& image, int width, int height, int paletteCount) {
  ASSERT_EQ(image.Create(width, height, 8, paletteCount), 1);
  for (int i = 0; i < paletteCount; ++i) {
    image.GetPalette()[i].red = static_cast<std::uint8_t>(i);
    image.GetPalette()[i].green = static_cast<std::uint8_t>(255 - i);
    image.GetPalette()[i].blue = static_cast<std::uint8_t>(i / 2);
  }
  for (std::uint32_t i = 0; i < image.GetPixelBytes(); ++i) {
    image.GetPixels()[i] = static_cast<std::uint8_t>((i * 7) % static_cast<std::uint32_t>(paletteCount));
  }
}

int Grey(int r, int g, int b) { return (306 * r + 601 * g + 117 * b) / 1024; }

// --- Exact bytes -----------------------------------------------------------

TEST(PnmHeader, BinaryAndTextFormsOfATwoByOneImage) {
  engine::ImageBuffer image;
  testsupport::FillRgbImage(image, 2, 1, {1, 22, 133, 200, 0, 9});
  const std::string raw = TempPath("a.ppm");
  ASSERT_TRUE(WritePnm(raw, image, 2, 1));
  EXPECT_EQ(testsupport::ReadBytes(raw), [] {
    Bytes expected;
    const std::string head = "P6" + kComment + "2 1 255\n";
    expected.assign(head.begin(), head.end());
    for (const int v : {1, 22, 133, 200, 0, 9}) expected.push_back(static_cast<std::uint8_t>(v));
    return expected;
  }());

  const std::string plain = TempPath("a.ppm");
  ASSERT_TRUE(WritePnm(plain, image, 2, 0));
  EXPECT_EQ(Text(testsupport::ReadBytes(plain)), "P3" + kComment + "2 1 255\n1 22 133 200 0 9 ");

  const std::string grey = TempPath("a.pgm");
  ASSERT_TRUE(WritePnm(grey, image, 1, 1));
  const std::string greyHead = "P5" + kComment + "2 1 255\n";
  const std::string greyText = Text(testsupport::ReadBytes(grey));
  EXPECT_EQ(greyText.substr(0, greyHead.size()), greyHead);
  EXPECT_EQ(greyText.size(), greyHead.size() + 2);
  EXPECT_EQ(static_cast<std::uint8_t>(greyText[greyHead.size()]), Grey(1, 22, 133));
}

TEST(PnmText, ColourLineBreaksFollowEveryFifthPixelOfTheFile) {
  engine::ImageBuffer five;
  testsupport::FillRgbImage(five, 5, 1, Bytes(15, 7));
  const std::string a = TempPath("five.ppm");
  ASSERT_TRUE(WritePnm(a, five, 2, 0));
  const std::string head = "P3" + kComment + "5 1 255\n";
  EXPECT_EQ(Text(testsupport::ReadBytes(a)), head + "7 7 7 7 7 7 7 7 7 7 7 7 7 7 7\n");

  // 6 x 2: breaks after pixels 5 and 10, none at the row end (pixel 6).
  engine::ImageBuffer twelve;
  Bytes rgb;
  for (int p = 0; p < 12; ++p) rgb.insert(rgb.end(), {static_cast<std::uint8_t>(p), 0, 255});
  testsupport::FillRgbImage(twelve, 6, 2, rgb);
  const std::string b = TempPath("twelve.ppm");
  ASSERT_TRUE(WritePnm(b, twelve, 2, 2));  // any flag but 1 is text
  std::string body;
  for (int p = 1; p <= 12; ++p) body += std::to_string(p - 1) + " 0 255" + (p % 5 == 0 ? "\n" : " ");
  EXPECT_EQ(Text(testsupport::ReadBytes(b)), "P3" + kComment + "6 2 255\n" + body);
}

TEST(PnmText, GreyLineBreaksFollowEveryThirtySecondSample) {
  engine::ImageBuffer image;
  ASSERT_EQ(image.Create(8, 5, 8, 0), 1);  // 40 samples over 5 rows
  for (int i = 0; i < 40; ++i) image.GetPixels()[i] = static_cast<std::uint8_t>(i * 6);
  const std::string path = TempPath("g.pgm");
  ASSERT_TRUE(WritePnm(path, image, 1, 0));
  std::string body;
  for (int i = 1; i <= 40; ++i) body += std::to_string((i - 1) * 6) + (i == 32 ? "\n" : " ");
  EXPECT_EQ(Text(testsupport::ReadBytes(path)), "P2" + kComment + "8 5 255\n" + body);
}

TEST(PnmGrey, PaletteImagesBecomeGreyLevelsExceptOneEntryInText) {
  engine::ImageBuffer image;
  MakePaletteImage(image, 4, 2, 256);
  const std::string raw = TempPath("p.pgm");
  const std::string plain = TempPath("p.pgm");
  ASSERT_TRUE(WritePnm(raw, image, 1, 1));
  ASSERT_TRUE(WritePnm(plain, image, 1, 0));
  std::vector<int> expected;
  for (int i = 0; i < 8; ++i) {
    const int index = image.GetPixels()[i];
    expected.push_back(Grey(index, 255 - index, index / 2));
  }
  const Bytes rawBytes = testsupport::ReadBytes(raw);
  ASSERT_GE(rawBytes.size(), 8u);
  EXPECT_EQ(std::vector<int>(rawBytes.end() - 8, rawBytes.end()), expected);
  EXPECT_EQ(PlainSamples(Text(testsupport::ReadBytes(plain))), expected);

  // One palette entry: text keeps the index values, binary converts them.
  engine::ImageBuffer single;
  ASSERT_EQ(single.Create(3, 1, 8, 1), 1);
  single.GetPalette()[0] = engine::PaletteEntry{90, 90, 90, 0, 0};
  const Bytes indices{0, 5, 200};
  std::copy(indices.begin(), indices.end(), single.GetPixels());
  ASSERT_TRUE(WritePnm(plain, single, 1, 0));
  EXPECT_EQ(PlainSamples(Text(testsupport::ReadBytes(plain))), (std::vector<int>{0, 5, 200}));
  ASSERT_TRUE(WritePnm(raw, single, 1, 1));
  const Bytes converted = testsupport::ReadBytes(raw);
  EXPECT_EQ(Bytes(converted.end() - 3, converted.end()), (Bytes{90, 0, 0}));  // entries past the one held are black
}

TEST(PnmWriteNumber, FormatsOneNumberAndReportsAFailedWrite) {
  const std::string path = TempPath("n.txt");
  std::FILE* out = std::fopen(path.c_str(), "wb");
  ASSERT_NE(out, nullptr);
  EXPECT_EQ(PnmEncoder::WriteNumber(out, 123, 0), 0);
  EXPECT_EQ(PnmEncoder::WriteNumber(out, -7, 1), 0);
  std::fclose(out);
  EXPECT_EQ(Text(testsupport::ReadBytes(path)), "123 -7\n");
  std::FILE* readOnly = std::fopen(path.c_str(), "rb");
  ASSERT_NE(readOnly, nullptr);
  EXPECT_EQ(PnmEncoder::WriteNumber(readOnly, 1, 0), -1);
  std::fclose(readOnly);
}

// --- Independent readers ---------------------------------------------------

TEST(PnmOracle, NetpbmAndImageMagickReadEveryForm) {
  const int width = 37;
  const int height = 23;
  const Bytes rgb = testsupport::PatternRgb(width, height, 5);
  engine::ImageBuffer image;
  testsupport::FillRgbImage(image, width, height, rgb);
  std::vector<int> greys;
  std::vector<int> colours(rgb.begin(), rgb.end());
  for (std::size_t i = 0; i < rgb.size(); i += 3) greys.push_back(Grey(rgb[i], rgb[i + 1], rgb[i + 2]));

  struct Form {
    int mode;
    int binary;
    const char* pamfile;
  };
  for (const Form form : {Form{2, 1, "PPM raw"}, Form{2, 0, "PPM plain"}, Form{1, 1, "PGM raw"},
                          Form{1, 0, "PGM plain"}}) {
    SCOPED_TRACE(form.pamfile);
    const std::string path = TempPath("o.pnm");
    ASSERT_TRUE(WritePnm(path, image, form.mode, form.binary));
    const std::vector<int>& expected = form.mode == 2 ? colours : greys;

    std::string described;
    if (testsupport::RunCommand("pamfile " + testsupport::Quote(path) + " 2>&1", &described) != 0) {
      GTEST_SKIP() << "netpbm not installed";
    }
    EXPECT_NE(described.find(std::string(form.pamfile) + ", 37 by 23  maxval 255"), std::string::npos) << described;
    std::string plain;
    ASSERT_EQ(testsupport::RunCommand("pnmtoplainpnm " + testsupport::Quote(path), &plain), 0);
    EXPECT_EQ(PlainSamples(plain), expected);

    int w = 0;
    int h = 0;
    Bytes decoded;
    if (testsupport::ImageMagick().empty()) GTEST_SKIP() << "ImageMagick not installed";
    ASSERT_TRUE(testsupport::DecodeWithImageMagick(path, w, h, decoded));
    ASSERT_EQ(decoded.size(), rgb.size());
    for (std::size_t i = 0; i < decoded.size(); ++i) {
      const int want = form.mode == 2 ? rgb[i] : greys[i / 3];
      ASSERT_EQ(decoded[i], want) << "sample " << i;
    }
  }
}

// --- Failures --------------------------------------------------------------

TEST(PnmFailure, OtherModesCreateNoFile) {
  engine::ImageBuffer image;
  testsupport::FillRgbImage(image, 2, 2, Bytes(12, 3));
  for (const int mode : {0, 3, -1}) {
    const std::string path = TempPath("m.pbm");
    PnmEncoder encoder;
    EXPECT_EQ(encoder.BeginWrite(path.c_str(), &image, mode, 1), 0);
    EXPECT_FALSE(testsupport::FileExistsOnDisk(path));
    EXPECT_EQ(encoder.WriteImage(), 0);
  }
}

TEST(PnmFailure, FullDiskFailsInTextAndBinaryModes) {
  engine::ImageBuffer image;
  testsupport::FillRgbImage(image, 120, 80, testsupport::PatternRgb(120, 80));
  for (const int binary : {0, 1}) {
    for (const int mode : {1, 2}) {
      SCOPED_TRACE(std::to_string(mode) + (binary == 1 ? " raw" : " text"));
      const std::string path = TempPath("full.pnm");
      // Room for the grey conversion's 9600-byte scratch file, not for any of
      // the four files (the smallest, P5, needs 9637 bytes).
      const rlim_t limit = 9620;
      EXPECT_EQ(nativetest::RunWithFileSizeLimit(limit, [&] { return WritePnm(path, image, mode, binary) ? 1 : 0; }),
                0);
      EXPECT_FALSE(testsupport::FileExistsOnDisk(path));
      EXPECT_EQ(nativetest::RunWithFileSizeLimit(1 << 20, [&] { return WritePnm(path, image, mode, binary) ? 1 : 0; }),
                1);
    }
  }
}

// --- Commands and the command-line tool ------------------------------------

TEST(ConvertToPnm, MagicFollowsModeAndBinaryFlag) {
  const std::string folder = testsupport::MakeTempSubdir("pnmcmd");
  const std::string bmp = testsupport::Join(folder, "in.bmp");
  ASSERT_TRUE(testsupport::WriteBytes(bmp, testsupport::MakeBmp(3, 2, testsupport::PatternRgb(3, 2))));
  const std::string target = testsupport::Join(folder, "out.pnm");
  struct Case {
    int (*command)(const char*, const char*, int);
    int binary;
    const char* magic;
  };
  for (const Case c : {Case{engine::ConvertToPpm, 1, "P6"}, Case{engine::ConvertToPpm, 0, "P3"},
                       Case{engine::ConvertToPpm, 2, "P3"}, Case{engine::ConvertToPgm, 1, "P5"},
                       Case{engine::ConvertToPgm, 0, "P2"}}) {
    SCOPED_TRACE(c.magic);
    ASSERT_EQ(c.command(bmp.c_str(), target.c_str(), c.binary), engine::ResultOk);
    EXPECT_EQ(Text(testsupport::ReadBytes(target)).substr(0, 2), c.magic);
    EXPECT_EQ(c.command(nullptr, target.c_str(), c.binary), engine::ResultBadArguments);
    EXPECT_EQ(c.command(bmp.c_str(), nullptr, c.binary), engine::ResultBadArguments);
    EXPECT_EQ(c.command((folder + "/none.bmp").c_str(), target.c_str(), c.binary), engine::ResultFileMissing);
    EXPECT_EQ(c.command(bmp.c_str(), (folder + "/no/x.pnm").c_str(), c.binary), engine::ResultWriteFailed);
  }
  EXPECT_EQ(engine::ConvertToPnm(bmp.c_str(), target.c_str(), 1, 0), engine::ResultWriteFailed);
  const std::string text = testsupport::Join(folder, "t.txt");
  ASSERT_TRUE(testsupport::WriteBytes(text, Bytes{'n', 'o'}));
  EXPECT_EQ(engine::ConvertToPgm(text.c_str(), target.c_str(), 1), engine::ResultUnreadable);
  EXPECT_TRUE(testsupport::ScratchFiles().empty());
}

TEST(ConvertToPnm, CommandLineToolWithPlain) {
  const std::string folder = testsupport::MakeTempSubdir("pnmcli");
  const std::string bmp = testsupport::Join(folder, "in.bmp");
  ASSERT_TRUE(testsupport::WriteBytes(bmp, testsupport::MakeBmp(3, 2, testsupport::PatternRgb(3, 2))));
  const std::string tool = testsupport::Quote(testsupport::ConvertTool());
  const std::string target = testsupport::Join(folder, "out.pnm");
  const std::string paths = " " + testsupport::Quote(bmp) + " " + testsupport::Quote(target);
  for (const auto& [arguments, magic] : std::vector<std::pair<std::string, std::string>>{
           {"ppm" + paths, "P6"}, {"ppm" + paths + " --plain", "P3"}, {"pgm" + paths, "P5"},
           {"pgm" + paths + " --plain", "P2"}}) {
    SCOPED_TRACE(arguments);
    ASSERT_EQ(testsupport::RunCommand(tool + " " + arguments), 0);
    EXPECT_EQ(Text(testsupport::ReadBytes(target)).substr(0, 2), magic);
  }
  EXPECT_EQ(testsupport::RunCommand(tool + " pgm " + testsupport::Quote(bmp) + " " +
                                    testsupport::Quote(folder + "/no/x.pgm") + " 2>/dev/null"),
            4);
}

}  // namespace
