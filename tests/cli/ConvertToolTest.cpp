// The command-line tool: exit statuses, messages, and the code-page paths.
#include <gtest/gtest.h>

#include "tests/support/TestSupport.h"

namespace {

using testsupport::Join;
using testsupport::Quote;

class ConvertToolTest : public ::testing::Test {
 protected:
  int Run(const std::string& arguments, std::string* errors = nullptr) {
    const std::string log = Join(dir_, "stderr.txt");
    const int status = testsupport::RunCommand(Quote(testsupport::ConvertTool()) + " " + arguments + " 2>" + Quote(log));
    if (errors != nullptr) {
      const auto bytes = testsupport::ReadBytes(log);
      errors->assign(bytes.begin(), bytes.end());
    }
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
  EXPECT_EQ(Run("bmp " + Quote(source) + " " + Quote(Join(dir_, "missing/o.bmp"))), 4);
  // Empty strings go to the command unchanged.
  EXPECT_EQ(Run("bmp '' " + Quote(Join(dir_, "o.bmp"))), 1);
  EXPECT_EQ(Run("bmp " + Quote(source) + " ''"), 4);
  EXPECT_EQ(std::count(errors.begin(), errors.end(), '\n'), 1);  // one line naming the reason
}

TEST_F(ConvertToolTest, UsageErrors) {
  EXPECT_EQ(Run(""), 2);
  EXPECT_EQ(Run("bmp onlysource"), 2);
  EXPECT_EQ(Run("gif a b"), 2);
  EXPECT_EQ(Run("bmp a b --quality 5"), 2);  // an option of another format
  EXPECT_EQ(Run("bmp a b extra"), 2);
}

TEST_F(ConvertToolTest, ChinesePathsArriveInUtf8) {
  const std::string folder = Join(dir_, "图片");
  ASSERT_EQ(testsupport::RunCommand("mkdir " + Quote(folder)), 0);
  const std::string source = Join(folder, "照片.bmp");
  ASSERT_TRUE(testsupport::WriteBytes(source, testsupport::MakeBmp(2, 2, testsupport::PatternRgb(2, 2))));
  EXPECT_EQ(Run("bmp " + Quote(source) + " " + Quote(Join(folder, "改-照片-1.bmp"))), 0);
  EXPECT_TRUE(testsupport::FileExistsOnDisk(Join(folder, "改-照片-1.bmp")));
}

}  // namespace
