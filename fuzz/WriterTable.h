// Every writer, driven the way its command drives it, for the round-trip harness.
#pragma once

#include "codecs/library/JpegCodec.h"
#include "codecs/library/PngCodec.h"
#include "codecs/library/TiffCodec.h"
#include "codecs/native/BmpCodec.h"
#include "codecs/native/PcxCodec.h"
#include "codecs/native/PicEncoder.h"
#include "codecs/native/PnmEncoder.h"
#include "codecs/native/SgiEncoder.h"

namespace fuzzsupport {

enum class Readable { No, Exact, UnlessThin, Lossy };

struct Writer {
  const char* name;
  Readable readable;
  int (*write)(const char* path, engine::ImageBuffer& picture);
};

template <class Codec>
int WriteAt24(const char* path, engine::ImageBuffer& picture) {
  engine::ImageBuffer rgb;
  if (picture.ConvertTo(rgb, 24, 0) != 1) return 0;
  Codec codec;
  return codec.BeginWrite(path, &rgb, 24) == 1 && codec.WriteImage() == 1 ? 1 : 0;
}

inline int WritePng(const char* path, engine::ImageBuffer& picture) {
  codecs::PngCodec codec;
  return codec.BeginWrite(path, &picture, 24, 0) == 1 && codec.WriteImage() == 1 ? 1 : 0;
}
inline int WriteJpeg(const char* path, engine::ImageBuffer& picture) {
  codecs::JpegCodec codec;
  return codec.WriteImage(path, &picture, 99, 1, 1, 50);
}
inline int WriteTiff(const char* path, engine::ImageBuffer& picture) {
  codecs::TiffCodec codec;
  return codec.BeginWrite(path, &picture, 24) == 1 && codec.WriteImage() == 1 ? 1 : 0;
}
template <int Mode, int Binary>
int WritePnm(const char* path, engine::ImageBuffer& picture) {
  codecs::PnmEncoder codec;
  return codec.BeginWrite(path, &picture, Mode, Binary) == 1 && codec.WriteImage() == 1 ? 1 : 0;
}
inline int WriteSgi(const char* path, engine::ImageBuffer& picture) {
  codecs::SgiEncoder codec;
  return codec.BeginWrite(path, &picture, 24, 0) == 1 && codec.WriteImage() == 1 ? 1 : 0;
}
inline int WritePic(const char* path, engine::ImageBuffer& picture) {
  codecs::PicEncoder codec;
  return codec.BeginWrite(path, &picture, 24) == 1 && codec.WriteImage() == 1 ? 1 : 0;
}

inline const Writer kWriters[] = {
    {"BMP", Readable::Exact, &WriteAt24<codecs::BmpCodec>},
    {"PCX", Readable::UnlessThin, &WriteAt24<codecs::PcxCodec>},
    {"PNG", Readable::Exact, &WritePng},
    {"TIFF", Readable::Exact, &WriteTiff},
    {"JPEG", Readable::Lossy, &WriteJpeg},
    {"PPM", Readable::No, &WritePnm<2, 1>},
    {"PGM", Readable::No, &WritePnm<1, 1>},
    {"PPM text", Readable::No, &WritePnm<2, 0>},
    {"PGM text", Readable::No, &WritePnm<1, 0>},
    {"SGI", Readable::No, &WriteSgi},
    {"PIC", Readable::No, &WritePic},
};

}  // namespace fuzzsupport
