// Every depth conversion and every conversion command at 24 megapixels
// (6000 x 4000). Depths: 8-bit grey, 8-bit palette, 16, 24 and 32-bit, each to
// each. Commands: all nine from one JPEG photo, written into a private folder
// under $TMPDIR (or /tmp) that is removed at exit.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdlib>
#include <string>
#include <unistd.h>

#include "codecs/library/JpegCodec.h"
#include "engine/commands/ConversionCommands.h"
#include "engine/core/ImageBuffer.h"

namespace {

constexpr int kWidth = 6000;
constexpr int kHeight = 4000;

// A photo stand-in: smooth gradients with a little noise, so the quantiser
// sees many colours and the coders neither flat colour nor pure noise.
void FillPhoto(engine::ImageBuffer& image) {
  image.Create(kWidth, kHeight, 24, 0);
  std::uint32_t state = 12345;
  for (int y = 0; y < kHeight; ++y) {
    std::uint8_t* row = image.GetRow(y);
    for (int x = 0; x < kWidth; ++x) {
      state = state * 1664525u + 1013904223u;
      const int noise = static_cast<int>(state >> 29) - 4;
      const int r = (x * 255 / kWidth + noise) & 0xFF;
      const int g = (y * 255 / kHeight + noise) & 0xFF;
      const int b = ((x + y) * 255 / (kWidth + kHeight) + 2 * noise) & 0xFF;
      row[x * 3 + 0] = static_cast<std::uint8_t>(r);
      row[x * 3 + 1] = static_cast<std::uint8_t>(g);
      row[x * 3 + 2] = static_cast<std::uint8_t>(b);
    }
  }
}

// The five forms a picture takes: {bits, palette count}.
constexpr int kForms[5][2] = {{8, 0}, {8, 256}, {16, 0}, {24, 0}, {32, 0}};
const char* const kFormNames[5] = {"grey8", "palette8", "rgb16", "rgb24", "argb32"};

struct Sources {
  engine::ImageBuffer forms[5];
  Sources() {
    FillPhoto(forms[3]);
    for (int k = 0; k < 5; ++k) {
      if (k != 3) forms[3].ConvertTo(forms[k], static_cast<std::uint32_t>(kForms[k][0]), kForms[k][1]);
    }
  }
};

Sources& SharedSources() {
  static Sources sources;
  return sources;
}

void BM_DepthConversion(benchmark::State& state) {
  const auto from = static_cast<int>(state.range(0));
  const auto to = static_cast<int>(state.range(1));
  const engine::ImageBuffer& source = SharedSources().forms[from];
  for (auto _ : state) {
    engine::ImageBuffer target;
    if (source.ConvertTo(target, static_cast<std::uint32_t>(kForms[to][0]), kForms[to][1]) != 1) {
      state.SkipWithError("conversion failed");
      break;
    }
    benchmark::DoNotOptimize(target.GetPixels());
  }
  state.SetLabel(std::string(kFormNames[from]) + " -> " + kFormNames[to]);
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * source.GetPixelBytes());
}
void DepthPairs(benchmark::internal::Benchmark* benchmark) {
  for (int from = 0; from < 5; ++from) {
    for (int to = 0; to < 5; ++to) benchmark->Args({from, to});
  }
}
BENCHMARK(BM_DepthConversion)->Apply(DepthPairs)->Unit(benchmark::kMillisecond)->UseRealTime();

struct Folder {
  std::string dir;
  std::string photo;
  Folder() {
    const char* base = std::getenv("TMPDIR");
    std::string pattern = std::string(base != nullptr && *base != '\0' ? base : "/tmp") + "/pictomill-bench-XXXXXX";
    if (::mkdtemp(pattern.data()) == nullptr) std::abort();
    dir = pattern;
    photo = dir + "/photo.jpg";
    codecs::JpegCodec writer;
    // A camera's kind of JPEG: quality 92, no smoothing.
    if (writer.WriteImage(photo.c_str(), &SharedSources().forms[3], 92, 1, 0, 0) != 1) std::abort();
  }
  ~Folder() {
    const std::string command = "rm -rf '" + dir + "'";
    if (std::system(command.c_str()) != 0) std::abort();
  }
  std::string Target(const char* name) const { return dir + "/" + name; }
};

Folder& SharedFolder() {
  static Folder folder;
  return folder;
}

template <class Command>
void RunCommand(benchmark::State& state, const char* targetName, Command command) {
  const Folder& folder = SharedFolder();
  const std::string target = folder.Target(targetName);
  for (auto _ : state) {
    if (command(folder.photo.c_str(), target.c_str()) != engine::ResultOk) {
      state.SkipWithError("command failed");
      break;
    }
  }
}

void BM_ConvertToJpg(benchmark::State& s) {
  RunCommand(s, "o.jpg", [](const char* a, const char* b) { return engine::ConvertToJpg(a, b, 0, 99, 1, 50); });
}
void BM_ConvertToBmp(benchmark::State& s) { RunCommand(s, "o.bmp", engine::ConvertToBmp); }
void BM_ConvertToTif(benchmark::State& s) {
  RunCommand(s, "o.tif", [](const char* a, const char* b) { return engine::ConvertToTif(a, b, 0); });
}
void BM_ConvertToPng(benchmark::State& s) {
  RunCommand(s, "o.png", [](const char* a, const char* b) { return engine::ConvertToPng(a, b, 24); });
}
void BM_ConvertToPpm(benchmark::State& s) {
  RunCommand(s, "o.ppm", [](const char* a, const char* b) { return engine::ConvertToPpm(a, b, 1); });
}
void BM_ConvertToPgm(benchmark::State& s) {
  RunCommand(s, "o.pgm", [](const char* a, const char* b) { return engine::ConvertToPgm(a, b, 1); });
}
void BM_ConvertToPcx(benchmark::State& s) { RunCommand(s, "o.pcx", engine::ConvertToPcx); }
void BM_ConvertToPic(benchmark::State& s) { RunCommand(s, "o.pic", engine::ConvertToPic); }
void BM_ConvertToSgi(benchmark::State& s) { RunCommand(s, "o.sgi", engine::ConvertToSgi); }
BENCHMARK(BM_ConvertToJpg)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ConvertToBmp)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ConvertToTif)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ConvertToPng)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ConvertToPpm)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ConvertToPgm)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ConvertToPcx)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ConvertToPic)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ConvertToSgi)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
