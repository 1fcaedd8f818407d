#include "engine/commands/ConversionCommands.h"

#include "codecs/library/JpegCodec.h"
#include "codecs/library/PngCodec.h"
#include "codecs/library/TiffCodec.h"
#include "codecs/native/BmpCodec.h"
#include "engine/commands/LoaderChain.h"
#include "engine/core/ImageBuffer.h"

namespace engine {
namespace {

bool PathsGiven(const char* source, const char* target) { return source != nullptr && target != nullptr; }

// Load, then hand the picture to write; the source is closed before the target
// is opened, so a command onto its own path replaces the source.
template <class Write>
int LoadThenWrite(const char* source, Write write) {
  ImageBuffer image;
  const int loaded = LoadAnyImage(source, image);
  if (loaded != ResultOk) return loaded;
  return write(image) ? ResultOk : ResultWriteFailed;
}

// The 24-bit picture a BMP or PCX writer takes: the image itself, or a copy.
const ImageBuffer* As24Bit(const ImageBuffer& image, ImageBuffer& converted) {
  if (image.GetBitsPerPixel() == 24) return &image;
  return image.ConvertTo(converted, 24, 0) == 1 ? &converted : nullptr;
}

}  // namespace

int ConvertToBmp(const char* source, const char* target) {
  if (!PathsGiven(source, target)) return ResultBadArguments;
  return LoadThenWrite(source, [&](ImageBuffer& image) {
    ImageBuffer converted;
    const ImageBuffer* picture = As24Bit(image, converted);
    if (picture == nullptr) return false;
    codecs::BmpCodec writer;
    return writer.BeginWrite(target, const_cast<ImageBuffer*>(picture), 24) == 1 && writer.WriteImage() == 1;
  });
}

int ConvertToJpg(const char* source, const char* target, int greyscale, int quality, int optimize, int smoothing) {
  if (!PathsGiven(source, target) || quality < 1 || quality > 100 || smoothing < 0 || smoothing > 100) {
    return ResultBadArguments;
  }
  return LoadThenWrite(source, [&](ImageBuffer& image) {
    codecs::JpegCodec writer;
    const int colour = greyscale == 1 ? 0 : 1;
    return writer.WriteImage(target, &image, quality, colour, optimize, smoothing) == 1;
  });
}

int ConvertToPng(const char* source, const char* target, int bitDepth) {
  if (!PathsGiven(source, target) || bitDepth != 24) return ResultBadArguments;
  return LoadThenWrite(source, [&](ImageBuffer& image) {
    codecs::PngCodec writer;
    return writer.BeginWrite(target, &image, 24, 0) == 1 && writer.WriteImage() == 1;
  });
}

int ConvertToTif(const char* source, const char* target, int eightBit) {
  if (!PathsGiven(source, target)) return ResultBadArguments;
  return LoadThenWrite(source, [&](ImageBuffer& image) {
    codecs::TiffCodec writer;
    return writer.BeginWrite(target, &image, eightBit == 1 ? 8 : 24) == 1 && writer.WriteImage() == 1;
  });
}

}  // namespace engine

// ---------------------------------------------------------------------------
// Commands whose writers have not landed yet: arguments are checked and the
// source is loaded exactly as they will be, but nothing can be written.
namespace engine {
namespace {

int WriterNotAvailable(const char* source) {
  return LoadThenWrite(source, [](ImageBuffer&) { return false; });
}

}  // namespace

int ConvertToPnm(const char* source, const char* target, int, int) {
  if (!PathsGiven(source, target)) return ResultBadArguments;
  return WriterNotAvailable(source);
}

int ConvertToPpm(const char* source, const char* target, int binary) {
  if (!PathsGiven(source, target)) return ResultBadArguments;
  return ConvertToPnm(source, target, binary, 2);
}

int ConvertToPgm(const char* source, const char* target, int binary) {
  if (!PathsGiven(source, target)) return ResultBadArguments;
  return ConvertToPnm(source, target, binary, 1);
}

int ConvertToPcx(const char* source, const char* target) {
  if (!PathsGiven(source, target)) return ResultBadArguments;
  return WriterNotAvailable(source);
}

int ConvertToPic(const char* source, const char* target) {
  if (!PathsGiven(source, target)) return ResultBadArguments;
  return WriterNotAvailable(source);
}

int ConvertToSgi(const char* source, const char* target) {
  if (!PathsGiven(source, target)) return ResultBadArguments;
  return WriterNotAvailable(source);
}

}  // namespace engine
