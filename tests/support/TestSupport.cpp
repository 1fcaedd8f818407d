#include "tests/support/TestSupport.h"

#include <algorithm>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <system_error>
#ifdef _WIN32
#ifndef NOMINMAX
#define NOMINMAX
#endif
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#else
#include <sys/wait.h>
#endif

#include "platform/Platform.h"

namespace testsupport {

std::string& PrivateDirStorage() {
  static std::string dir;
  return dir;
}

const std::string& PrivateDir() { return PrivateDirStorage(); }

std::filesystem::path FsPath(const std::string& utf8) {
  return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
}

#ifdef _WIN32
std::wstring Wide(const std::string& utf8) {
  std::wstring wide(utf8.size() + 1, L'\0');
  const int length = ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), wide.data(),
                                           static_cast<int>(wide.size()));
  wide.resize(static_cast<std::size_t>(length > 0 ? length : 0));
  return wide;
}

std::string Utf8(const std::wstring& wide) {
  std::string utf8(wide.size() * 4 + 1, '\0');
  const int length = ::WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), utf8.data(),
                                           static_cast<int>(utf8.size()), nullptr, nullptr);
  utf8.resize(static_cast<std::size_t>(length > 0 ? length : 0));
  return utf8;
}

void SetEnvironment(const char* name, const std::string& utf8) {
  ::SetEnvironmentVariableW(Wide(name).c_str(), Wide(utf8).c_str());
  // Both the C run-time's copy and the process's block: tests read either.
  ::_wputenv_s(Wide(name).c_str(), Wide(utf8).c_str());
}
#else
void SetEnvironment(const char* name, const std::string& utf8) { ::setenv(name, utf8.c_str(), 1); }
#endif

std::string Join(const std::string& folder, const std::string& name) {
  return folder + platform::kPathSeparator + name;
}

std::string MakeTempSubdir(const std::string& name) {
  static int serial = 0;
  const std::string path = Join(PrivateDir(), name + "-" + std::to_string(++serial));
  std::error_code error;
  std::filesystem::create_directory(FsPath(path), error);
  return path;
}

bool MakeDirectory(const std::string& path) {
  std::error_code error;
  return std::filesystem::create_directory(FsPath(path), error);
}

std::vector<std::string> ListNames(const std::string& folder) {
  std::vector<std::string> names;
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator(FsPath(folder), error)) {
    const std::u8string name = entry.path().filename().u8string();
    names.emplace_back(name.begin(), name.end());
  }
  std::sort(names.begin(), names.end());
  return names;
}

void RemoveAll(const std::string& path) {
  std::error_code error;
  std::filesystem::remove_all(FsPath(path), error);
}

void RemoveFilesIn(const std::string& folder) {
  for (const std::string& name : ListNames(folder)) {
    std::error_code error;
    std::filesystem::remove(FsPath(Join(folder, name)), error);
  }
}

std::vector<std::string> ScratchFiles(const std::string& folder) {
  std::vector<std::string> names;
  for (const std::string& name : ListNames(folder)) {
    if (name.rfind("ORBCLASS", 0) == 0) names.push_back(name);
  }
  return names;
}

bool WriteBytes(const std::string& path, const Bytes& bytes) {
  std::ofstream out(FsPath(path), std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  return static_cast<bool>(out);
}

Bytes ReadBytes(const std::string& path) {
#ifdef _WIN32
  // Scratch files are open with delete sharing; a reader must grant it too.
  HANDLE file = ::CreateFileW(Wide(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return {};
  Bytes bytes;
  std::uint8_t buffer[65536];
  DWORD read = 0;
  while (::ReadFile(file, buffer, sizeof buffer, &read, nullptr) != 0 && read > 0) {
    bytes.insert(bytes.end(), buffer, buffer + read);
  }
  ::CloseHandle(file);
  return bytes;
#else
  std::ifstream in(path, std::ios::binary);
  return Bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
#endif
}

bool FileExistsOnDisk(const std::string& path) {
  std::error_code error;
  return std::filesystem::exists(FsPath(path), error);
}

std::string GetEnvironmentUtf8(const char* name) {
#ifdef _WIN32
  const wchar_t* value = ::_wgetenv(Wide(name).c_str());
  return value != nullptr ? Utf8(value) : std::string();
#else
  const char* value = std::getenv(name);
  return value != nullptr ? value : std::string();
#endif
}

TmpdirOverride::TmpdirOverride(const std::string& value) : saved_(GetEnvironmentUtf8(kTempVariable)) {
  SetEnvironment(kTempVariable, value);
}
TmpdirOverride::~TmpdirOverride() { SetEnvironment(kTempVariable, saved_); }

#ifdef _WIN32
// In double quotes for the command processor and the C run-time's argument
// split, which reads a backslash before a quote as an escape: trailing
// backslashes are doubled (no test path holds a quote).
std::string Quote(const std::string& text) {
  std::string quoted = "\"" + text;
  for (std::size_t i = text.size(); i > 0 && text[i - 1] == '\\'; --i) quoted += '\\';
  return quoted + "\"";
}

int RunCommand(const std::string& command, std::string* output) {
  // The commands are written for a POSIX shell; the few forms they use read
  // the same to cmd once /dev/null is NUL and '' an empty quoted argument.
  std::string translated;
  for (std::size_t i = 0; i < command.size(); ++i) {
    if (command.compare(i, 9, "/dev/null") == 0) {
      translated += "NUL";
      i += 8;
    } else if (command.compare(i, 2, "''") == 0) {
      translated += "\"\"";
      i += 1;
    } else {
      translated += command[i];
    }
  }
  // cmd /c drops the first and the last quote of the line: give it a pair to drop.
  std::FILE* pipe = ::_wpopen(Wide("\"" + translated + "\"").c_str(), L"rb");
  if (pipe == nullptr) return -1;
  std::string text;
  char buffer[4096];
  std::size_t n = 0;
  while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) text.append(buffer, n);
  const int status = ::_pclose(pipe);
  if (output != nullptr) *output = text;
  return status;
}
#else
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
#endif

// Folders of the build machine, as the test program reaches them: under Wine
// the Linux root is the drive Z:.
std::string BuildMachinePath(const std::string& path) {
#ifdef _WIN32
  if (path.empty() || path[0] != '/') return path;
  std::string windows = "Z:" + path;
  std::replace(windows.begin(), windows.end(), '/', '\\');
  return windows;
#else
  return path;
#endif
}

std::string ImageMagick() { return PICTOMILL_IMAGEMAGICK; }
std::string Python() { return PICTOMILL_PYTHON; }
std::string SourceDir() { return BuildMachinePath(PICTOMILL_SOURCE_DIR); }
std::string ConvertTool() { return BuildMachinePath(PICTOMILL_CONVERT_TOOL); }
std::string CorpusDir() {
  const std::string dir = BuildMachinePath(PICTOMILL_CORPUS_DIR);
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
