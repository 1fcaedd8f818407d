// Helpers for the native codec tests: a child process with a file size limit
// (a full disk without touching a device), and the corpus manifest rows.
#pragma once

#include <gtest/gtest.h>
#include <signal.h>
#ifndef _WIN32
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "engine/commands/LoaderChain.h"
#include "tests/support/TestSupport.h"

namespace nativetest {

// Runs body in a forked child whose files may not grow past limitBytes, with
// SIGXFSZ ignored so an oversized write fails instead of killing the child.
// Returns body's result (0..255) or -1 when the child did not exit normally.
// Tests that call it start with PICTOMILL_SKIP_WITHOUT_FORK().
inline int RunWithFileSizeLimit(std::uint64_t limitBytes, const std::function<int()>& body) {
#ifdef _WIN32
  (void)limitBytes;
  (void)body;
  return -1;
#else
  const pid_t child = ::fork();
  if (child == 0) {
    ::signal(SIGXFSZ, SIG_IGN);
    const rlimit limit{static_cast<rlim_t>(limitBytes), static_cast<rlim_t>(limitBytes)};
    if (::setrlimit(RLIMIT_FSIZE, &limit) != 0) ::_exit(200);
    ::_exit(body());
  }
  if (child < 0) return -1;
  int status = 0;
  if (::waitpid(child, &status, 0) != child) return -1;
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
#endif
}

struct ManifestRow {
  std::string path;
  std::string expected;  // "refuse" or "load WxH form"
  std::string reader;    // "PCX", "PCD", "none", ...
};

// Rows whose path starts with one of the prefixes.
inline std::vector<ManifestRow> ManifestRows(const std::vector<std::string>& prefixes) {
  std::vector<ManifestRow> rows;
  std::ifstream in(testsupport::CorpusDir() + "/MANIFEST.tsv");
  std::string line;
  std::getline(in, line);  // column names
  while (std::getline(in, line)) {
    std::vector<std::string> fields;
    std::stringstream split(line);
    std::string field;
    while (std::getline(split, field, '\t')) fields.push_back(field);
    if (fields.size() < 6) continue;
    for (const std::string& prefix : prefixes) {
      if (fields[0].rfind(prefix, 0) == 0) rows.push_back({fields[0], fields[4], fields[5]});
    }
  }
  return rows;
}

// Loads every row through the loader chain and checks result, size and form.
inline void CheckManifestRows(const std::vector<std::string>& prefixes, std::size_t minimumRows) {
  if (testsupport::CorpusDir().empty()) GTEST_SKIP() << "corpus not found";
  const std::vector<ManifestRow> rows = ManifestRows(prefixes);
  ASSERT_GE(rows.size(), minimumRows);
  for (const ManifestRow& row : rows) {
    SCOPED_TRACE(row.path);
    engine::ImageBuffer image;
    const char* reader = nullptr;
    const int result = engine::LoadAnyImage((testsupport::CorpusDir() + "/" + row.path).c_str(), image, &reader);
    if (row.expected == "refuse") {
      EXPECT_EQ(result, engine::ResultUnreadable);
      if (row.reader == "none") {
        EXPECT_EQ(reader, nullptr) << reader;
      }
      continue;
    }
    ASSERT_EQ(result, engine::ResultOk);
    int width = 0;
    int height = 0;
    char form[64] = {};
    ASSERT_EQ(std::sscanf(row.expected.c_str(), "load %dx%d %63s", &width, &height, form), 3);
    EXPECT_EQ(image.GetWidth(), width);
    EXPECT_EQ(image.GetHeight(), height);
    const std::string kind = form;
    if (kind == "24") {
      EXPECT_EQ(image.GetBitsPerPixel(), 24u);
    } else if (kind == "8-palette(256)") {
      EXPECT_EQ(image.GetBitsPerPixel(), 8u);
      EXPECT_EQ(image.GetPaletteCount(), 256);
    }
    ASSERT_NE(reader, nullptr);
    EXPECT_EQ(std::string(reader), row.reader);
  }
}

}  // namespace nativetest
