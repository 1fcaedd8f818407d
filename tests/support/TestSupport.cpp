#include "tests/support/TestSupport.h"

#include <algorithm>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <dirent.h>
#include <fstream>
#include <sys/stat.h>
#include <sys/wait.h>

namespace testsupport {

std::string& PrivateDirStorage() {
  static std::string dir;
  return dir;
}

const std::string& PrivateDir() { return PrivateDirStorage(); }

std::string Join(const std::string& folder, const std::string& name) { return folder + "/" + name; }

std::string MakeTempSubdir(const std::string& name) {
  static int serial = 0;
  const std::string path = Join(PrivateDir(), name + "-" + std::to_string(++serial));
  ::mkdir(path.c_str(), 0700);
  return path;
}

std::vector<std::string> ScratchFiles(const std::string& folder) {
  std::vector<std::string> names;
  DIR* dir = ::opendir(folder.c_str());
  if (dir == nullptr) return names;
  while (const dirent* entry = ::readdir(dir)) {
    const std::string name = entry->d_name;
    if (name.rfind("ORBCLASS", 0) == 0) names.push_back(name);
  }
  ::closedir(dir);
  return names;
}

bool WriteBytes(const std::string& path, const Bytes& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  return static_cast<bool>(out);
}

Bytes ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

bool FileExistsOnDisk(const std::string& path) {
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0;
}

TmpdirOverride::TmpdirOverride(const std::string& value) : saved_(std::getenv("TMPDIR")) {
  ::setenv("TMPDIR", value.c_str(), 1);
}
TmpdirOverride::~TmpdirOverride() { ::setenv("TMPDIR", saved_.c_str(), 1); }

std::string Quote(const std::string& text) {
  std::string quoted = "'";
  for (const char c : text) {
    if (c == '\'') {
      quoted += "'\\''";
    } else {
      quoted += c;
    }
  }
  return quoted + "'";
}

int RunCommand(const std::string& command, std::string* output) {
  FILE* pipe = ::popen(command.c_str(), "r");
  if (pipe == nullptr) return -1;
  std::string text;
  char buffer[4096];
  std::size_t n = 0;
  while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) text.append(buffer, n);
  const int status = ::pclose(pipe);
  if (output != nullptr) *output = text;
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string ImageMagick() { return PICTOMILL_IMAGEMAGICK; }
std::string Python() { return PICTOMILL_PYTHON; }
std::string SourceDir() { return PICTOMILL_SOURCE_DIR; }
std::string ConvertTool() { return PICTOMILL_CONVERT_TOOL; }
std::string CorpusDir() {
  const std::string dir = PICTOMILL_CORPUS_DIR;
  return FileExistsOnDisk(dir + "/MANIFEST.tsv") ? dir : std::string();
}

bool DecodeWithImageMagick(const std::string& path, int& width, int& height, Bytes& rgb) {
  if (ImageMagick().empty()) return false;
  const std::string ppm = path + ".oracle.ppm";
  const std::string command = Quote(ImageMagick()) + " " + Quote(path + "[0]") + " -depth 8 ppm:" + Quote(ppm) +
                              " 2>/dev/null";
  if (RunCommand(command) != 0) return false;
  const Bytes bytes = ReadBytes(ppm);
  std::remove(ppm.c_str());
  // P6 <w> <h> <max>\n then samples
  std::size_t at = 0;
  // ImageMagick copies a source's comment lines into its output.
  auto skipSpace = [&] {
    while (at < bytes.size()) {
      if (bytes[at] == '#') {
        while (at < bytes.size() && bytes[at] != '\n') ++at;
      } else if (bytes[at] == ' ' || bytes[at] == '\n' || bytes[at] == '\r' || bytes[at] == '\t') {
        ++at;
      } else {
        break;
      }
    }
  };
  auto number = [&] {
    skipSpace();
    long value = 0;
    while (at < bytes.size() && bytes[at] >= '0' && bytes[at] <= '9') value = value * 10 + (bytes[at++] - '0');
    return value;
  };
  if (bytes.size() < 2 || bytes[0] != 'P' || bytes[1] != '6') return false;
  at = 2;
  width = static_cast<int>(number());
  height = static_cast<int>(number());
  const long maximum = number();
  ++at;
  if (maximum != 255) return false;
  const std::size_t need = static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 3;
  if (bytes.size() < at + need) return false;
  rgb.assign(bytes.begin() + static_cast<std::ptrdiff_t>(at), bytes.begin() + static_cast<std::ptrdiff_t>(at + need));
  return true;
}

Bytes MakeBmp(int width, int height, const Bytes& rgb, const BmpOptions& options) {
  const std::size_t rowBytes = (static_cast<std::size_t>(width) * 3 + 3) / 4 * 4;
  const std::uint32_t offset = 14 + options.infoHeaderSize;
  Bytes file(offset + rowBytes * static_cast<std::size_t>(height), 0);
  auto put16 = [&](std::size_t at, std::uint32_t v) {
    file[at] = static_cast<std::uint8_t>(v);
    file[at + 1] = static_cast<std::uint8_t>(v >> 8);
  };
  auto put32 = [&](std::size_t at, std::uint32_t v) {
    put16(at, v);
    put16(at + 2, v >> 16);
  };
  file[0] = 'B';
  file[1] = static_cast<std::uint8_t>(options.secondSignatureByte);
  put32(2, static_cast<std::uint32_t>(file.size()));
  put32(10, offset);
  put32(14, options.infoHeaderSize);
  if (options.infoHeaderSize == 12) {
    put16(18, static_cast<std::uint32_t>(width));
    put16(20, static_cast<std::uint32_t>(height));
    put16(22, 1);
    put16(24, options.bitCount);
  } else {
    put32(18, static_cast<std::uint32_t>(width));
    put32(22, static_cast<std::uint32_t>(options.topDown ? -height : height));
    put16(26, 1);
    put16(28, options.bitCount);
    put32(30, options.compression);
  }
  for (int y = 0; y < height; ++y) {
    const int stored = options.topDown ? y : height - 1 - y;
    std::uint8_t* row = file.data() + offset + rowBytes * static_cast<std::size_t>(stored);
    for (int x = 0; x < width; ++x) {
      const std::size_t at = (static_cast<std::size_t>(y) * static_cast<std::size_t>(width) + static_cast<std::size_t>(x)) * 3;
      row[x * 3 + 0] = rgb[at + 2];
      row[x * 3 + 1] = rgb[at + 1];
      row[x * 3 + 2] = rgb[at + 0];
    }
  }
  return file;
}

void FillRgbImage(engine::ImageBuffer& image, int width, int height, const Bytes& rgb) {
  ASSERT_EQ(image.Create(width, height, 24, 0), 1);
  ASSERT_EQ(rgb.size(), static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 3);
  std::copy(rgb.begin(), rgb.end(), image.GetPixels());
}

Bytes ImageAsRgb(const engine::ImageBuffer& image) {
  engine::ImageBuffer rgb;
  if (image.ConvertTo(rgb, 24, 0) != 1) return {};
  return Bytes(rgb.GetPixels(), rgb.GetPixels() + rgb.GetPixelBytes());
}

Bytes PatternRgb(int width, int height, std::uint32_t seed) {
  Bytes rgb(static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 3);
  std::uint32_t state = seed * 2654435761u + 1;
  std::size_t at = 0;
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      state = state * 1664525u + 1013904223u;
      rgb[at++] = static_cast<std::uint8_t>(x * 255 / (width > 1 ? width - 1 : 1));
      rgb[at++] = static_cast<std::uint8_t>(y * 255 / (height > 1 ? height - 1 : 1));
      rgb[at++] = static_cast<std::uint8_t>(state >> 24);
    }
  }
  return rgb;
}


Bytes ShownAs(const Bytes& stored, int width, int height, int bytesPerPixel, int orientation, int& shownWidth,
              int& shownHeight) {
  // Where stored row 0 and column 0 belong, by orientation 1..8.
  static constexpr char kRowZero[] = "TTBBLRRL";
  static constexpr char kColumnZero[] = "LRRLTTBB";
  const int o = orientation >= 1 && orientation <= 8 ? orientation - 1 : 0;
  const bool across = kRowZero[o] == 'L' || kRowZero[o] == 'R';  // stored rows become columns
  shownWidth = across ? height : width;
  shownHeight = across ? width : height;
  Bytes shown(stored.size());
  const auto b = static_cast<std::size_t>(bytesPerPixel);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      int sx = 0;
      int sy = 0;
      if (across) {
        sx = kRowZero[o] == 'R' ? height - 1 - y : y;
        sy = kColumnZero[o] == 'B' ? width - 1 - x : x;
      } else {
        sx = kColumnZero[o] == 'R' ? width - 1 - x : x;
        sy = kRowZero[o] == 'B' ? height - 1 - y : y;
      }
      std::copy_n(&stored[(static_cast<std::size_t>(y) * width + x) * b], b,
                  &shown[(static_cast<std::size_t>(sy) * shownWidth + sx) * b]);
    }
  }
  return shown;
}

}  // namespace testsupport
