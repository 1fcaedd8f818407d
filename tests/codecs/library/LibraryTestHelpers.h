// Helpers shared by the library codec tests: pictures, the oracles' command
// lines, a full disk in a child process, and captured standard error.
#pragma once

#include <gtest/gtest.h>

#include <csignal>
#include <cstdint>
#include <functional>
#include <string>
#ifndef _WIN32
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include "engine/core/ImageBuffer.h"
#include "tests/support/TestSupport.h"

namespace librarytest {

using testsupport::Bytes;

// Runs body in a child whose files may not grow past limit bytes (SIGXFSZ
// ignored, so a write past it fails with EFBIG); returns body's result, or
// -100 when the child did not end normally.
// Tests that call it start with PICTOMILL_SKIP_WITHOUT_FORK().
inline int WithFileSizeLimit(std::uint64_t limit, const std::function<int()>& body) {
#ifdef _WIN32
  (void)limit;
  (void)body;
  return -100;
#else
  std::fflush(nullptr);
  const pid_t child = ::fork();
  if (child == 0) {
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit cap{static_cast<rlim_t>(limit), static_cast<rlim_t>(limit)};
    ::setrlimit(RLIMIT_FSIZE, &cap);
    const int result = body();
    ::_exit(result + 64);
  }
  int status = 0;
  if (child < 0 || ::waitpid(child, &status, 0) != child || !WIFEXITED(status)) return -100;
  return WEXITSTATUS(status) - 64;
#endif
}

// Standard error printed while body runs.
inline std::string StderrOf(const std::function<void()>& body) {
  testing::internal::CaptureStderr();
  body();
  return testing::internal::GetCapturedStderr();
}

// stem + number + extension, built by appending (GCC 12 at -O3 warns falsely
// about "literal" + std::string).
inline std::string NumberedName(const char* stem, long number, const char* extension) {
  std::string name = stem;
  name += std::to_string(number);
  name += extension;
  return name;
}

// Largest difference of any sample.
inline int MaxDifference(const Bytes& a, const Bytes& b) {
  if (a.size() != b.size()) return 1 << 20;
  int worst = 0;
  for (std::size_t i = 0; i < a.size(); ++i) {
    const int d = a[i] > b[i] ? a[i] - b[i] : b[i] - a[i];
    if (d > worst) worst = d;
  }
  return worst;
}

inline double MeanDifference(const Bytes& a, const Bytes& b) {
  if (a.size() != b.size() || a.empty()) return 1e9;
  double sum = 0;
  for (std::size_t i = 0; i < a.size(); ++i) sum += a[i] > b[i] ? a[i] - b[i] : b[i] - a[i];
  return sum / static_cast<double>(a.size());
}

// A binary P6 file of the triplets, for the command-line tools.
inline Bytes MakePpm(int width, int height, const Bytes& rgb) {
  const std::string header = "P6\n" + std::to_string(width) + " " + std::to_string(height) + "\n255\n";
  Bytes file(header.begin(), header.end());
  file.insert(file.end(), rgb.begin(), rgb.end());
  return file;
}

// Gradients only, which lossy coding keeps close.
inline Bytes SmoothRgb(int width, int height) {
  Bytes rgb;
  rgb.reserve(static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 3);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      rgb.push_back(static_cast<std::uint8_t>(x * 255 / (width > 1 ? width - 1 : 1)));
      rgb.push_back(static_cast<std::uint8_t>(y * 255 / (height > 1 ? height - 1 : 1)));
      rgb.push_back(static_cast<std::uint8_t>(128 + (x - y) / 2));
    }
  }
  return rgb;
}

// Runs "tool arguments" quietly; true on exit status 0.
inline bool Run(const std::string& commandLine) { return testsupport::RunCommand(commandLine + " 2>/dev/null") == 0; }

// A Python that has Pillow: the configured one, else the system's; empty
// when neither has it.
inline std::string PillowPython() {
  static const std::string found = [] {
    for (const std::string& python : {testsupport::Python(), std::string("/usr/bin/python3")}) {
      if (!python.empty() && Run(testsupport::Quote(python) + " -c 'import PIL' >/dev/null")) return python;
    }
    return std::string();
  }();
  return found;
}

inline bool HavePillow() { return !PillowPython().empty(); }

// libtiff's tiffcp and tiffset, programs of the build machine (libtiff-tools):
// a Windows test program cannot start them.
inline bool HaveTiffTools() {
#ifdef _WIN32
  return false;
#else
  return true;
#endif
}

// Runs a Python snippet with Pillow; the snippet sees sys.argv[1:] = args.
inline bool RunPillow(const std::string& script, const std::string& args) {
  return HavePillow() && Run(testsupport::Quote(PillowPython()) + " -c " + testsupport::Quote(script) + " " + args);
}

// Bytes that no compressor can shrink.
inline Bytes NoiseBytes(std::size_t count, std::uint32_t seed = 1) {
  Bytes bytes(count);
  std::uint32_t state = seed * 2654435761u + 7;
  for (auto& b : bytes) {
    state = state * 1664525u + 1013904223u;
    b = static_cast<std::uint8_t>(state >> 24);
  }
  return bytes;
}

// The 24-bit pixels of the image (ConvertTo 24 where needed).
inline Bytes Rgb(const engine::ImageBuffer& image) { return testsupport::ImageAsRgb(image); }

}  // namespace librarytest
