// Every row of the shared corpus manifest whose reader is in the loader chain:
// the load result, size and depth, under its own name and a misleading one.
#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <sstream>

#include "engine/commands/LoaderChain.h"
#include "tests/support/TestSupport.h"

namespace {

struct Row {
  std::string path;
  std::string format;
  std::string expected;
  std::string reader;
};

std::vector<Row> ReadManifest(const std::string& corpus) {
  std::vector<Row> rows;
  std::ifstream in(corpus + "/MANIFEST.tsv");
  std::string line;
  std::getline(in, line);  // header
  while (std::getline(in, line)) {
    std::vector<std::string> fields;
    std::stringstream split(line);
    std::string field;
    while (std::getline(split, field, '\t')) fields.push_back(field);
    if (fields.size() >= 6) rows.push_back({fields[0], fields[1], fields[4], fields[5]});
  }
  return rows;
}

// The manifest gives the stored size; these pictures record an orientation
// that swaps width and height, and are delivered upright.
const std::map<std::string, std::string> kUpright = {
    {"jpeg/pillow/orientation_rectangle.jpg", "load 1x2 24"},  // Exif orientation 8
    {"tiff/pillow/g4_orientation_6.tif", "load 590x88 24"},    // Orientation 6
};

std::string Expected(const Row& row) {
  const auto upright = kUpright.find(row.path);
  return upright != kUpright.end() ? upright->second : row.expected;
}

// "JPEG", "BMP (accepts, then decoding fails)", "none" -> the reader's name.
std::string ReaderOf(const Row& row) { return row.reader.substr(0, row.reader.find(' ')); }

std::string Describe(const engine::ImageBuffer& image) {
  std::string depth;
  if (image.GetBitsPerPixel() == 8) {
    depth = image.GetPaletteCount() == 0 ? "8-grey" : "8-palette(" + std::to_string(image.GetPaletteCount()) + ")";
  } else {
    depth = std::to_string(image.GetBitsPerPixel());
  }
  return "load " + std::to_string(image.GetWidth()) + "x" + std::to_string(image.GetHeight()) + " " + depth;
}

std::string Outcome(const std::string& path, const char** reader) {
  engine::ImageBuffer image;
  const int result = engine::LoadAnyImage(path.c_str(), image, reader);
  if (result == engine::ResultOk) return Describe(image);
  if (result == engine::ResultUnreadable) return "refuse";
  return "result " + std::to_string(result);
}

class Corpus : public ::testing::TestWithParam<std::string> {};

TEST_P(Corpus, RowsOfLandedReadersMatchTheManifest) {
  const std::string corpus = testsupport::CorpusDir();
  if (corpus.empty()) GTEST_SKIP() << "the shared corpus is not beside the repository";
  int checked = 0;
  int skipped = 0;
  const std::string misleading = testsupport::Join(testsupport::MakeTempSubdir("corpus"), "picture.bmp");
  for (const Row& row : ReadManifest(corpus)) {
    if (row.path.rfind(GetParam() + "/", 0) != 0) continue;
    const std::string reader = ReaderOf(row);
    if (reader != "none" && !engine::HasReader(reader.c_str())) {
      ++skipped;
      continue;
    }
    const std::string path = corpus + "/" + row.path;
    const char* tookIt = nullptr;
    EXPECT_EQ(Outcome(path, &tookIt), Expected(row)) << row.path;
    if (reader == "none") {
      EXPECT_EQ(tookIt, nullptr) << row.path << " was taken by " << tookIt;
    } else {
      EXPECT_STREQ(tookIt, reader.c_str()) << row.path;
    }
    // The name plays no part.
    ASSERT_TRUE(testsupport::WriteBytes(misleading, testsupport::ReadBytes(path)));
    EXPECT_EQ(Outcome(misleading, &tookIt), Expected(row)) << row.path << " under a misleading name";
    ++checked;
  }
  EXPECT_TRUE(testsupport::ScratchFiles().empty());
  std::printf("%s: %d rows checked, %d rows wait for their reader\n", GetParam().c_str(), checked, skipped);
}

INSTANTIATE_TEST_SUITE_P(Manifest, Corpus, ::testing::Values("bmp", "jpeg", "png", "tiff", "pcx", "pcd", "other"));

}  // namespace
