// Helpers shared by every test program: a private temporary folder per test
// process (TMPDIR points into it, so scratch files land there and are counted),
// whole-file bytes, hand-made pictures and the oracles' locations.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "engine/core/ImageBuffer.h"

// Tests that run a body in a child process with a capped file size (fork and
// RLIMIT_FSIZE, a full disk without touching a device) have no counterpart on
// Windows: they skip there and say so.
#ifdef _WIN32
#define PICTOMILL_SKIP_WITHOUT_FORK() GTEST_SKIP() << "needs fork and RLIMIT_FSIZE, which Windows lacks"
#else
#define PICTOMILL_SKIP_WITHOUT_FORK() static_cast<void>(0)
#endif

namespace testsupport {

using Bytes = std::vector<std::uint8_t>;

// The process's private folder (also $TMPDIR for the code under test).
const std::string& PrivateDir();
// A fresh, empty sub-folder of the private folder.
std::string MakeTempSubdir(const std::string& name);
// Names of the "ORBCLASS*.tmp" files in a folder (the private folder by default).
std::vector<std::string> ScratchFiles(const std::string& folder = PrivateDir());

// The variable the system's temporary directory follows.
#ifdef _WIN32
inline constexpr const char* kTempVariable = "TMP";
#else
inline constexpr const char* kTempVariable = "TMPDIR";
#endif

// Paths in tests are UTF-8, joined with the system's separator.
std::filesystem::path FsPath(const std::string& utf8);
bool MakeDirectory(const std::string& path);
// The names in a folder, sorted ("." and ".." left out).
std::vector<std::string> ListNames(const std::string& folder);
void RemoveAll(const std::string& path);
void RemoveFilesIn(const std::string& folder);
std::string GetEnvironmentUtf8(const char* name);
void SetEnvironment(const char* name, const std::string& utf8);

bool WriteBytes(const std::string& path, const Bytes& bytes);
Bytes ReadBytes(const std::string& path);
bool FileExistsOnDisk(const std::string& path);
std::string Join(const std::string& folder, const std::string& name);

// Points the temporary directory (TMPDIR; TMP on Windows) somewhere else for one scope (an unusable folder, say).
class TmpdirOverride {
 public:
  explicit TmpdirOverride(const std::string& value);
  ~TmpdirOverride();
  TmpdirOverride(const TmpdirOverride&) = delete;
  TmpdirOverride& operator=(const TmpdirOverride&) = delete;

 private:
  std::string saved_;
};

// Runs a shell command; returns its exit status (-1 when it could not run).
int RunCommand(const std::string& command, std::string* output = nullptr);
std::string Quote(const std::string& text);

// Oracles and the corpus; empty when absent.
std::string ImageMagick();
std::string Python();
std::string CorpusDir();
std::string SourceDir();
std::string ConvertTool();

// Reads any picture ImageMagick knows into 8-bit RGB triplets (top row first);
// false when ImageMagick is absent or fails.
bool DecodeWithImageMagick(const std::string& path, int& width, int& height, Bytes& rgb);

// Hand-made 24-bit BMP files.
struct BmpOptions {
  bool topDown = false;
  char secondSignatureByte = 'M';
  std::uint32_t compression = 0;
  std::uint16_t bitCount = 24;
  std::uint32_t infoHeaderSize = 40;
};
Bytes MakeBmp(int width, int height, const Bytes& rgbTopDown, const BmpOptions& options = {});

// A 24-bit image of the given triplets (top row first); the test fails on error.
void FillRgbImage(engine::ImageBuffer& image, int width, int height, const Bytes& rgb);
// The image's pixels as triplets via ConvertTo(24).
Bytes ImageAsRgb(const engine::ImageBuffer& image);
// A deterministic picture with gradients and noise.
Bytes PatternRgb(int width, int height, std::uint32_t seed = 1);

// A stored picture as it is shown under an orientation (1..8: where stored row 0
// and column 0 belong), placed pixel by pixel; the shown size comes back.
Bytes ShownAs(const Bytes& stored, int width, int height, int bytesPerPixel, int orientation, int& shownWidth,
              int& shownHeight);

}  // namespace testsupport
