// Every test process gets a private temporary folder and the system's
// temporary directory (TMPDIR; TMP on Windows) points into it, so tests may
// run in parallel and a scratch file left behind is a failure.
#include <gtest/gtest.h>

#include <cstdlib>
#include <random>
#include <string>

#include "tests/support/TestSupport.h"

namespace testsupport {
std::string& PrivateDirStorage();
}

namespace {

// Where the private folder goes: under the temporary directory the tests were
// started with (an empty value counts as unset).
std::string BaseFolder() {
  std::string base = testsupport::GetEnvironmentUtf8(testsupport::kTempVariable);
#ifdef _WIN32
  if (base.empty()) base = testsupport::GetEnvironmentUtf8("TEMP");
  while (base.size() > 3 && (base.back() == '\\' || base.back() == '/')) base.pop_back();
#endif
  return base.empty() ? std::string("/tmp") : base;
}

class PrivateTempDir : public ::testing::Environment {
 public:
  void SetUp() override {
    const std::string base = BaseFolder();
    std::random_device random;
    std::string dir;
    for (int attempt = 0; attempt < 100 && dir.empty(); ++attempt) {
      const std::string candidate = testsupport::Join(base, "pictomill-test-" + std::to_string(random()));
      if (testsupport::MakeDirectory(candidate)) dir = candidate;
    }
    if (!dir.empty()) {
      std::error_code error;
      std::filesystem::permissions(testsupport::FsPath(dir), std::filesystem::perms::owner_all,
                                   std::filesystem::perm_options::replace, error);
    }
    if (dir.empty()) FAIL() << "cannot make a private temporary folder under " << base;
    testsupport::PrivateDirStorage() = dir;
    testsupport::SetEnvironment(testsupport::kTempVariable, dir);
  }

  void TearDown() override {
    const std::string& dir = testsupport::PrivateDir();
    testsupport::SetEnvironment(testsupport::kTempVariable, dir);
    for (const std::string& name : testsupport::ScratchFiles(dir)) ADD_FAILURE() << "scratch file left behind: " << name;
    if (!dir.empty()) testsupport::RemoveAll(dir);
  }
};

}  // namespace

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  ::testing::AddGlobalTestEnvironment(new PrivateTempDir);
  return RUN_ALL_TESTS();
}
