// Many conversions at once: 8 threads over the corpus must produce exactly the
// files the same conversions produce one at a time, and leave no scratch file,
// scratch descriptor or scratch mapping behind. 400 conversions with
// PICTOMILL_FULL_LOAD=1, a cut-down 80 otherwise (CI, ThreadSanitizer).
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <thread>

#include "tests/hardening/HardeningSupport.h"
#include "tests/support/TestSupport.h"

namespace {

using testsupport::Join;

constexpr int kThreads = 8;
// Pictures above this many pixels are left out, so the cut-down run stays short.
constexpr long kMaxPixels = 1600000;

int ConversionCount() {
  const char* full = std::getenv("PICTOMILL_FULL_LOAD");
  return full != nullptr && std::string(full) == "1" ? 400 : 80;
}

std::uint32_t Fnv1a(const std::string& text) {
  std::uint32_t hash = 2166136261u;
  for (const char c : text) hash = (hash ^ static_cast<std::uint8_t>(c)) * 16777619u;
  return hash;
}

// Corpus files that a landed reader decodes, in an order that mixes formats.
std::vector<std::string> CorpusPictures(const std::string& corpus) {
  std::vector<std::pair<std::uint32_t, std::string>> found;
  std::ifstream in(corpus + "/MANIFEST.tsv");
  std::string line;
  std::getline(in, line);
  while (std::getline(in, line)) {
    std::vector<std::string> fields;
    std::stringstream split(line);
    std::string field;
    while (std::getline(split, field, '\t')) fields.push_back(field);
    if (fields.size() < 6 || fields[4].rfind("load ", 0) != 0) continue;
    const std::string reader = fields[5].substr(0, fields[5].find(' '));
    if (!engine::HasReader(reader.c_str())) continue;
    long width = 0;
    long height = 0;
    if (std::sscanf(fields[4].c_str(), "load %ldx%ld", &width, &height) != 2 || width * height > kMaxPixels) continue;
    found.emplace_back(Fnv1a(fields[0]), corpus + "/" + fields[0]);
  }
  std::sort(found.begin(), found.end());
  std::vector<std::string> paths;
  for (const auto& [hash, path] : found) paths.push_back(path);
  return paths;
}

struct Conversion {
  std::string source;
  const hardening::Command* command;
  int result = 0;
};

std::string TargetOf(const std::string& dir, std::size_t index, const Conversion& conversion) {
  return Join(dir, std::to_string(index) + "." + conversion.command->name);
}

TEST(Load, EightThreadsMatchOneAtATimeAndLeaveNothing) {
  const std::string corpus = testsupport::CorpusDir();
  if (corpus.empty()) GTEST_SKIP() << "the shared corpus is not beside the repository";
  const auto pictures = CorpusPictures(corpus);
  ASSERT_GT(pictures.size(), 50u);

  const int count = ConversionCount();
  const auto& commands = hardening::Commands();
  std::vector<Conversion> conversions;
  for (int i = 0; i < count; ++i) {
    conversions.push_back({pictures[static_cast<std::size_t>(i) % pictures.size()],
                           &commands[static_cast<std::size_t>(i) % commands.size()], 0});
  }

  {
    // The counters do see a live image's file and mapping.
    engine::ImageBuffer live;
    ASSERT_EQ(live.Create(64, 64, 24, 0), 1);
    const int descriptors = hardening::ScratchDescriptors();
    const int mappings = hardening::ScratchMappings();
    live.Release();
    ASSERT_EQ(descriptors, hardening::ScratchDescriptors() + 1);
    ASSERT_EQ(mappings, hardening::ScratchMappings() + 1);
  }
  const int descriptorsBefore = hardening::ScratchDescriptors();
  const int mappingsBefore = hardening::ScratchMappings();
  ASSERT_GE(descriptorsBefore, 0);
  ASSERT_GE(mappingsBefore, 0);

  const std::string serialDir = testsupport::MakeTempSubdir("serial");
  const auto serialStart = std::chrono::steady_clock::now();
  for (std::size_t i = 0; i < conversions.size(); ++i) {
    Conversion& c = conversions[i];
    c.result = c.command->run(c.source.c_str(), TargetOf(serialDir, i, c).c_str());
  }
  const double serialSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - serialStart).count();

  const std::string parallelDir = testsupport::MakeTempSubdir("parallel");
  std::vector<int> parallelResults(conversions.size(), 0);
  std::atomic<std::size_t> next{0};
  const auto parallelStart = std::chrono::steady_clock::now();
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&] {
      for (std::size_t i = next++; i < conversions.size(); i = next++) {
        const Conversion& c = conversions[i];
        parallelResults[i] = c.command->run(c.source.c_str(), TargetOf(parallelDir, i, c).c_str());
      }
    });
  }
  for (auto& thread : threads) thread.join();
  const double parallelSeconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - parallelStart).count();

  int written = 0;
  for (std::size_t i = 0; i < conversions.size(); ++i) {
    const Conversion& c = conversions[i];
    const std::string label = c.source + " through " + c.command->name;
    EXPECT_EQ(parallelResults[i], c.result) << label;
    EXPECT_EQ(c.result, hardening::CommandResultFor(*c.command, engine::ResultOk)) << label;
    if (c.result != engine::ResultOk) continue;
    const auto serialBytes = testsupport::ReadBytes(TargetOf(serialDir, i, c));
    EXPECT_FALSE(serialBytes.empty()) << label;
    EXPECT_TRUE(serialBytes == testsupport::ReadBytes(TargetOf(parallelDir, i, c))) << label << " differs";
    ++written;
  }
  EXPECT_EQ(hardening::ScratchDescriptors(), descriptorsBefore);
  EXPECT_EQ(hardening::ScratchMappings(), mappingsBefore);
  EXPECT_TRUE(testsupport::ScratchFiles().empty());
  std::printf("%d conversions (%d files written) over %zu corpus pictures: one at a time %.2f s, %d threads %.2f s\n",
              count, written, pictures.size(), serialSeconds, kThreads, parallelSeconds);
}

}  // namespace
