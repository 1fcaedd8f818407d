// The command-line tool: exit statuses, messages, and the code-page paths.
#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>
#include <vector>

#include "Version.h"
#include "platform/Platform.h"
#include "tests/support/TestSupport.h"

namespace {

using testsupport::Join;
using testsupport::Quote;

class ConvertToolTest : public ::testing::Test {
 protected:
  int Run(const std::string& arguments, std::string* errors = nullptr, std::string* output = nullptr) {
    const std::string log = Join(dir_, "stderr.txt");
    const std::string out = Join(dir_, "stdout.txt");
    const int status = testsupport::RunCommand(Quote(testsupport::ConvertTool()) + " " + arguments + " >" +
                                               Quote(out) + " 2>" + Quote(log));
    const auto text = [](const std::string& path) {
      const auto bytes = testsupport::ReadBytes(path);
      return std::string(bytes.begin(), bytes.end());
    };
    if (errors != nullptr) *errors = text(log);
    if (output != nullptr) *output = text(out);
    return status;
  }
  std::string dir_ = testsupport::MakeTempSubdir("tool");
};

TEST_F(ConvertToolTest, MapsResultsToExitStatuses) {
  const std::string source = Join(dir_, "in.bmp");
  ASSERT_TRUE(testsupport::WriteBytes(source, testsupport::MakeBmp(4, 4, testsupport::PatternRgb(4, 4))));
  std::string errors;
  EXPECT_EQ(Run("bmp " + Quote(source) + " " + Quote(Join(dir_, "out.bmp")), &errors), 0);
  EXPECT_TRUE(errors.empty()) << errors;
  EXPECT_TRUE(testsupport::FileExistsOnDisk(Join(dir_, "out.bmp")));

  EXPECT_EQ(Run("bmp " + Quote(Join(dir_, "missing")) + " x", &errors), 1);
  EXPECT_NE(errors.find("does not exist"), std::string::npos) << errors;
  const std::string text = Join(dir_, "text.bmp");
  ASSERT_TRUE(testsupport::WriteBytes(text, {'x', 'y'}));
  EXPECT_EQ(Run("bmp " + Quote(text) + " " + Quote(Join(dir_, "o.bmp")), &errors), 3);
  EXPECT_NE(errors.find("not recognised or not decodable"), std::string::npos) << errors;
  EXPECT_EQ(Run("bmp " + Quote(source) + " " + Quote(Join(Join(dir_, "missing"), "o.bmp"))), 4);
  // Empty strings go to the command unchanged.
  EXPECT_EQ(Run("bmp '' " + Quote(Join(dir_, "o.bmp"))), 1);
  EXPECT_EQ(Run("bmp " + Quote(source) + " ''"), 4);
  EXPECT_EQ(std::count(errors.begin(), errors.end(), '\n'), 1);  // one line naming the reason
}

TEST_F(ConvertToolTest, HelpAndVersionGoToStandardOutput) {
  std::string errors;
  std::string output;
  EXPECT_EQ(Run("--version", &errors, &output), 0);
  EXPECT_EQ(output, std::string("pictomill-convert ") + PICTOMILL_VERSION + "\n");
  EXPECT_TRUE(errors.empty()) << errors;

  EXPECT_EQ(Run("--help", &errors, &output), 0);
  EXPECT_TRUE(errors.empty()) << errors;
  EXPECT_EQ(output.rfind("usage: pictomill-convert FORMAT SOURCE TARGET [OPTIONS]\n", 0), 0u) << output;
  // Every option the help lists (with its default) is one the tool takes.
  const std::string source = Join(dir_, "in.bmp");
  ASSERT_TRUE(testsupport::WriteBytes(source, testsupport::MakeBmp(3, 2, testsupport::PatternRgb(3, 2))));
  std::string format;
  int options = 0;
  const std::size_t start = output.find("FORMAT and its OPTIONS");
  ASSERT_NE(start, std::string::npos) << output;
  std::istringstream section(output.substr(start, output.find("\n\n", start) - start));
  std::string line;
  std::getline(section, line);  // the heading
  while (std::getline(section, line)) {
    SCOPED_TRACE(line);
    if (line.size() > 2 && line[2] != ' ') format = line.substr(2, line.find(' ', 2) - 2);
    const std::size_t dash = line.find("--");
    if (dash == std::string::npos) {
      EXPECT_NE(line.find("(no options)"), std::string::npos);
      continue;
    }
    EXPECT_NE(line.find("(default: "), std::string::npos);
    std::string option = line.substr(dash, line.find(' ', dash) - dash);
    if (line.compare(dash + option.size(), 2, " N") == 0) option += option == "--depth" ? " 24" : " 42";
    EXPECT_EQ(Run(format + " " + Quote(source) + " " + Quote(Join(dir_, "o." + format)) + " " + option, &errors), 0)
        << errors;
    ++options;
  }
  EXPECT_EQ(format, "sgi") << "the list runs to the last format";
  EXPECT_EQ(options, 8);
}

TEST_F(ConvertToolTest, UsageErrors) {
  std::string errors;
  std::string output;
  for (const char* arguments : {"", "--help extra", "-h", "--versions", "png a"}) {
    SCOPED_TRACE(arguments);
    EXPECT_EQ(Run(arguments, &errors, &output), 2);
    EXPECT_TRUE(output.empty()) << "a usage error says nothing on standard output";
    EXPECT_NE(errors.find("usage: pictomill-convert"), std::string::npos) << errors;
  }
  EXPECT_EQ(Run(""), 2);
  EXPECT_EQ(Run("bmp onlysource"), 2);
  EXPECT_EQ(Run("gif a b"), 2);
  EXPECT_EQ(Run("bmp a b --quality 5"), 2);  // an option of another format
  EXPECT_EQ(Run("bmp a b extra"), 2);
}

TEST_F(ConvertToolTest, ChinesePathsArriveInUtf8) {
  const std::string folder = Join(dir_, "图片");
  ASSERT_TRUE(testsupport::MakeDirectory(folder));
  const std::string source = Join(folder, "照片.bmp");
  ASSERT_TRUE(testsupport::WriteBytes(source, testsupport::MakeBmp(2, 2, testsupport::PatternRgb(2, 2))));
  EXPECT_EQ(Run("bmp " + Quote(source) + " " + Quote(Join(folder, "改-照片-1.bmp"))), 0);
  EXPECT_TRUE(testsupport::FileExistsOnDisk(Join(folder, "改-照片-1.bmp")));
}

// --- The batch: FORMAT --into DIR [-j N] SOURCE... ---------------------------

class ConvertToolBatchTest : public ConvertToolTest {
 protected:
  std::string MakeSource(const std::string& folder, const std::string& name, int width, std::uint32_t seed) {
    const std::string path = Join(folder, name);
    EXPECT_TRUE(testsupport::WriteBytes(path, testsupport::MakeBmp(width, 5, testsupport::PatternRgb(width, 5, seed))));
    return path;
  }
  std::vector<std::string> Listing(const std::string& folder) { return testsupport::ListNames(folder); }
};

TEST_F(ConvertToolBatchTest, NamesTargetsAsTheWindowBatchAndWritesWhatSingleRunsWrite) {
  const std::string in = testsupport::MakeTempSubdir("batch-in");
  const std::string out = testsupport::MakeTempSubdir("batch-out");
  std::vector<std::string> sources;
  std::string arguments;
  for (int i = 0; i < 7; ++i) {
    sources.push_back(MakeSource(in, "photo" + std::to_string(i) + ".bmp", 3 + i, static_cast<std::uint32_t>(i + 1)));
    arguments += " " + Quote(sources.back());
  }
  std::string errors;
  for (const char* workers : {"-j 1", "-j 3", ""}) {
    testsupport::RemoveFilesIn(out);
    ASSERT_EQ(Run(std::string("jpg --into ") + Quote(out) + " " + workers + " --quality 80" + arguments, &errors), 0)
        << errors;
    EXPECT_TRUE(errors.empty()) << errors;
    ASSERT_EQ(Listing(out).size(), sources.size()) << workers;
    for (std::size_t i = 0; i < sources.size(); ++i) {
      const std::string single = Join(dir_, "single.jpg");
      ASSERT_EQ(Run("jpg " + Quote(sources[i]) + " " + Quote(single) + " --quality 80"), 0);
      const std::string target = Join(out, "photo" + std::to_string(i) + ".bmp.jpg");
      ASSERT_TRUE(testsupport::FileExistsOnDisk(target)) << target;
      EXPECT_EQ(testsupport::ReadBytes(target), testsupport::ReadBytes(single)) << target << " " << workers;
    }
  }
  // An independent decoder reads what the batch wrote (lossless BMP -> PNG).
  if (testsupport::ImageMagick().empty()) GTEST_SKIP() << "ImageMagick is absent";
  ASSERT_EQ(Run("png --into " + Quote(out) + " -j 2 " + Quote(sources[4])), 0);
  int width = 0;
  int height = 0;
  testsupport::Bytes rgb;
  ASSERT_TRUE(testsupport::DecodeWithImageMagick(Join(out, "photo4.bmp.png"), width, height, rgb));
  EXPECT_EQ(width, 7);
  EXPECT_EQ(height, 5);
  EXPECT_EQ(rgb, testsupport::PatternRgb(7, 5, 5));
}

TEST_F(ConvertToolBatchTest, TwoSourcesMakingOneTargetAreAUsageErrorBeforeAnythingRuns) {
  const std::string a = testsupport::MakeTempSubdir("batch-a");
  const std::string b = testsupport::MakeTempSubdir("batch-b");
  const std::string out = testsupport::MakeTempSubdir("batch-clash");
  const std::string first = MakeSource(a, "same.bmp", 4, 1);
  const std::string other = MakeSource(a, "other.bmp", 4, 2);
  const std::string second = MakeSource(b, "same.bmp", 4, 3);
  std::string errors;
  EXPECT_EQ(Run("bmp --into " + Quote(out) + " " + Quote(first) + " " + Quote(other) + " " + Quote(second), &errors),
            2);
  EXPECT_NE(errors.find(first), std::string::npos) << errors;
  EXPECT_NE(errors.find(second), std::string::npos) << errors;
  EXPECT_TRUE(Listing(out).empty()) << "nothing may be converted";
  // The same source twice clashes too.
  EXPECT_EQ(Run("bmp --into " + Quote(out) + " " + Quote(other) + " " + Quote(other)), 2);
  EXPECT_TRUE(Listing(out).empty());
}

TEST_F(ConvertToolBatchTest, ATargetThatIsAlsoASourceIsAUsageErrorBeforeAnythingRuns) {
  const std::string dir = testsupport::MakeTempSubdir("batch-self");
  const std::string picture = MakeSource(dir, "p.png", 4, 1);
  const std::string converted = MakeSource(dir, "p.png.jpg", 4, 2);
  const testsupport::Bytes before = testsupport::ReadBytes(converted);
  std::string errors;
  EXPECT_EQ(Run("jpg --into " + Quote(dir) + " -j 2 " + Quote(converted) + " " + Quote(picture), &errors), 2);
  EXPECT_NE(errors.find(picture), std::string::npos) << errors;
  EXPECT_NE(errors.find(converted), std::string::npos) << errors;
  EXPECT_EQ(testsupport::ReadBytes(converted), before);
  EXPECT_EQ(Listing(dir).size(), 2u) << "nothing may be converted";
  // Another spelling of the same folder is the same file.
  EXPECT_EQ(Run("jpg --into " + Quote(dir + "/.") + " " + Quote(converted) + " " + Quote(picture)), 2);
  EXPECT_EQ(testsupport::ReadBytes(converted), before);
}

TEST_F(ConvertToolBatchTest, EveryFileIsTriedAndTheFirstFailureInSourceOrderGivesTheStatus) {
  const std::string in = testsupport::MakeTempSubdir("batch-fail-in");
  const std::string out = testsupport::MakeTempSubdir("batch-fail-out");
  const std::string good = MakeSource(in, "good.bmp", 4, 1);
  const std::string text = Join(in, "text.bmp");
  ASSERT_TRUE(testsupport::WriteBytes(text, {'x', 'y'}));
  const std::string missing = Join(in, "missing.bmp");
  const std::string late = MakeSource(in, "late.bmp", 4, 2);
  std::string errors;
  for (const char* workers : {"1", "4"}) {
    testsupport::RemoveFilesIn(out);
    EXPECT_EQ(Run(std::string("pcx --into ") + Quote(out) + " -j " + workers + " " + Quote(good) + " " + Quote(text) +
                      " " + Quote(missing) + " " + Quote(late),
                  &errors),
              3)
        << workers;
    EXPECT_NE(errors.find(text + ": source not recognised or not decodable"), std::string::npos) << errors;
    EXPECT_NE(errors.find(missing + ": source file does not exist"), std::string::npos) << errors;
    EXPECT_EQ(errors.find(good), std::string::npos) << errors;
    EXPECT_EQ(std::count(errors.begin(), errors.end(), '\n'), 2) << errors;
    EXPECT_TRUE(testsupport::FileExistsOnDisk(Join(out, "good.bmp.pcx")));
    EXPECT_TRUE(testsupport::FileExistsOnDisk(Join(out, "late.bmp.pcx")));
  }
  EXPECT_EQ(Run("pcx --into " + Quote(out) + " " + Quote(missing) + " " + Quote(text)), 1);
  // A folder that cannot take files: every target fails to be written.
  EXPECT_EQ(Run("pcx --into " + Quote(Join(good, "sub")) + " " + Quote(late), &errors), 4);
  EXPECT_NE(errors.find(late + ": target could not be written"), std::string::npos) << errors;
  EXPECT_TRUE(testsupport::ScratchFiles().empty());
}

TEST_F(ConvertToolBatchTest, ExistingTargetsAreReplacedUnlessSkipped) {
  const std::string in = testsupport::MakeTempSubdir("batch-skip-in");
  const std::string out = testsupport::MakeTempSubdir("batch-skip-out");
  const std::string kept = MakeSource(in, "kept.bmp", 4, 1);
  const std::string fresh = MakeSource(in, "fresh.bmp", 5, 2);
  const std::string keptTarget = Join(out, "kept.bmp.pcx");
  ASSERT_TRUE(testsupport::WriteBytes(keptTarget, {'o', 'l', 'd'}));
  std::string errors;
  EXPECT_EQ(Run("pcx --into " + Quote(out) + " -j 2 --skip-existing " + Quote(kept) + " " + Quote(fresh), &errors), 0);
  EXPECT_EQ(testsupport::ReadBytes(keptTarget), (testsupport::Bytes{'o', 'l', 'd'}));
  EXPECT_TRUE(testsupport::FileExistsOnDisk(Join(out, "fresh.bmp.pcx")));
  EXPECT_EQ(errors, "pictomill-convert: " + kept + ": skipped, the target exists\n");
  // Without it, as command-line tools do: the target is replaced.
  ASSERT_EQ(Run("pcx --into " + Quote(out) + " " + Quote(kept)), 0);
  const testsupport::Bytes replaced = testsupport::ReadBytes(keptTarget);
  ASSERT_GE(replaced.size(), 128u);
  EXPECT_EQ(replaced[0], 0x0A) << "a PCX file now";
}

TEST_F(ConvertToolBatchTest, UsageErrors) {
  const std::string out = testsupport::MakeTempSubdir("batch-usage");
  const std::string source = MakeSource(out, "a.bmp", 2, 1);
  EXPECT_EQ(Run("png --into " + Quote(out)), 2);                              // no source
  EXPECT_EQ(Run("png --into " + Quote(out) + " -j 0 " + Quote(source)), 2);   // no worker
  EXPECT_EQ(Run("png --into " + Quote(out) + " -j x " + Quote(source)), 2);
  EXPECT_EQ(Run("png --into " + Quote(out) + " --quality 5 " + Quote(source)), 2);  // another format's option
  EXPECT_EQ(Run("png --into " + Quote(out) + " " + Quote(out + platform::kPathSeparator)), 2);  // names no file
  EXPECT_EQ(Listing(out), std::vector<std::string>{"a.bmp"});
}

}  // namespace
