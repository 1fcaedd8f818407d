// The engine's public interface: one conversion command per target format.
// Each reads the source whatever its format, brings the picture to the depth
// its writer takes and writes the target; it answers one ConversionResult.
// Flags are ints compared with 1, as callers pass them.
#pragma once

#include "engine/commands/ConversionResult.h"

namespace engine {

int ConvertToJpg(const char* source, const char* target, int greyscale, int quality, int optimize, int smoothing);
int ConvertToBmp(const char* source, const char* target);
// eightBit == 1: an 8-bit grey TIFF; any other value: 24-bit colour.
int ConvertToTif(const char* source, const char* target, int eightBit);
// bitDepth must be exactly 24.
int ConvertToPng(const char* source, const char* target, int bitDepth);
// binary == 1: raw "P6" / "P5"; any other value: text "P3" / "P2".
int ConvertToPpm(const char* source, const char* target, int binary);
int ConvertToPgm(const char* source, const char* target, int binary);
// mode 2: colour pixel map, mode 1: grey map.
int ConvertToPnm(const char* source, const char* target, int binary, int mode);
int ConvertToPcx(const char* source, const char* target);
int ConvertToPic(const char* source, const char* target);
int ConvertToSgi(const char* source, const char* target);

}  // namespace engine
