// Read and write of JPEG, PNG and TIFF at 6000 x 4000, and the three
// conversion commands end to end from a JPEG photo. Files live in a private
// folder under $TMPDIR (or /tmp), removed at exit; with PICTOMILL_BENCH_DIR
// set they are made there and kept (photo.ppm too), so that the library
// tools and ImageMagick can be timed on the same picture.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>

#include "codecs/library/JpegCodec.h"
#include "codecs/library/PngCodec.h"
#include "codecs/library/TiffCodec.h"
#include "engine/commands/ConversionCommands.h"
#include "engine/core/ImageBuffer.h"

namespace {

constexpr int kWidth = 6000;
constexpr int kHeight = 4000;

// A photo stand-in: broad smooth shapes with a little sensor noise, so the
// coders see neither flat colour nor pure noise.
void FillPhoto(engine::ImageBuffer& image) {
  image.Create(kWidth, kHeight, 24, 0);
  std::uint32_t state = 12345;
  for (int y = 0; y < kHeight; ++y) {
    std::uint8_t* row = image.GetRow(y);
    for (int x = 0; x < kWidth; ++x) {
      state = state * 1664525u + 1013904223u;
      const int noise = static_cast<int>(state >> 28) - 8;
      const double u = x / 700.0;
      const double v = y / 450.0;
      const int r = static_cast<int>(128 + 90 * std::sin(u + 0.5 * v)) + noise;
      const int g = static_cast<int>(120 + 80 * std::sin(0.7 * u - v + 1.0)) + noise;
      const int b = static_cast<int>(110 + 70 * std::cos(0.4 * u + 0.9 * v)) + noise;
      row[x * 3 + 0] = static_cast<std::uint8_t>(r < 0 ? 0 : r > 255 ? 255 : r);
      row[x * 3 + 1] = static_cast<std::uint8_t>(g < 0 ? 0 : g > 255 ? 255 : g);
      row[x * 3 + 2] = static_cast<std::uint8_t>(b < 0 ? 0 : b > 255 ? 255 : b);
    }
  }
}

struct Fixture {
  std::string dir;
  engine::ImageBuffer photo;
  std::string Path(const char* name) const { return dir + "/" + name; }

  bool keep = false;

  Fixture() {
    const char* given = std::getenv("PICTOMILL_BENCH_DIR");
    const char* base = std::getenv("TMPDIR");
    std::string pattern = std::string(base != nullptr && *base != '\0' ? base : "/tmp") + "/pictomill-bench-XXXXXX";
    keep = given != nullptr && *given != '\0';
    if (keep) {
      dir = given;
    } else if (::mkdtemp(pattern.data()) != nullptr) {
      dir = pattern;
    } else {
      std::abort();
    }
    FillPhoto(photo);
    if (keep) WritePpm(Path("photo.ppm"));
    codecs::JpegCodec jpeg;
    codecs::PngCodec png;
    codecs::TiffCodec tiff;
    if (jpeg.WriteImage(Path("photo.jpg").c_str(), &photo, 99, 1, 1, 50) != 1) std::abort();
    if (png.BeginWrite(Path("photo.png").c_str(), &photo, 24, 0) != 1 || png.WriteImage() != 1) std::abort();
    if (tiff.BeginWrite(Path("photo.tif").c_str(), &photo, 24) != 1 || tiff.WriteImage() != 1) std::abort();
  }
  void WritePpm(const std::string& path) const {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) std::abort();
    const bool ok = std::fprintf(file, "P6\n%d %d\n255\n", kWidth, kHeight) > 0 &&
                    std::fwrite(photo.GetPixels(), photo.GetPixelBytes(), 1, file) == 1;
    if (std::fclose(file) != 0 || !ok) std::abort();
  }

  ~Fixture() {
    if (keep) return;
    for (const char* name : {"photo.jpg", "photo.png", "photo.tif", "out.jpg", "out.png", "out.tif", "photo12.jpg",
                             "photo12-turned.jpg", "out.bmp"}) {
      std::remove(Path(name).c_str());
    }
    ::rmdir(dir.c_str());
  }
};

Fixture& Shared() {
  static Fixture fixture;
  return fixture;
}

template <class Codec>
void Read(benchmark::State& state, const char* name) {
  const std::string path = Shared().Path(name);
  for (auto _ : state) {
    engine::ImageBuffer image;
    Codec codec;
    if (codec.BeginRead(path.c_str(), &image) != 1 || codec.ReadImage() != 1) state.SkipWithError("read failed");
    benchmark::DoNotOptimize(image.GetPixels());
  }
}

void BM_JpegRead(benchmark::State& state) { Read<codecs::JpegCodec>(state, "photo.jpg"); }
void BM_PngRead(benchmark::State& state) { Read<codecs::PngCodec>(state, "photo.png"); }
void BM_TiffRead(benchmark::State& state) { Read<codecs::TiffCodec>(state, "photo.tif"); }

void BM_JpegWrite(benchmark::State& state) {
  const std::string path = Shared().Path("out.jpg");
  for (auto _ : state) {
    codecs::JpegCodec codec;
    if (codec.WriteImage(path.c_str(), &Shared().photo, 99, 1, 1, 50) != 1) state.SkipWithError("write failed");
  }
}

void BM_PngWrite(benchmark::State& state) {
  const std::string path = Shared().Path("out.png");
  for (auto _ : state) {
    codecs::PngCodec codec;
    if (codec.BeginWrite(path.c_str(), &Shared().photo, 24, 0) != 1 || codec.WriteImage() != 1) {
      state.SkipWithError("write failed");
    }
  }
}

void BM_TiffWrite(benchmark::State& state) {
  const std::string path = Shared().Path("out.tif");
  for (auto _ : state) {
    codecs::TiffCodec codec;
    if (codec.BeginWrite(path.c_str(), &Shared().photo, 24) != 1 || codec.WriteImage() != 1) {
      state.SkipWithError("write failed");
    }
  }
}

// The window program's own arguments, from the JPEG photo.
void BM_ConvertToJpg(benchmark::State& state) {
  const std::string source = Shared().Path("photo.jpg");
  const std::string target = Shared().Path("out.jpg");
  for (auto _ : state) {
    if (engine::ConvertToJpg(source.c_str(), target.c_str(), 0, 99, 1, 50) != 1) state.SkipWithError("failed");
  }
}

void BM_ConvertToPng(benchmark::State& state) {
  const std::string source = Shared().Path("photo.jpg");
  const std::string target = Shared().Path("out.png");
  for (auto _ : state) {
    if (engine::ConvertToPng(source.c_str(), target.c_str(), 24) != 1) state.SkipWithError("failed");
  }
}

void BM_ConvertToTif(benchmark::State& state) {
  const std::string source = Shared().Path("photo.jpg");
  const std::string target = Shared().Path("out.tif");
  for (auto _ : state) {
    if (engine::ConvertToTif(source.c_str(), target.c_str(), 0) != 1) state.SkipWithError("failed");
  }
}

// A 12-megapixel photo (4000 x 3000) to BMP, as stored (orientation 1) and
// turned a quarter (6): the cost of delivering photos upright. Both files
// hold the same coded picture; only the Exif block differs.
void BM_ConvertToBmpWithOrientation(benchmark::State& state) {
  static const std::string stored = [] {
    engine::ImageBuffer photo;
    if (photo.Create(4000, 3000, 24, 0) != 1) std::abort();
    for (int y = 0; y < 3000; ++y) std::copy_n(Shared().photo.GetRow(y), 4000 * 3, photo.GetRow(y));
    const std::string path = Shared().Path("photo12.jpg");
    if (codecs::JpegCodec().WriteImage(path.c_str(), &photo, 99, 1, 1, 50) != 1) std::abort();
    return path;
  }();
  const auto orientation = static_cast<std::uint8_t>(state.range(0));
  const std::string source = Shared().Path(orientation == 1 ? "photo12.jpg" : "photo12-turned.jpg");
  if (orientation != 1) {
    // SOI, APP1 "Exif": II, 42, IFD0 at 8 with one entry, Orientation SHORT 1.
    const std::uint8_t app1[] = {0xFF, 0xE1, 0, 34, 'E', 'x', 'i', 'f', 0, 0, 'I', 'I', 42, 0, 8, 0, 0, 0, 1, 0,
                                 0x12, 0x01, 3, 0, 1, 0, 0, 0, orientation, 0, 0, 0, 0, 0, 0, 0};
    std::FILE* in = std::fopen(stored.c_str(), "rb");
    std::FILE* out = std::fopen(source.c_str(), "wb");
    if (in == nullptr || out == nullptr) std::abort();
    std::uint8_t buffer[65536];
    std::size_t got = std::fread(buffer, 1, 2, in);
    bool ok = got == 2 && std::fwrite(buffer, 2, 1, out) == 1 && std::fwrite(app1, sizeof app1, 1, out) == 1;
    while (ok && (got = std::fread(buffer, 1, sizeof buffer, in)) > 0) ok = std::fwrite(buffer, got, 1, out) == 1;
    std::fclose(in);
    if (std::fclose(out) != 0 || !ok) std::abort();
  }
  const std::string target = Shared().Path("out.bmp");
  for (auto _ : state) {
    if (engine::ConvertToBmp(source.c_str(), target.c_str()) != 1) state.SkipWithError("failed");
  }
}

}  // namespace

BENCHMARK(BM_ConvertToBmpWithOrientation)->Arg(1)->Arg(6)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_JpegRead)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_JpegWrite)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_PngRead)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_PngWrite)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_TiffRead)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_TiffWrite)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ConvertToJpg)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ConvertToPng)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ConvertToTif)->Unit(benchmark::kMillisecond)->UseRealTime();

BENCHMARK_MAIN();
