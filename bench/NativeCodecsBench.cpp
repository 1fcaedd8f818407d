// Our own writers and the PCX and Photo CD readers on a 6000 x 4000 picture
// (the Photo CD base picture is always 768 x 512). Files go to $TMPDIR.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "codecs/native/PcxCodec.h"
#include "codecs/native/PhotoCdReader.h"
#include "codecs/native/PicEncoder.h"
#include "codecs/native/PnmEncoder.h"
#include "codecs/native/SgiEncoder.h"
#include "engine/core/ImageBuffer.h"

namespace {

constexpr int kWidth = 6000;
constexpr int kHeight = 4000;

std::string TempPath(const char* name) {
  const char* dir = std::getenv("TMPDIR");
  return std::string(dir != nullptr && *dir != '\0' ? dir : "/tmp") + "/pictomill-bench-" + name;
}

// A photo-like picture: smooth gradients with some noise, so the run-length
// coder sees both runs and literals.
engine::ImageBuffer& Picture() {
  static engine::ImageBuffer image;
  if (image.GetWidth() == 0) {
    if (image.Create(kWidth, kHeight, 24, 0) != 1) std::abort();
    std::uint32_t state = 12345;
    for (int y = 0; y < kHeight; ++y) {
      std::uint8_t* p = image.GetRow(y);
      for (int x = 0; x < kWidth; ++x, p += 3) {
        state = state * 1664525u + 1013904223u;
        p[0] = static_cast<std::uint8_t>(x * 255 / (kWidth - 1));
        p[1] = static_cast<std::uint8_t>(y * 255 / (kHeight - 1));
        p[2] = static_cast<std::uint8_t>((x / 64 + y / 64) % 2 == 0 ? 40 : (state >> 24));
      }
    }
  }
  return image;
}

void SetBytes(benchmark::State& state, const std::string& path) {
  std::FILE* file = std::fopen(path.c_str(), "rb");
  long size = 0;
  if (file != nullptr) {
    std::fseek(file, 0, SEEK_END);
    size = std::ftell(file);
    std::fclose(file);
  }
  state.counters["file_MB"] = static_cast<double>(size) / 1e6;
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * kWidth * kHeight * 3);
}

void BM_PcxWrite(benchmark::State& state) {
  const std::string path = TempPath("w.pcx");
  for (auto _ : state) {
    codecs::PcxCodec codec;
    if (codec.BeginWrite(path.c_str(), &Picture(), 24) != 1 || codec.WriteImage() != 1) state.SkipWithError("write");
  }
  SetBytes(state, path);
  std::remove(path.c_str());
}

void BM_PcxRead(benchmark::State& state) {
  const std::string path = TempPath("r.pcx");
  {
    codecs::PcxCodec codec;
    if (codec.BeginWrite(path.c_str(), &Picture(), 24) != 1 || codec.WriteImage() != 1) state.SkipWithError("write");
  }
  for (auto _ : state) {
    engine::ImageBuffer image;
    codecs::PcxCodec codec;
    if (codec.BeginRead(path.c_str(), &image) != 1 || codec.ReadImage() != 1) state.SkipWithError("read");
  }
  SetBytes(state, path);
  std::remove(path.c_str());
}

void BM_PnmWrite(benchmark::State& state) {
  const int mode = static_cast<int>(state.range(0));
  const int binary = static_cast<int>(state.range(1));
  const std::string path = TempPath("w.pnm");
  for (auto _ : state) {
    codecs::PnmEncoder encoder;
    if (encoder.BeginWrite(path.c_str(), &Picture(), mode, binary) != 1 || encoder.WriteImage() != 1) {
      state.SkipWithError("write");
    }
  }
  SetBytes(state, path);
  std::remove(path.c_str());
}

void BM_SgiWrite(benchmark::State& state) {
  const std::string path = TempPath("w.sgi");
  for (auto _ : state) {
    codecs::SgiEncoder encoder;
    if (encoder.BeginWrite(path.c_str(), &Picture(), 24, 0) != 1 || encoder.WriteImage() != 1) {
      state.SkipWithError("write");
    }
  }
  SetBytes(state, path);
  std::remove(path.c_str());
}

void BM_PicWrite(benchmark::State& state) {
  const std::string path = TempPath("w.pic");
  for (auto _ : state) {
    codecs::PicEncoder encoder;
    if (encoder.BeginWrite(path.c_str(), &Picture(), 24) != 1 || encoder.WriteImage() != 1) {
      state.SkipWithError("write");
    }
  }
  SetBytes(state, path);
  std::remove(path.c_str());
}

void BM_PhotoCdRead(benchmark::State& state) {
  // A zero-filled pac with the signature and a luminance ramp in the base picture.
  const std::string path = TempPath("r.pcd");
  std::vector<std::uint8_t> pac(1048576, 0);
  const char signature[] = "PCD_IPI";
  std::copy(signature, signature + 7, pac.begin() + 2048);
  for (std::size_t i = 196608; i < 786432; ++i) pac[i] = static_cast<std::uint8_t>(i * 7);
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr || std::fwrite(pac.data(), pac.size(), 1, file) != 1) state.SkipWithError("pac");
  if (file != nullptr) std::fclose(file);
  for (auto _ : state) {
    engine::ImageBuffer image;
    codecs::PhotoCdReader reader;
    if (reader.BeginRead(path.c_str(), &image, 2) != 1 || reader.ReadImage() != 1) state.SkipWithError("read");
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * 768 * 512 * 3);
  std::remove(path.c_str());
}

}  // namespace

BENCHMARK(BM_PcxWrite)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_PcxRead)->Unit(benchmark::kMillisecond)->UseRealTime();
// mode 2 colour / 1 grey; binary 1 raw, 0 text
BENCHMARK(BM_PnmWrite)->Args({2, 1})->Args({1, 1})->Args({2, 0})->Args({1, 0})->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_SgiWrite)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_PicWrite)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_PhotoCdRead)->Unit(benchmark::kMillisecond)->UseRealTime();

BENCHMARK_MAIN();
