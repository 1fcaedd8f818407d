// The nine conversion commands as a table, called with the window program's
// own arguments, for the hostile-file, fault and load tests.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "engine/commands/ConversionCommands.h"
#include "engine/commands/LoaderChain.h"

namespace hardening {

struct Command {
  const char* name;  // also the target's extension
  int (*run)(const char* source, const char* target);
};

inline const std::vector<Command>& Commands() {
  static const std::vector<Command> commands = {
      {"jpg", [](const char* s, const char* t) { return engine::ConvertToJpg(s, t, 0, 99, 1, 50); }},
      {"bmp", [](const char* s, const char* t) { return engine::ConvertToBmp(s, t); }},
      {"tif", [](const char* s, const char* t) { return engine::ConvertToTif(s, t, 0); }},
      {"png", [](const char* s, const char* t) { return engine::ConvertToPng(s, t, 24); }},
      {"ppm", [](const char* s, const char* t) { return engine::ConvertToPpm(s, t, 1); }},
      {"pgm", [](const char* s, const char* t) { return engine::ConvertToPgm(s, t, 1); }},
      {"pcx", [](const char* s, const char* t) { return engine::ConvertToPcx(s, t); }},
      {"pic", [](const char* s, const char* t) { return engine::ConvertToPic(s, t); }},
      {"sgi", [](const char* s, const char* t) { return engine::ConvertToSgi(s, t); }},
  };
  return commands;
}

// The TIFF writer lands with the TIFF reader; until then ConvertToTif can only
// answer -4 after a successful load.
inline bool HaveTiff() { return engine::HasReader("TIFF"); }

// The result a command must give for a source whose load gives loadResult.
inline int CommandResultFor(const Command& command, int loadResult) {
  if (loadResult != engine::ResultOk) return loadResult;
  if (std::string(command.name) == "tif" && !HaveTiff()) return engine::ResultWriteFailed;
  return engine::ResultOk;
}

// "ORBCLASS*.tmp" entries among the process's open descriptors and mappings.
int ScratchDescriptors();
int ScratchMappings();

}  // namespace hardening
