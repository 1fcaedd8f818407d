#include "engine/commands/ArgumentRecords.h"

#include "engine/commands/ConversionCommands.h"

namespace engine {
namespace {

std::int32_t IntegerOf(const ArgumentRecord& record) { return static_cast<std::int32_t>(record.value); }

void Answer(ArgumentRecord* result, int value) {
  if (result != nullptr) result->value = static_cast<std::uint32_t>(value);
}

bool Enough(ArgumentRecord* result, int count, const ArgumentRecord* arguments, int needed) {
  if (arguments != nullptr && count >= needed) return true;
  Answer(result, ResultBadArguments);
  return false;
}

}  // namespace

ArgumentRecord TextArgument(const char* text) {
  const auto bits = reinterpret_cast<std::uintptr_t>(text);
  return ArgumentRecord{static_cast<std::uint32_t>(bits), static_cast<std::uint32_t>(static_cast<std::uint64_t>(bits) >> 32), 0};
}

ArgumentRecord IntegerArgument(std::int32_t value) { return ArgumentRecord{static_cast<std::uint32_t>(value), 0, 0}; }

const char* TextOf(const ArgumentRecord& record) {
  const std::uint64_t bits = static_cast<std::uint64_t>(record.high) << 32 | record.value;
  return reinterpret_cast<const char*>(static_cast<std::uintptr_t>(bits));
}

void CallConvertToJpg(ArgumentRecord* result, int count, const ArgumentRecord* a) {
  if (!Enough(result, count, a, 6)) return;
  Answer(result, ConvertToJpg(TextOf(a[0]), TextOf(a[1]), IntegerOf(a[2]), IntegerOf(a[3]), IntegerOf(a[4]),
                              IntegerOf(a[5])));
}

void CallConvertToBmp(ArgumentRecord* result, int count, const ArgumentRecord* a) {
  if (!Enough(result, count, a, 2)) return;
  Answer(result, ConvertToBmp(TextOf(a[0]), TextOf(a[1])));
}

void CallConvertToTif(ArgumentRecord* result, int count, const ArgumentRecord* a) {
  if (!Enough(result, count, a, 3)) return;
  Answer(result, ConvertToTif(TextOf(a[0]), TextOf(a[1]), IntegerOf(a[2])));
}

void CallConvertToPng(ArgumentRecord* result, int count, const ArgumentRecord* a) {
  if (!Enough(result, count, a, 3)) return;
  Answer(result, ConvertToPng(TextOf(a[0]), TextOf(a[1]), IntegerOf(a[2])));
}

void CallConvertToPpm(ArgumentRecord* result, int count, const ArgumentRecord* a) {
  if (!Enough(result, count, a, 3)) return;
  Answer(result, ConvertToPpm(TextOf(a[0]), TextOf(a[1]), IntegerOf(a[2])));
}

void CallConvertToPgm(ArgumentRecord* result, int count, const ArgumentRecord* a) {
  if (!Enough(result, count, a, 3)) return;
  Answer(result, ConvertToPgm(TextOf(a[0]), TextOf(a[1]), IntegerOf(a[2])));
}

void CallConvertToPcx(ArgumentRecord* result, int count, const ArgumentRecord* a) {
  if (!Enough(result, count, a, 2)) return;
  Answer(result, ConvertToPcx(TextOf(a[0]), TextOf(a[1])));
}

void CallConvertToPic(ArgumentRecord* result, int count, const ArgumentRecord* a) {
  if (!Enough(result, count, a, 2)) return;
  Answer(result, ConvertToPic(TextOf(a[0]), TextOf(a[1])));
}

void CallConvertToSgi(ArgumentRecord* result, int count, const ArgumentRecord* a) {
  if (!Enough(result, count, a, 2)) return;
  Answer(result, ConvertToSgi(TextOf(a[0]), TextOf(a[1])));
}

}  // namespace engine
