// pictomill-convert FORMAT SOURCE TARGET [OPTIONS]: one conversion command for
// scripts and benchmarks, with the window program's own arguments as defaults.
// pictomill-convert FORMAT --into DIR [-j N] [--skip-existing] [OPTIONS] SOURCE...:
// the batch, naming targets as the window's batch does ("photo.jpg" ->
// "DIR/photo.jpg.png"); existing targets are replaced unless skipped.
// --help prints the usage to standard output; a usage error prints it to
// standard error and exits 2.
// Arguments arrive in the system's encoding (UTF-8 on Linux, UTF-16 on Windows)
// and are turned into the program's code page once, at the start; messages go
// back through the platform layer, legible on either system.
#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "Version.h"
#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#endif

#include "engine/commands/ConversionCommands.h"
#include "platform/Platform.h"

namespace {

constexpr int kUsageError = 2;

// One command-line argument in the code page; converted is false when the
// system's text has no spelling there (a lone UTF-16 surrogate, bad UTF-8).
struct Argument {
  std::string text;
  bool converted = true;
};
using Arguments = std::vector<Argument>;

void Print(const std::string& text) { platform::WriteStandardError(text + "\n"); }

// The name to show for an argument that did not convert.
std::string Shown(const Argument& argument) {
  return argument.converted ? argument.text : std::string("(a name the code page cannot spell)");
}

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
  const char* options;  // one line per option, with its default; empty for none
};
constexpr Format kFormats[] = {
    {"jpg", true,
     "--grey           grey instead of colour (default: colour)\n"
     "--quality N      1 to 100 (default: 99)\n"
     "--smoothing N    0 to 100 (default: 50)\n"
     "--no-optimize    the standard Huffman tables (default: optimised tables)\n"},
    {"bmp", true, ""},
    {"tif", true, "--8bit           8-bit grey (default: 24-bit colour)\n"},
    {"png", true, "--depth N        bits per pixel; only 24 is written (default: 24)\n"},
    {"ppm", true, "--plain          text samples, P3 (default: binary, P6)\n"},
    {"pgm", true, "--plain          text samples, P2 (default: binary, P5)\n"},
    {"pcx", true, ""},
    {"pic", true, ""},
    {"sgi", true, ""},
};

void PrintUsage(std::FILE* out) {
  std::fputs(
      "usage: pictomill-convert FORMAT SOURCE TARGET [OPTIONS]\n"
      "       pictomill-convert FORMAT --into DIR [-j N] [--skip-existing] [OPTIONS] SOURCE...\n"
      "       pictomill-convert --help | --version\n"
      "\n"
      "Converts SOURCE (JPEG, BMP, TIFF, PNG, PCX or Photo CD, recognised by its\n"
      "content) to FORMAT in TARGET. With --into, converts every SOURCE into DIR as\n"
      "NAME.FORMAT (photo.jpg -> DIR/photo.jpg.png), N at a time (default: the\n"
      "number of processors, at most 4); targets that exist are replaced, or kept\n"
      "with --skip-existing.\n"
      "\n"
      "FORMAT and its OPTIONS (the defaults are the window program's):\n",
      out);
  for (const Format& format : kFormats) {
    if (!format.available) continue;
    if (*format.options == '\0') {
      std::fprintf(out, "  %-5s(no options)\n", format.name);
      continue;
    }
    const char* line = format.options;
    for (bool first = true; *line != '\0'; first = false) {
      const char* end = std::strchr(line, '\n');
      std::fprintf(out, "  %-5s%.*s\n", first ? format.name : "", static_cast<int>(end - line), line);
      line = end + 1;
    }
  }
  std::fputs(
      "\n"
      "Exit status: 0 converted, 1 source missing, 2 usage error, 3 source not\n"
      "recognised or not decodable, 4 target not written, 7 bad arguments (an option\n"
      "out of range). A batch exits 0 only when every file converted, else with the\n"
      "status of the first failure in source order.\n",
      out);
}

int Usage(const char* problem) {
  if (problem != nullptr) Print(std::string("pictomill-convert: ") + problem);
  PrintUsage(stderr);
  return kUsageError;
}

bool ParseNumber(const std::string& argument, int& value) {
  const char* text = argument.c_str();
  errno = 0;
  char* end = nullptr;
  const long parsed = std::strtol(text, &end, 10);
  if (end == text || *end != '\0' || errno == ERANGE || parsed < INT_MIN || parsed > INT_MAX) return false;
  value = static_cast<int>(parsed);
  return true;
}

// Returns false with a reason for an unknown or malformed option.
bool ParseOptions(const std::string& format, const std::vector<std::string>& arguments, Options& options,
                  std::string& problem) {
  const auto count = arguments.size();
  for (std::size_t i = 0; i < count; ++i) {
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

int Run(const std::string& format, const Argument& sourceArgument, const Argument& targetArgument, const Options& o) {
  // A path that has no spelling in the code page names nothing that exists
  // and nothing that can be written.
  if (!sourceArgument.converted) return engine::ResultFileMissing;
  if (!targetArgument.converted) return engine::ResultWriteFailed;
  const char* source = sourceArgument.text.c_str();
  const char* target = targetArgument.text.c_str();
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

bool TakesNumber(const std::string& option) {
  return option == "--quality" || option == "--smoothing" || option == "--depth";
}

struct BatchFile {
  Argument source;  // as given
  Argument target;
  int result = engine::ResultOk;
  bool skipped = false;
};

// Anything at the path, a folder included, is a target that exists.
bool TargetExists(const std::string& path) {
  bool isDirectory = false;
  bool isRegularFile = false;
  return platform::GetPathKind(path.c_str(), isDirectory, isRegularFile);
}

// Every file is converted (none stops the others); the status is the first
// failure's in source order, so it does not depend on which worker was first.
int RunBatch(const std::string& format, const Arguments& argv) {
  const int argc = static_cast<int>(argv.size());
  if (argc < 4) return Usage("--into needs a folder");
  const Argument& folder = argv[3];
  int workers = static_cast<int>(std::min(std::max(std::thread::hardware_concurrency(), 1U), 4U));
  bool skipExisting = false;
  std::vector<std::string> optionTokens;
  int i = 4;
  for (; i < argc && argv[i].text.size() > 1 && argv[i].text[0] == '-'; ++i) {
    const std::string& token = argv[i].text;
    if (token == "--") {
      ++i;
      break;
    }
    if (token == "-j") {
      if (i + 1 >= argc || !ParseNumber(argv[i + 1].text, workers) || workers < 1) {
        return Usage("-j takes a number from 1");
      }
      ++i;
      continue;
    }
    if (token == "--skip-existing") {
      skipExisting = true;
      continue;
    }
    optionTokens.push_back(token);
    if (TakesNumber(token) && i + 1 < argc) optionTokens.push_back(argv[++i].text);
  }
  Options options;
  std::string problem;
  if (!ParseOptions(format, optionTokens, options, problem)) return Usage(problem.c_str());
  if (i >= argc) return Usage("--into needs at least one SOURCE");

  std::string prefix = folder.text;
  const std::size_t folderEnd = platform::FindLastSeparator(prefix);
  if (!prefix.empty() && (folderEnd == std::string::npos || folderEnd + 1 != prefix.size())) {
    prefix += platform::kPathSeparator;
  }
  std::vector<BatchFile> files;
  std::map<std::string, std::string> targets;  // target -> the source that makes it
  for (; i < argc; ++i) {
    BatchFile file;
    file.source = argv[i];
    const std::string& source = file.source.text;
    const std::size_t slash = platform::FindLastSeparator(source);
    const std::string name = slash == std::string::npos ? source : source.substr(slash + 1);
    if (file.source.converted && name.empty()) return Usage(("\"" + source + "\" names no file").c_str());
    file.target = {prefix + name + "." + format, folder.converted};
    if (file.source.converted) {
      const auto [clash, fresh] = targets.emplace(file.target.text, source);
      if (!fresh) {
        return Usage((clash->second + " and " + source + " would both write " + file.target.text).c_str());
      }
    }
    files.push_back(std::move(file));
  }
  // A worker would read a file while another one replaces it.
  for (const BatchFile& written : files) {
    for (const BatchFile& read : files) {
      if (!written.target.converted || !read.source.converted) continue;
      if (written.target.text == read.source.text ||
          platform::IsSameFile(written.target.text.c_str(), read.source.text.c_str())) {
        return Usage((written.source.text + " would write " + read.source.text + ", which is also a source").c_str());
      }
    }
  }
  // Decided for every file before the first is converted, as the window does.
  if (skipExisting) {
    for (BatchFile& file : files) file.skipped = file.target.converted && TargetExists(file.target.text);
  }

  std::atomic<std::size_t> next{0};
  auto work = [&] {
    for (std::size_t k = next++; k < files.size(); k = next++) {
      if (files[k].skipped) continue;
      files[k].result = Run(format, files[k].source, files[k].target, options);
    }
  };
  const auto count = static_cast<std::size_t>(workers) < files.size() ? static_cast<std::size_t>(workers)
                                                                       : files.size();
  std::vector<std::thread> pool;
  for (std::size_t w = 1; w < count; ++w) pool.emplace_back(work);
  work();
  for (std::thread& thread : pool) thread.join();

  int status = 0;
  for (const BatchFile& file : files) {
    if (file.skipped) {
      Print("pictomill-convert: " + Shown(file.source) + ": skipped, the target exists");
      continue;
    }
    if (file.result == engine::ResultOk) continue;
    Print("pictomill-convert: " + Shown(file.source) + ": " + Reason(file.result));
    if (status == 0) status = ExitStatus(file.result);
  }
  return status;
}

int RunTool(const Arguments& argv) {
  const int argc = static_cast<int>(argv.size());
  if (argc == 2 && argv[1].text == "--help") {
    PrintUsage(stdout);
    return std::fflush(stdout) == 0 ? 0 : 1;
  }
  if (argc == 2 && argv[1].text == "--version") {
    std::printf("pictomill-convert %s\n", PICTOMILL_VERSION);
    return std::fflush(stdout) == 0 ? 0 : 1;
  }
  if (argc < 4) return Usage(argc < 2 ? nullptr : "needs FORMAT, SOURCE and TARGET");
  const std::string& format = argv[1].text;
  const Format* known = nullptr;
  for (const Format& candidate : kFormats) {
    if (format == candidate.name) known = &candidate;
  }
  if (known == nullptr) return Usage(("unknown format " + format).c_str());
  if (!known->available) return Usage(("format " + format + " is not available in this build yet").c_str());
  if (argv[2].text == "--into") return RunBatch(format, argv);

  Options options;
  std::string problem;
  std::vector<std::string> optionTexts;
  for (int i = 4; i < argc; ++i) optionTexts.push_back(argv[i].text);
  if (!ParseOptions(format, optionTexts, options, problem)) return Usage(problem.c_str());

  const int result = Run(format, argv[2], argv[3], options);
  if (result != engine::ResultOk) Print("pictomill-convert: " + Shown(argv[2]) + ": " + Reason(result));
  return ExitStatus(result);
}

}  // namespace

#ifdef _WIN32
// wmain: the arguments as the system has them (UTF-16), not squeezed through
// the ANSI code page first.
int wmain(int argc, wchar_t** argv) {
  // Text mode would end the usage lines with "\r\n"; the bytes are the same as on Linux.
  (void)_setmode(_fileno(stdout), _O_BINARY);
  (void)_setmode(_fileno(stderr), _O_BINARY);
  Arguments arguments;
  for (int i = 0; i < argc; ++i) {
    const std::u16string utf16(argv[i], argv[i] + std::wcslen(argv[i]));
    Argument argument;
    argument.converted = platform::Utf16ToCodePage(utf16, argument.text);
    if (!argument.converted) argument.text.clear();
    arguments.push_back(std::move(argument));
  }
  return RunTool(arguments);
}
#else
int main(int argc, char** argv) {
  Arguments arguments;
  for (int i = 0; i < argc; ++i) {
    Argument argument;
    argument.converted = platform::Utf8ToCodePage(argv[i], argument.text);
    if (!argument.converted) argument.text.clear();
    arguments.push_back(std::move(argument));
  }
  return RunTool(arguments);
}
#endif
