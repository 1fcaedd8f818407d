// The readers take paths, so each input is written to a private file first.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>

namespace fuzzsupport {

inline const std::string& InputPath() {
  static const std::string path = [] {
    const char* tmp = std::getenv("TMPDIR");
    return std::string(tmp != nullptr ? tmp : "/tmp") + "/pictomill-fuzz-" + std::to_string(::getpid()) + ".bin";
  }();
  return path;
}

inline const char* WriteInput(const std::uint8_t* data, std::size_t size) {
  std::FILE* file = std::fopen(InputPath().c_str(), "wb");
  if (file == nullptr) std::abort();
  if (size > 0 && std::fwrite(data, size, 1, file) != 1) std::abort();
  std::fclose(file);
  return InputPath().c_str();
}

}  // namespace fuzzsupport
