#include "engine/commands/ConversionCommands.h"

#include "codecs/library/JpegCodec.h"
#include "codecs/library/PngCodec.h"
#include "codecs/library/TiffCodec.h"
#include "codecs/native/BmpCodec.h"
#include "codecs/native/PcxCodec.h"
#include "codecs/native/PicEncoder.h"
#include "codecs/native/PnmEncoder.h"
#include "codecs/native/SgiEncoder.h"
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

int ConvertToPng(const char* source, const char* target, int bitDepth) {
  if (!PathsGiven(source, target) || bitDepth != 24) return ResultBadArguments;
  return LoadThenWrite(source, [&](ImageBuffer& image) {
    codecs::PngCodec writer;
    return writer.BeginWrite(target, &image, 24, 0) == 1 && writer.WriteImage() == 1;
  });
}

// The encoder converts to the depth it writes itself.
int ConvertToPnm(const char* source, const char* target, int binary, int mode) {
  if (!PathsGiven(source, target)) return ResultBadArguments;
  return LoadThenWrite(source, [&](ImageBuffer& image) {
    codecs::PnmEncoder writer;
    return writer.BeginWrite(target, &image, mode, binary) == 1 && writer.WriteImage() == 1;
  });
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
  return LoadThenWrite(source, [&](ImageBuffer& image) {
    ImageBuffer converted;
    const ImageBuffer* picture = As24Bit(image, converted);
    if (picture == nullptr) return false;
    codecs::PcxCodec writer;
    return writer.BeginWrite(target, const_cast<ImageBuffer*>(picture), 24) == 1 && writer.WriteImage() == 1;
  });
}

int ConvertToSgi(const char* source, const char* target) {
  if (!PathsGiven(source, target)) return ResultBadArguments;
  return LoadThenWrite(source, [&](ImageBuffer& image) {
    codecs::SgiEncoder writer;
    return writer.BeginWrite(target, &image, 24, 0) == 1 && writer.WriteImage() == 1;
  });
}

int ConvertToPic(const char* source, const char* target) {
  if (!PathsGiven(source, target)) return ResultBadArguments;
  return LoadThenWrite(source, [&](ImageBuffer& image) {
    codecs::PicEncoder writer;
    return writer.BeginWrite(target, &image, 24) == 1 && writer.WriteImage() == 1;
  });
}

// eightBit == 1 writes 8-bit grey; any other value (2 included) 24-bit colour.
int ConvertToTif(const char* source, const char* target, int eightBit) {
  if (!PathsGiven(source, target)) return ResultBadArguments;
  return LoadThenWrite(source, [&](ImageBuffer& image) {
    codecs::TiffCodec writer;
    return writer.BeginWrite(target, &image, eightBit == 1 ? 8 : 24) == 1 && writer.WriteImage() == 1;
  });
}

}  // namespace engine
