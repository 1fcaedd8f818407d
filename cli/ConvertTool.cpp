// pictomill-convert FORMAT SOURCE TARGET [OPTIONS]: one conversion command for
// scripts and benchmarks, with the window program's own arguments as defaults.
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "engine/commands/ConversionCommands.h"
#include "platform/Platform.h"

namespace {

constexpr int kUsageError = 2;

struct Options {
  int greyscale = 0;
  int quality = 99;
  int smoothing = 50;
  int optimize = 1;
  int eightBit = 0;
  int pngDepth = 24;
  int binary = 1;
};

// Formats whose writer exists; the others answer with a usage error.
struct Format {
  const char* name;
  bool available;
  const char* options;
};
constexpr Format kFormats[] = {
    {"jpg", true, "[--grey] [--quality N] [--smoothing N] [--no-optimize]"},
    {"bmp", true, ""},
    {"tif", true, "[--8bit]"},
    {"png", true, "[--depth N]"},
    {"ppm", true, "[--plain]"},
    {"pgm", true, "[--plain]"},
    {"pcx", true, ""},
    {"pic", true, ""},
    {"sgi", true, ""},
};

int Usage(const char* problem) {
  if (problem != nullptr) std::fprintf(stderr, "pictomill-convert: %s\n", problem);
  std::fprintf(stderr, "usage: pictomill-convert FORMAT SOURCE TARGET [OPTIONS]\n");
  for (const Format& format : kFormats) {
    if (format.available) std::fprintf(stderr, "  %s %s\n", format.name, format.options);
  }
  return kUsageError;
}

bool ParseNumber(const char* text, int& value) {
  errno = 0;
  char* end = nullptr;
  const long parsed = std::strtol(text, &end, 10);
  if (end == text || *end != '\0' || errno == ERANGE || parsed < INT_MIN || parsed > INT_MAX) return false;
  value = static_cast<int>(parsed);
  return true;
}

// Returns false with a reason for an unknown or malformed option.
bool ParseOptions(const std::string& format, int count, char** arguments, Options& options, std::string& problem) {
  for (int i = 0; i < count; ++i) {
    const std::string option = arguments[i];
    auto number = [&](int& value) {
      if (i + 1 >= count) {
        problem = option + " needs a number";
        return false;
      }
      if (!ParseNumber(arguments[++i], value)) {
        problem = option + " takes a whole number, not \"" + arguments[i] + "\"";
        return false;
      }
      return true;
    };
    bool known = true;
    if (format == "jpg" && option == "--grey") {
      options.greyscale = 1;
    } else if (format == "jpg" && option == "--no-optimize") {
      options.optimize = 0;
    } else if (format == "jpg" && option == "--quality") {
      if (!number(options.quality)) return false;
    } else if (format == "jpg" && option == "--smoothing") {
      if (!number(options.smoothing)) return false;
    } else if (format == "tif" && option == "--8bit") {
      options.eightBit = 1;
    } else if (format == "png" && option == "--depth") {
      if (!number(options.pngDepth)) return false;
    } else if ((format == "ppm" || format == "pgm") && option == "--plain") {
      options.binary = 0;
    } else {
      known = false;
    }
    if (!known) {
      problem = "unknown option " + option + " for " + format;
      return false;
    }
  }
  return true;
}

const char* Reason(int result) {
  switch (result) {
    case engine::ResultFileMissing:
      return "source file does not exist";
    case engine::ResultUnreadable:
      return "source not recognised or not decodable";
    case engine::ResultWriteFailed:
      return "target could not be written";
    case engine::ResultBadArguments:
      return "bad arguments (a path is missing or an option is out of range)";
    default:
      return "unexpected result";
  }
}

int ExitStatus(int result) {
  switch (result) {
    case engine::ResultOk:
      return 0;
    case engine::ResultFileMissing:
      return 1;
    case engine::ResultUnreadable:
      return 3;
    case engine::ResultWriteFailed:
      return 4;
    case engine::ResultBadArguments:
      return 7;
    default:
      return 5;
  }
}

int Run(const std::string& format, const char* source, const char* target, const Options& o) {
  if (format == "jpg") return engine::ConvertToJpg(source, target, o.greyscale, o.quality, o.optimize, o.smoothing);
  if (format == "bmp") return engine::ConvertToBmp(source, target);
  if (format == "tif") return engine::ConvertToTif(source, target, o.eightBit);
  if (format == "png") return engine::ConvertToPng(source, target, o.pngDepth);
  if (format == "ppm") return engine::ConvertToPpm(source, target, o.binary);
  if (format == "pgm") return engine::ConvertToPgm(source, target, o.binary);
  if (format == "pcx") return engine::ConvertToPcx(source, target);
  if (format == "pic") return engine::ConvertToPic(source, target);
  return engine::ConvertToSgi(source, target);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 4) return Usage(argc < 2 ? nullptr : "needs FORMAT, SOURCE and TARGET");
  const std::string format = argv[1];
  const Format* known = nullptr;
  for (const Format& candidate : kFormats) {
    if (format == candidate.name) known = &candidate;
  }
  if (known == nullptr) return Usage(("unknown format " + format).c_str());
  if (!known->available) return Usage(("format " + format + " is not available in this build yet").c_str());

  Options options;
  std::string problem;
  if (!ParseOptions(format, argc - 4, argv + 4, options, problem)) return Usage(problem.c_str());

  // The terminal speaks UTF-8; the engine takes the program's code page.
  std::string source;
  std::string target;
  if (!platform::Utf8ToCodePage(argv[2], source) || !platform::Utf8ToCodePage(argv[3], target)) {
    return Usage("a path could not be converted to the program's code page");
  }
  const int result = Run(format, source.c_str(), target.c_str(), options);
  if (result != engine::ResultOk) std::fprintf(stderr, "pictomill-convert: %s: %s\n", argv[2], Reason(result));
  return ExitStatus(result);
}
