// The host's library-command calling convention: a result slot, an argument
// count and 12-byte argument records. A thin adapter over the typed commands.
#pragma once

#include <cstdint>

namespace engine {

struct ArgumentRecord {
  std::uint32_t value;  // an integer, a boolean, or the low half of a pointer
  std::uint32_t high;   // the high half of a pointer on 64-bit
  std::uint32_t type;   // the caller's type tag; not examined
};
static_assert(sizeof(ArgumentRecord) == 12);

// A text argument as a record, and back; null stays null.
ArgumentRecord TextArgument(const char* text);
ArgumentRecord IntegerArgument(std::int32_t value);
const char* TextOf(const ArgumentRecord& record);

// Each writes its ConversionResult into result->value; fewer records than the
// command takes give -7.
void CallConvertToJpg(ArgumentRecord* result, int count, const ArgumentRecord* arguments);
void CallConvertToBmp(ArgumentRecord* result, int count, const ArgumentRecord* arguments);
void CallConvertToTif(ArgumentRecord* result, int count, const ArgumentRecord* arguments);
void CallConvertToPng(ArgumentRecord* result, int count, const ArgumentRecord* arguments);
void CallConvertToPpm(ArgumentRecord* result, int count, const ArgumentRecord* arguments);
void CallConvertToPgm(ArgumentRecord* result, int count, const ArgumentRecord* arguments);
void CallConvertToPcx(ArgumentRecord* result, int count, const ArgumentRecord* arguments);
void CallConvertToPic(ArgumentRecord* result, int count, const ArgumentRecord* arguments);
void CallConvertToSgi(ArgumentRecord* result, int count, const ArgumentRecord* arguments);

}  // namespace engine
