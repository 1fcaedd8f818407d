// Faults around a conversion: a full disk under every writer, an unusable
// temporary directory, a target folder that is not there, and a source that
// vanishes between the existence test and the read.
#include <gtest/gtest.h>

#include <dlfcn.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>

#include "platform/Platform.h"
#include "tests/hardening/HardeningSupport.h"
#include "tests/support/TestSupport.h"

// --- A source that vanishes: fopen of an armed path, made deterministic -------
//
// The engine opens sources only through fopen (platform::OpenFile). This
// program's own fopen runs first: on the armed read-open of the armed path it
// deletes the file (or renames its folder away) and then lets the real fopen
// fail, exactly as if another process had removed it after the existence test.

namespace {

using testsupport::TmpdirOverride;

struct VanishPlan {
  std::string path;      // the source, as the system sees it
  std::string renameTo;  // non-empty: rename the source's folder to this instead
  int atOpen = 0;        // 1 = the first read-open of the path, ...
  int opens = 0;
};
std::atomic<VanishPlan*> gVanish{nullptr};

}  // namespace

extern "C" FILE* fopen(const char* path, const char* mode) {
  using OpenFunction = FILE* (*)(const char*, const char*);
  static const auto realOpen = reinterpret_cast<OpenFunction>(::dlsym(RTLD_NEXT, "fopen"));
  VanishPlan* plan = gVanish.load();
  if (plan != nullptr && path != nullptr && mode != nullptr && mode[0] == 'r' && plan->path == path &&
      ++plan->opens == plan->atOpen) {
    if (plan->renameTo.empty()) {
      ::unlink(path);
    } else {
      const std::string folder = plan->path.substr(0, plan->path.rfind('/'));
      std::rename(folder.c_str(), plan->renameTo.c_str());
    }
  }
  return realOpen(path, mode);
}

namespace {

using testsupport::Bytes;
using testsupport::Join;

// Sources of every reader, made by the engine's own writers from a noise
// picture: a 24-bit BMP first, the others converted from it.
struct Source {
  std::string reader;
  std::string path;
};

std::vector<Source> MakeSources(const std::string& dir, int side) {
  const std::string bmp = Join(dir, "source.bmp");
  EXPECT_TRUE(testsupport::WriteBytes(bmp, testsupport::MakeBmp(side, side, testsupport::PatternRgb(side, side, 3))));
  std::vector<Source> sources = {{"BMP", bmp}};
  const std::string jpg = Join(dir, "source.jpg");
  const std::string grey = Join(dir, "grey.jpg");
  const std::string png = Join(dir, "source.png");
  const std::string pcx = Join(dir, "source.pcx");
  EXPECT_EQ(engine::ConvertToJpg(bmp.c_str(), jpg.c_str(), 0, 95, 1, 0), engine::ResultOk);
  EXPECT_EQ(engine::ConvertToJpg(bmp.c_str(), grey.c_str(), 1, 95, 1, 0), engine::ResultOk);
  EXPECT_EQ(engine::ConvertToPng(bmp.c_str(), png.c_str(), 24), engine::ResultOk);
  EXPECT_EQ(engine::ConvertToPcx(bmp.c_str(), pcx.c_str()), engine::ResultOk);
  sources.push_back({"JPEG", jpg});
  sources.push_back({"JPEG grey", grey});
  sources.push_back({"PNG", png});
  sources.push_back({"PCX", pcx});
  if (hardening::HaveTiff()) {
    const std::string tif = Join(dir, "source.tif");
    EXPECT_EQ(engine::ConvertToTif(bmp.c_str(), tif.c_str(), 0), engine::ResultOk);
    sources.push_back({"TIFF", tif});
  }
  return sources;
}

// Runs body in a child whose files may not grow past limit bytes, SIGXFSZ
// ignored, so a write past it fails with EFBIG as on a full disk. Returns
// body's result, or -100 when the child did not end normally.
int WithFileSizeLimit(std::uint64_t limit, const std::function<int()>& body) {
  std::fflush(nullptr);
  const pid_t child = ::fork();
  if (child == 0) {
    std::signal(SIGXFSZ, SIG_IGN);
    const rlimit cap{static_cast<rlim_t>(limit), static_cast<rlim_t>(limit)};
    ::setrlimit(RLIMIT_FSIZE, &cap);
    ::_exit(body() + 64);
  }
  int status = 0;
  if (child < 0 || ::waitpid(child, &status, 0) != child || !WIFEXITED(status)) return -100;
  return WEXITSTATUS(status) - 64;
}

std::uint32_t PixelBytesOf(const std::string& path) {
  engine::ImageBuffer image;
  return engine::LoadAnyImage(path.c_str(), image) == engine::ResultOk ? image.GetPixelBytes() : 0;
}

// The names in a folder: a replacement left beside its target shows here.
std::vector<std::string> NamesIn(const std::string& folder) {
  std::vector<std::string> names;
  for (const platform::FoundEntry& entry : platform::FindEntries(Join(folder, "*").c_str())) names.push_back(entry.name);
  return names;
}

// The load still fits under the limit (its scratch file is as big as the
// picture's pixels), the target does not: every writer must notice, and the
// file at the target, the source itself when the command writes onto its own
// path, must come through byte for byte.
TEST(Faults, FullDiskUnderEveryWriterGivesMinus4AndKeepsTheFileThere) {
  const Bytes previous(3000, 'P');
  int checked = 0;
  for (const int side : {8, 48}) {
    const std::string dir = testsupport::MakeTempSubdir("disk");
    const auto sources = MakeSources(dir, side);
    for (const hardening::Command& command : hardening::Commands()) {
      if (std::string(command.name) == "tif" && !hardening::HaveTiff()) continue;
      // A grey map is a third of the colour picture's size: it gets a grey source.
      const std::string source = std::string(command.name) == "pgm" ? sources[2].path : sources[0].path;
      const std::uint32_t limit = PixelBytesOf(source);
      ASSERT_GT(limit, 0u);
      const std::string target = Join(dir, std::string("full.") + command.name);
      ASSERT_EQ(command.run(source.c_str(), target.c_str()), engine::ResultOk) << command.name;
      const std::size_t unlimited = testsupport::ReadBytes(target).size();
      if (unlimited <= limit) continue;  // this picture's file would fit: no full disk to see
      const std::vector<std::string> before = NamesIn(dir);

      ASSERT_TRUE(testsupport::WriteBytes(target, previous));
      const int result = WithFileSizeLimit(limit, [&] { return command.run(source.c_str(), target.c_str()); });
      EXPECT_EQ(result, engine::ResultWriteFailed)
          << command.name << " at " << side << "x" << side << ": limit " << limit << ", file " << unlimited;
      EXPECT_EQ(testsupport::ReadBytes(target), previous) << command.name;

      const std::string own = Join(dir, std::string("own-source.") + command.name);
      const Bytes sourceBytes = testsupport::ReadBytes(source);
      ASSERT_TRUE(testsupport::WriteBytes(own, sourceBytes));
      EXPECT_EQ(WithFileSizeLimit(limit, [&] { return command.run(own.c_str(), own.c_str()); }),
                engine::ResultWriteFailed)
          << command.name << " onto its own path";
      EXPECT_EQ(testsupport::ReadBytes(own), sourceBytes) << command.name << " onto its own path";
      std::remove(own.c_str());

      EXPECT_EQ(NamesIn(dir), before) << command.name;
      EXPECT_TRUE(testsupport::ScratchFiles().empty()) << command.name;
      std::remove(target.c_str());
      ++checked;
    }
  }
  std::printf("%d writer runs on a full disk\n", checked);
  // Every writer was seen failing at least at one of the two sizes.
  EXPECT_GE(checked, static_cast<int>(hardening::Commands().size()) - (hardening::HaveTiff() ? 0 : 1));
}

// Pictures a format or its library cannot hold are refused before anything is
// opened: the file at the target, or the source under its own path, stays.
TEST(Faults, APictureTheTargetCannotHoldKeepsTheFileThere) {
  const std::string dir = testsupport::MakeTempSubdir("toobig");
  struct Case {
    const char* command;
    int width;
    int height;
  };
  // Past the 16-bit size fields, and past the JPEG library's 65,500.
  for (const Case c : {Case{"sgi", 65536, 1}, Case{"sgi", 1, 65536}, Case{"pcx", 65536, 1}, Case{"pic", 1, 65536},
                       Case{"jpg", 65501, 1}, Case{"jpg", 1, 65501}}) {
    SCOPED_TRACE(std::string(c.command) + " " + std::to_string(c.width) + "x" + std::to_string(c.height));
    const hardening::Command* command = nullptr;
    for (const hardening::Command& each : hardening::Commands()) {
      if (std::string(each.name) == c.command) command = &each;
    }
    ASSERT_NE(command, nullptr);
    const std::string source = Join(dir, "wide.bmp");
    const Bytes sourceBytes =
        testsupport::MakeBmp(c.width, c.height, Bytes(static_cast<std::size_t>(c.width) * c.height * 3, 0x5A));
    ASSERT_TRUE(testsupport::WriteBytes(source, sourceBytes));
    const std::string target = Join(dir, std::string("previous.") + c.command);
    const Bytes previous(100, 'P');
    ASSERT_TRUE(testsupport::WriteBytes(target, previous));

    EXPECT_EQ(command->run(source.c_str(), target.c_str()), engine::ResultWriteFailed);
    EXPECT_EQ(testsupport::ReadBytes(target), previous);
    EXPECT_EQ(command->run(source.c_str(), source.c_str()), engine::ResultWriteFailed);
    EXPECT_EQ(testsupport::ReadBytes(source), sourceBytes);
    EXPECT_EQ(NamesIn(dir), (std::vector<std::string>{std::string("previous.") + c.command, "wide.bmp"}));
    std::remove(target.c_str());
  }
  EXPECT_TRUE(testsupport::ScratchFiles().empty());
}

TEST(Faults, UnusableTemporaryDirectoryMakesLoadingFailCleanly) {
  const std::string dir = testsupport::MakeTempSubdir("tmpdir");
  const auto sources = MakeSources(dir, 16);
  const std::string plainFile = Join(dir, "plain-file");
  ASSERT_TRUE(testsupport::WriteBytes(plainFile, {1, 2, 3}));
  for (const std::string& bad : {plainFile, Join(plainFile, "below"), Join(dir, "missing")}) {
    TmpdirOverride override(bad);
    for (const Source& source : sources) {
      engine::ImageBuffer image;
      EXPECT_EQ(engine::LoadAnyImage(source.path.c_str(), image), engine::ResultUnreadable)
          << source.reader << " with TMPDIR=" << bad;
      for (const hardening::Command& command : hardening::Commands()) {
        const std::string target = Join(dir, std::string("out.") + command.name);
        EXPECT_EQ(command.run(source.path.c_str(), target.c_str()), engine::ResultUnreadable)
            << source.reader << " through " << command.name << " with TMPDIR=" << bad;
        EXPECT_FALSE(testsupport::FileExistsOnDisk(target)) << command.name;
      }
    }
  }
  EXPECT_TRUE(testsupport::ScratchFiles().empty());
  EXPECT_TRUE(testsupport::ScratchFiles(dir).empty());
}

TEST(Faults, TargetThatCannotBeCreatedGivesMinus4) {
  const std::string dir = testsupport::MakeTempSubdir("target");
  const auto sources = MakeSources(dir, 16);
  const std::string plainFile = Join(dir, "plain-file");
  ASSERT_TRUE(testsupport::WriteBytes(plainFile, {1}));
  const std::string folder = testsupport::MakeTempSubdir("a-folder");
  for (const std::string& bad :
       {Join(Join(dir, "missing"), "out.img"), Join(plainFile, "out.img"), folder, std::string()}) {
    for (const hardening::Command& command : hardening::Commands()) {
      EXPECT_EQ(command.run(sources[0].path.c_str(), bad.c_str()), engine::ResultWriteFailed)
          << command.name << " to \"" << bad << "\"";
      EXPECT_TRUE(testsupport::ScratchFiles().empty()) << command.name;
    }
  }
  EXPECT_FALSE(testsupport::FileExistsOnDisk(Join(dir, "missing")));
  EXPECT_EQ(testsupport::ReadBytes(plainFile), Bytes{1});
}

// The source is there for the existence test and gone when a reader opens it,
// at the first reader's open and at the open of the reader that would take it.
TEST(Faults, SourceThatVanishesBeforeTheReadGivesMinus3) {
  int checked = 0;
  for (const bool renameFolder : {false, true}) {
    for (const int atOpen : {1, 2, 3, 4}) {
      const std::string dir = testsupport::MakeTempSubdir("vanish");
      const std::string folder = Join(dir, "pictures");
      ASSERT_EQ(::mkdir(folder.c_str(), 0700), 0);
      const auto sources = MakeSources(folder, 16);
      for (const Source& source : sources) {
        for (const hardening::Command& command : hardening::Commands()) {
          const Bytes bytes = testsupport::ReadBytes(source.path);
          VanishPlan plan{source.path, renameFolder ? Join(dir, "moved") : std::string(), atOpen, 0};
          gVanish.store(&plan);
          const std::string target = Join(dir, std::string("out.") + command.name);
          const int result = command.run(source.path.c_str(), target.c_str());
          gVanish.store(nullptr);
          // Each reader opens the source once, in chain order: a plan past the
          // taking reader's open never fires, and the file converts as usual.
          const bool vanished = plan.opens >= atOpen;
          if (renameFolder && vanished) {
            ASSERT_EQ(std::rename(Join(dir, "moved").c_str(), folder.c_str()), 0);
          }
          ASSERT_TRUE(testsupport::WriteBytes(source.path, bytes));
          if (vanished) {
            EXPECT_EQ(result, engine::ResultUnreadable)
                << source.reader << " through " << command.name << ", gone at open " << atOpen;
            EXPECT_FALSE(testsupport::FileExistsOnDisk(target)) << command.name;
            ++checked;
          } else {
            EXPECT_EQ(result, hardening::CommandResultFor(command, engine::ResultOk)) << command.name;
          }
          EXPECT_TRUE(testsupport::ScratchFiles().empty()) << command.name;
          std::remove(target.c_str());
        }
      }
    }
  }
  EXPECT_GT(checked, 100);
}

}  // namespace
