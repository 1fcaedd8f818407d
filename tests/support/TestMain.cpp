// Every test process gets a private temporary folder and TMPDIR points into it,
// so tests may run in parallel and a scratch file left behind is a failure.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "tests/support/TestSupport.h"

namespace testsupport {
std::string& PrivateDirStorage();
}

namespace {

class PrivateTempDir : public ::testing::Environment {
 public:
  void SetUp() override {
    const char* base = std::getenv("TMPDIR");
    std::string pattern = std::string(base != nullptr && *base != '\0' ? base : "/tmp") + "/pictomill-test-XXXXXX";
    if (::mkdtemp(pattern.data()) == nullptr) {
      FAIL() << "cannot make a private temporary folder under " << pattern;
    }
    testsupport::PrivateDirStorage() = pattern;
    ::setenv("TMPDIR", pattern.c_str(), 1);
  }

  void TearDown() override {
    const std::string& dir = testsupport::PrivateDir();
    ::setenv("TMPDIR", dir.c_str(), 1);
    for (const std::string& name : testsupport::ScratchFiles(dir)) ADD_FAILURE() << "scratch file left behind: " << name;
    if (!dir.empty()) testsupport::RunCommand("rm -rf " + testsupport::Quote(dir));
  }
};

}  // namespace

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  ::testing::AddGlobalTestEnvironment(new PrivateTempDir);
  return RUN_ALL_TESTS();
}
