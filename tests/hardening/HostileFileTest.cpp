// Every file of tests/data/hostile through the loader chain and through every
// command: the result its manifest row promises (any file the manifest does
// not list, such as a fuzzer's crash input, must end as 1 or -3), nothing
// written for an unreadable source, and no scratch file left.
#include <gtest/gtest.h>

#include <jpeglib.h>
#include <png.h>
#ifndef _WIN32
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <csetjmp>
#include <cstdio>
#include <fstream>
#include <map>
#include <sstream>

#include "tests/hardening/HardeningSupport.h"
#include "tests/support/TestSupport.h"

namespace {

using testsupport::Bytes;
using testsupport::Join;

std::string HostileDir() { return testsupport::SourceDir() + "/tests/data/hostile"; }

struct Expectation {
  bool listed = false;
  int result = 0;
  std::string why;
};

std::map<std::string, Expectation> ReadManifest() {
  std::map<std::string, Expectation> rows;
  std::ifstream in(HostileDir() + "/EXPECTED.tsv");
  std::string line;
  std::getline(in, line);  // header
  while (std::getline(in, line)) {
    std::stringstream split(line);
    std::string name;
    std::string expected;
    std::string why;
    std::getline(split, name, '\t');
    std::getline(split, expected, '\t');
    std::getline(split, why);
    Expectation row;
    row.listed = true;
    row.why = why;
    if (expected == "1:TIFF") {
      row.result = hardening::HaveTiff() ? engine::ResultOk : engine::ResultUnreadable;
    } else {
      row.result = std::stoi(expected);
    }
    rows[name] = row;
  }
  return rows;
}

// The picture files of the folder: everything but the manifest and the script.
std::vector<std::string> HostileFiles() {
  std::vector<std::string> names;
  for (const std::string& name : testsupport::ListNames(HostileDir())) {
    if (name == "EXPECTED.tsv" || name == "make-hostile.py") continue;
    names.push_back(name);
  }
  return names;
}

// Loads path and runs every command on it; returns the load result. Checks the
// commands agree with the load, that an unreadable source gets no target, and
// that no scratch file stays behind after any step.
int CheckEverywhere(const std::string& path, const std::string& label, std::string* readerName = nullptr) {
  engine::ImageBuffer image;
  const char* reader = nullptr;
  const int loaded = engine::LoadAnyImage(path.c_str(), image, &reader);
  image.Release();
  if (readerName != nullptr) *readerName = reader != nullptr ? reader : "";
  EXPECT_TRUE(testsupport::ScratchFiles().empty()) << label << ": scratch file after the load";

  const std::string out = testsupport::MakeTempSubdir("out");
  for (const hardening::Command& command : hardening::Commands()) {
    const std::string target = Join(out, std::string("target.") + command.name);
    const int result = command.run(path.c_str(), target.c_str());
    EXPECT_EQ(result, hardening::CommandResultFor(command, loaded)) << label << " through " << command.name;
    if (result == engine::ResultUnreadable || result == engine::ResultFileMissing) {
      EXPECT_FALSE(testsupport::FileExistsOnDisk(target)) << label << ": " << command.name << " wrote a target";
    } else if (result == engine::ResultOk) {
      EXPECT_FALSE(testsupport::ReadBytes(target).empty()) << label << ": " << command.name << " target empty";
    }
    EXPECT_TRUE(testsupport::ScratchFiles().empty()) << label << ": scratch file after " << command.name;
    std::remove(target.c_str());
  }
  return loaded;
}

// The files of one prefix ("bmp-", ...) each end as their manifest row says.
void CheckPrefix(const std::string& prefix) {
  const auto manifest = ReadManifest();
  int checked = 0;
  for (const std::string& name : HostileFiles()) {
    if (name.rfind(prefix, 0) != 0) continue;
    const auto row = manifest.find(name);
    if (row == manifest.end()) continue;  // the extra files have a test of their own
    const int loaded = CheckEverywhere(Join(HostileDir(), name), name);
    EXPECT_EQ(loaded, row->second.result) << name << ": " << row->second.why;
    ++checked;
  }
  EXPECT_GT(checked, 0) << "no listed file starts with " << prefix;
  std::printf("%s*: %d files\n", prefix.c_str(), checked);
}

TEST(HostileFiles, ManifestAndFolderAgree) {
  const auto manifest = ReadManifest();
  ASSERT_GT(manifest.size(), 150u) << "EXPECTED.tsv missing or short in " << HostileDir();
  const auto files = HostileFiles();
  for (const auto& [name, row] : manifest) {
    EXPECT_TRUE(std::find(files.begin(), files.end(), name) != files.end()) << name << " is listed but missing";
  }
}

// The committed bytes are what the committed script makes.
TEST(HostileFiles, ScriptRebuildsTheCommittedFiles) {
  if (testsupport::Python().empty()) GTEST_SKIP() << "python3 is not installed";
  const std::string dir = testsupport::MakeTempSubdir("rebuilt");
  ASSERT_EQ(testsupport::RunCommand(testsupport::Quote(testsupport::Python()) + " " +
                                    testsupport::Quote(HostileDir() + "/make-hostile.py") + " " +
                                    testsupport::Quote(dir) + " >/dev/null"),
            0);
  for (const auto& [name, row] : ReadManifest()) {
    EXPECT_EQ(testsupport::ReadBytes(Join(dir, name)), testsupport::ReadBytes(Join(HostileDir(), name))) << name;
  }
  EXPECT_EQ(testsupport::ReadBytes(Join(dir, "EXPECTED.tsv")), testsupport::ReadBytes(Join(HostileDir(), "EXPECTED.tsv")));
}

TEST(HostileFiles, Bmp) { CheckPrefix("bmp-"); }
TEST(HostileFiles, Pcx) { CheckPrefix("pcx-"); }
TEST(HostileFiles, Png) { CheckPrefix("png-"); }
TEST(HostileFiles, Jpeg) { CheckPrefix("jpeg-"); }
TEST(HostileFiles, Tiff) { CheckPrefix("tiff-"); }
TEST(HostileFiles, WholeChain) { CheckPrefix("chain-"); }

// The 16x8 pictures under hostile Exif blocks: only a well-formed orientation
// 6 ("-valid-") turns one, to 8x16; the rest load as stored.
TEST(HostileFiles, OnlyWellFormedExifBlocksTurnThePicture) {
  int checked = 0;
  for (const std::string& name : HostileFiles()) {
    if (name.rfind("jpeg-exif-", 0) != 0) continue;
    engine::ImageBuffer image;
    ASSERT_EQ(engine::LoadAnyImage(Join(HostileDir(), name).c_str(), image), engine::ResultOk) << name;
    const bool turned = name.find("-valid-") != std::string::npos;
    EXPECT_EQ(image.GetWidth(), turned ? 8 : 16) << name;
    EXPECT_EQ(image.GetHeight(), turned ? 16 : 8) << name;
    ++checked;
  }
  EXPECT_GE(checked, 15);
}

// Inputs added without a manifest row (the fuzzers' findings): no crash, 1 or
// -3, no scratch file.
TEST(HostileFiles, UnlistedFilesEndAsDecodedOrUnreadable) {
  const auto manifest = ReadManifest();
  int checked = 0;
  for (const std::string& name : HostileFiles()) {
    if (manifest.count(name) != 0) continue;
    const int loaded = CheckEverywhere(Join(HostileDir(), name), name);
    EXPECT_TRUE(loaded == engine::ResultOk || loaded == engine::ResultUnreadable) << name << ": " << loaded;
    ++checked;
  }
  std::printf("%d unlisted files\n", checked);
}

// The process's peak virtual size in KiB: it counts allocations the library
// never touches, which the resident size would not show.
#ifndef _WIN32
long PeakVirtualKib() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("VmPeak:", 0) == 0) return std::stol(line.substr(7));
  }
  return -1;
}
#endif

// A file of a few hundred bytes must not make a library reserve gigabytes on
// the header's word (a progressive JPEG's coefficient buffers, a PNG text
// chunk's claimed length). Each load runs in a child, whose peak is its own.
TEST(HostileFiles, SmallFilesAskForLittleMemory) {
#ifdef _WIN32
  GTEST_SKIP() << "needs fork and /proc/self/status, which Windows lacks";
#else
  constexpr long kAllowedGrowthKib = 256 * 1024;
  int checked = 0;
  for (const std::string& name : HostileFiles()) {
    const std::string path = Join(HostileDir(), name);
    std::fflush(nullptr);
    const pid_t child = ::fork();
    if (child == 0) {
      const long before = PeakVirtualKib();
      engine::ImageBuffer image;
      (void)engine::LoadAnyImage(path.c_str(), image);
      image.Release();
      const long after = PeakVirtualKib();
      ::_exit(before < 0 || after - before > kAllowedGrowthKib ? 1 : 0);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << name << " made the load reserve over 256 MiB";
    ++checked;
  }
  EXPECT_GT(checked, 150);
#endif
}

// --- Files over 1 MiB that no reader takes: made here, not committed ----------

Bytes Noise(std::size_t count, std::uint32_t seed) {
  Bytes bytes(count);
  std::uint32_t state = seed * 2654435761u + 7;
  for (auto& b : bytes) {
    state = state * 1664525u + 1013904223u;
    b = static_cast<std::uint8_t>(state >> 24);
  }
  return bytes;
}

// A 16-bit RGB PNG of noise, through libpng itself.
bool Write16BitPng(const std::string& path, int width, int height) {
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) return false;
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  const Bytes pixels = Noise(static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 6, 3);
  if (setjmp(png_jmpbuf(png)) != 0) {
    png_destroy_write_struct(&png, &info);
    std::fclose(file);
    return false;
  }
  png_init_io(png, file);
  png_set_IHDR(png, info, static_cast<png_uint_32>(width), static_cast<png_uint_32>(height), 16, PNG_COLOR_TYPE_RGB,
               PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_write_info(png, info);
  for (int y = 0; y < height; ++y) {
    png_write_row(png, pixels.data() + static_cast<std::size_t>(y) * static_cast<std::size_t>(width) * 6);
  }
  png_write_end(png, info);
  png_destroy_write_struct(&png, &info);
  return std::fclose(file) == 0;
}

// A four-component (CMYK) JPEG of noise, through libjpeg itself.
bool WriteCmykJpeg(const std::string& path, int width, int height) {
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) return false;
  jpeg_compress_struct compress{};
  jpeg_error_mgr errors{};
  compress.err = jpeg_std_error(&errors);
  jpeg_create_compress(&compress);
  jpeg_stdio_dest(&compress, file);
  compress.image_width = static_cast<JDIMENSION>(width);
  compress.image_height = static_cast<JDIMENSION>(height);
  compress.input_components = 4;
  compress.in_color_space = JCS_CMYK;
  jpeg_set_defaults(&compress);
  jpeg_set_quality(&compress, 100, TRUE);
  jpeg_start_compress(&compress, TRUE);
  Bytes row = Noise(static_cast<std::size_t>(width) * 4, 5);
  for (int y = 0; y < height; ++y) {
    row = Noise(row.size(), static_cast<std::uint32_t>(y + 9));
    JSAMPROW pointer = row.data();
    jpeg_write_scanlines(&compress, &pointer, 1);
  }
  jpeg_finish_compress(&compress);
  jpeg_destroy_compress(&compress);
  return std::fclose(file) == 0;
}

// An uncompressed 8-bit bitmap with a grey palette.
Bytes EightBitBmp(int width, int height) {
  const std::size_t row = (static_cast<std::size_t>(width) + 3) / 4 * 4;
  const std::size_t offset = 14 + 40 + 1024;
  Bytes file(offset + row * static_cast<std::size_t>(height), 0);
  auto put = [&](std::size_t at, std::uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) file[at + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(value >> (8 * i));
  };
  file[0] = 'B';
  file[1] = 'M';
  put(2, static_cast<std::uint32_t>(file.size()), 4);
  put(10, static_cast<std::uint32_t>(offset), 4);
  put(14, 40, 4);
  put(18, static_cast<std::uint32_t>(width), 4);
  put(22, static_cast<std::uint32_t>(height), 4);
  put(26, 1, 2);
  put(28, 8, 2);
  for (std::uint32_t i = 0; i < 256; ++i) put(54 + 4 * i, i * 0x010101u, 4);
  const Bytes pixels = Noise(file.size() - offset, 7);
  std::copy(pixels.begin(), pixels.end(), file.begin() + static_cast<std::ptrdiff_t>(offset));
  return file;
}

TEST(HostileFiles, LargeFilesNoReaderTakesAreUnreadableNotPhotoCd) {
  const std::string dir = testsupport::MakeTempSubdir("large");
  struct Large {
    std::string name;
    std::string why;
  };
  const std::vector<Large> files = {
      {"png-16bit-large.png", "16-bit PNG"},
      {"jpeg-cmyk-large.jpg", "CMYK JPEG"},
      {"bmp-8bit-large.bmp", "8-bit BMP"},
      {"chain-text-large.txt", "text"},
      {"chain-ppm-large.ppm", "PPM"},
  };
  ASSERT_TRUE(Write16BitPng(Join(dir, files[0].name), 512, 400));
  ASSERT_TRUE(WriteCmykJpeg(Join(dir, files[1].name), 640, 640));
  ASSERT_TRUE(testsupport::WriteBytes(Join(dir, files[2].name), EightBitBmp(1100, 1000)));
  std::string text;
  while (text.size() < 1100000) text += "No picture here, only words that run on and on.\n";
  ASSERT_TRUE(testsupport::WriteBytes(Join(dir, files[3].name), Bytes(text.begin(), text.end())));
  Bytes ppm{'P', '6', '\n', '7', '0', '0', ' ', '7', '0', '0', '\n', '2', '5', '5', '\n'};
  const Bytes samples = Noise(700 * 700 * 3, 11);
  ppm.insert(ppm.end(), samples.begin(), samples.end());
  ASSERT_TRUE(testsupport::WriteBytes(Join(dir, files[4].name), ppm));

  for (const Large& file : files) {
    const std::string path = Join(dir, file.name);
    ASSERT_GE(testsupport::ReadBytes(path).size(), 1048576u) << file.why << " is not over 1 MiB";
    std::string reader;
    EXPECT_EQ(CheckEverywhere(path, file.name, &reader), engine::ResultUnreadable) << file.why;
    EXPECT_NE(reader, "PCD") << file.why << " was taken for a Photo CD picture";
  }
}

// The Photo CD reader takes a file of 1 MiB or more that carries its
// signature, and one byte less is unreadable.
TEST(HostileFiles, PhotoCdSizeBoundary) {
  const std::string dir = testsupport::MakeTempSubdir("pcd");
  Bytes file = Noise(1048576, 13);
  const char signature[] = "PCD_IPI";
  std::copy(signature, signature + 7, file.begin() + 2048);
  ASSERT_TRUE(testsupport::WriteBytes(Join(dir, "pcd-exactly-1mib.pcd"), file));
  file.pop_back();
  ASSERT_TRUE(testsupport::WriteBytes(Join(dir, "pcd-one-byte-short.pcd"), file));
  std::string reader;
  EXPECT_EQ(CheckEverywhere(Join(dir, "pcd-exactly-1mib.pcd"), "pcd-exactly-1mib.pcd", &reader), engine::ResultOk);
  EXPECT_EQ(reader, "PCD");
  EXPECT_EQ(CheckEverywhere(Join(dir, "pcd-one-byte-short.pcd"), "pcd-one-byte-short.pcd"),
            engine::ResultUnreadable);
}

TEST(HostileFiles, DirectoryAndWildcardSources) {
  const std::string dir = testsupport::MakeTempSubdir("folder");
  ASSERT_TRUE(testsupport::WriteBytes(Join(dir, "picture.bmp"), testsupport::ReadBytes(Join(HostileDir(), "bmp-valid-base.bmp"))));
  EXPECT_EQ(CheckEverywhere(dir, "a directory"), engine::ResultUnreadable);
  // Find-first finds nothing for a path ending in a separator.
  EXPECT_EQ(CheckEverywhere(dir + "/", "a directory with a separator"), engine::ResultFileMissing);
  EXPECT_EQ(CheckEverywhere(Join(dir, "*.bmp"), "a wildcard matching a bitmap"), engine::ResultUnreadable);
  EXPECT_EQ(CheckEverywhere(Join(dir, "pict?re.bmp"), "a ? wildcard matching a bitmap"), engine::ResultUnreadable);
  EXPECT_EQ(CheckEverywhere(Join(dir, "*.png"), "a wildcard matching nothing"), engine::ResultFileMissing);
  // The real file still converts, so the refusals above are about the path.
  EXPECT_EQ(CheckEverywhere(Join(dir, "picture.bmp"), "the bitmap itself"), engine::ResultOk);
}

}  // namespace
