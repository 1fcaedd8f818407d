// The image core and the BMP codec on a 6000 x 4000 picture.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <string>
#include <unistd.h>

#include "codecs/native/BmpCodec.h"
#include "engine/core/ImageBuffer.h"

namespace {

constexpr int kWidth = 6000;
constexpr int kHeight = 4000;

void FillPattern(engine::ImageBuffer& image) {
  std::uint8_t* p = image.GetPixels();
  std::uint32_t state = 12345;
  for (std::uint32_t i = 0; i < image.GetPixelBytes(); ++i) {
    state = state * 1664525u + 1013904223u;
    p[i] = static_cast<std::uint8_t>(((state >> 24) & 0xF0) | (i % 7));
  }
}

std::string ScratchPath(const char* name) {
  const char* tmp = std::getenv("TMPDIR");
  return std::string(tmp != nullptr ? tmp : "/tmp") + "/" + name + "-" + std::to_string(::getpid());
}

void BM_Create(benchmark::State& state) {
  for (auto _ : state) {
    engine::ImageBuffer image;
    benchmark::DoNotOptimize(image.Create(kWidth, kHeight, 24, 0));
  }
}
BENCHMARK(BM_Create)->Unit(benchmark::kMillisecond);

void BM_Convert(benchmark::State& state) {
  engine::ImageBuffer source;
  source.Create(kWidth, kHeight, 24, 0);
  FillPattern(source);
  const auto bits = static_cast<std::uint32_t>(state.range(0));
  const auto count = static_cast<std::int32_t>(state.range(1));
  for (auto _ : state) {
    engine::ImageBuffer target;
    benchmark::DoNotOptimize(source.ConvertTo(target, bits, count));
  }
}
BENCHMARK(BM_Convert)->Args({32, 0})->Args({8, 0})->Args({8, 256})->Unit(benchmark::kMillisecond);

void BM_BmpWrite(benchmark::State& state) {
  engine::ImageBuffer source;
  source.Create(kWidth, kHeight, 24, 0);
  FillPattern(source);
  const std::string path = ScratchPath("bench-write.bmp");
  for (auto _ : state) {
    codecs::BmpCodec writer;
    writer.BeginWrite(path.c_str(), &source, 24);
    benchmark::DoNotOptimize(writer.WriteImage());
  }
  std::remove(path.c_str());
}
BENCHMARK(BM_BmpWrite)->Unit(benchmark::kMillisecond);

void BM_BmpRead(benchmark::State& state) {
  const std::string path = ScratchPath("bench-read.bmp");
  {
    engine::ImageBuffer source;
    source.Create(kWidth, kHeight, 24, 0);
    FillPattern(source);
    codecs::BmpCodec writer;
    writer.BeginWrite(path.c_str(), &source, 24);
    writer.WriteImage();
  }
  for (auto _ : state) {
    engine::ImageBuffer image;
    codecs::BmpCodec reader;
    reader.BeginRead(path.c_str(), &image);
    benchmark::DoNotOptimize(reader.ReadImage());
  }
  std::remove(path.c_str());
}
BENCHMARK(BM_BmpRead)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
