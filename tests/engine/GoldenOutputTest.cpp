// Every conversion command over every loadable corpus picture, each output's
// SHA-256 against tests/data/golden-outputs.tsv: speed work must not move a
// byte. PICTOMILL_UPDATE_GOLDEN=1 rewrites the table from the current code
// (one command at a time, so the parallel test processes do not collide).
#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <map>
#include <sstream>

#include "engine/commands/ConversionCommands.h"
#include "engine/commands/LoaderChain.h"
#include "tests/support/TestSupport.h"

namespace {

// FIPS 180-4, kept here so the check does not rest on a library we also link.
class Sha256 {
 public:
  std::string Hex(const testsupport::Bytes& data) {
    std::uint32_t h[8] = {0x6a09e667, 0xbb67ae85, 0x3c6ef372, 0xa54ff53a,
                          0x510e527f, 0x9b05688c, 0x1f83d9ab, 0x5be0cd19};
    testsupport::Bytes message = data;
    const std::uint64_t bits = static_cast<std::uint64_t>(data.size()) * 8U;
    message.push_back(0x80);
    while (message.size() % 64 != 56) message.push_back(0);
    for (int shift = 56; shift >= 0; shift -= 8) message.push_back(static_cast<std::uint8_t>(bits >> shift));
    for (std::size_t block = 0; block < message.size(); block += 64) Compress(h, &message[block]);
    std::string hex;
    char digits[9];
    for (std::uint32_t word : h) {
      std::snprintf(digits, sizeof digits, "%08x", word);
      hex += digits;
    }
    return hex;
  }

 private:
  static std::uint32_t Rotr(std::uint32_t x, int n) { return (x >> n) | (x << (32 - n)); }
  static void Compress(std::uint32_t* h, const std::uint8_t* block) {
    static constexpr std::uint32_t k[64] = {
        0x428a2f98, 0x71374491, 0xb5c0fbcf, 0xe9b5dba5, 0x3956c25b, 0x59f111f1, 0x923f82a4, 0xab1c5ed5,
        0xd807aa98, 0x12835b01, 0x243185be, 0x550c7dc3, 0x72be5d74, 0x80deb1fe, 0x9bdc06a7, 0xc19bf174,
        0xe49b69c1, 0xefbe4786, 0x0fc19dc6, 0x240ca1cc, 0x2de92c6f, 0x4a7484aa, 0x5cb0a9dc, 0x76f988da,
        0x983e5152, 0xa831c66d, 0xb00327c8, 0xbf597fc7, 0xc6e00bf3, 0xd5a79147, 0x06ca6351, 0x14292967,
        0x27b70a85, 0x2e1b2138, 0x4d2c6dfc, 0x53380d13, 0x650a7354, 0x766a0abb, 0x81c2c92e, 0x92722c85,
        0xa2bfe8a1, 0xa81a664b, 0xc24b8b70, 0xc76c51a3, 0xd192e819, 0xd6990624, 0xf40e3585, 0x106aa070,
        0x19a4c116, 0x1e376c08, 0x2748774c, 0x34b0bcb5, 0x391c0cb3, 0x4ed8aa4a, 0x5b9cca4f, 0x682e6ff3,
        0x748f82ee, 0x78a5636f, 0x84c87814, 0x8cc70208, 0x90befffa, 0xa4506ceb, 0xbef9a3f7, 0xc67178f2};
    std::uint32_t w[64];
    for (int i = 0; i < 16; ++i) {
      w[i] = static_cast<std::uint32_t>(block[4 * i]) << 24 | static_cast<std::uint32_t>(block[4 * i + 1]) << 16 |
             static_cast<std::uint32_t>(block[4 * i + 2]) << 8 | static_cast<std::uint32_t>(block[4 * i + 3]);
    }
    for (int i = 16; i < 64; ++i) {
      const std::uint32_t s0 = Rotr(w[i - 15], 7) ^ Rotr(w[i - 15], 18) ^ (w[i - 15] >> 3);
      const std::uint32_t s1 = Rotr(w[i - 2], 17) ^ Rotr(w[i - 2], 19) ^ (w[i - 2] >> 10);
      w[i] = w[i - 16] + s0 + w[i - 7] + s1;
    }
    std::uint32_t a = h[0], b = h[1], c = h[2], d = h[3], e = h[4], f = h[5], g = h[6], hh = h[7];
    for (int i = 0; i < 64; ++i) {
      const std::uint32_t t1 = hh + (Rotr(e, 6) ^ Rotr(e, 11) ^ Rotr(e, 25)) + ((e & f) ^ (~e & g)) + k[i] + w[i];
      const std::uint32_t t2 = (Rotr(a, 2) ^ Rotr(a, 13) ^ Rotr(a, 22)) + ((a & b) ^ (a & c) ^ (b & c));
      hh = g;
      g = f;
      f = e;
      e = d + t1;
      d = c;
      c = b;
      b = a;
      a = t1 + t2;
    }
    h[0] += a;
    h[1] += b;
    h[2] += c;
    h[3] += d;
    h[4] += e;
    h[5] += f;
    h[6] += g;
    h[7] += hh;
  }
};

struct Command {
  const char* name;
  const char* extension;
  std::function<int(const char*, const char*)> run;
};

// The window program's arguments, plus the variants its options reach.
const std::vector<Command>& Commands() {
  static const std::vector<Command> commands = {
      {"jpg", "jpg", [](const char* s, const char* t) { return engine::ConvertToJpg(s, t, 0, 99, 1, 50); }},
      {"jpg-grey", "jpg", [](const char* s, const char* t) { return engine::ConvertToJpg(s, t, 1, 99, 1, 50); }},
      {"bmp", "bmp", [](const char* s, const char* t) { return engine::ConvertToBmp(s, t); }},
      {"tif", "tif", [](const char* s, const char* t) { return engine::ConvertToTif(s, t, 0); }},
      {"tif-8bit", "tif", [](const char* s, const char* t) { return engine::ConvertToTif(s, t, 1); }},
      {"png", "png", [](const char* s, const char* t) { return engine::ConvertToPng(s, t, 24); }},
      {"ppm", "ppm", [](const char* s, const char* t) { return engine::ConvertToPpm(s, t, 1); }},
      {"ppm-plain", "ppm", [](const char* s, const char* t) { return engine::ConvertToPpm(s, t, 0); }},
      {"pgm", "pgm", [](const char* s, const char* t) { return engine::ConvertToPgm(s, t, 1); }},
      {"pgm-plain", "pgm", [](const char* s, const char* t) { return engine::ConvertToPgm(s, t, 0); }},
      {"pcx", "pcx", [](const char* s, const char* t) { return engine::ConvertToPcx(s, t); }},
      {"pic", "pic", [](const char* s, const char* t) { return engine::ConvertToPic(s, t); }},
      {"sgi", "sgi", [](const char* s, const char* t) { return engine::ConvertToSgi(s, t); }},
  };
  return commands;
}

std::vector<std::string> SplitTabs(const std::string& line) {
  std::vector<std::string> fields;
  std::stringstream split(line);
  std::string field;
  while (std::getline(split, field, '\t')) fields.push_back(field);
  return fields;
}

// Manifest rows the loader chain reads, in manifest order.
std::vector<std::string> LoadableCorpusFiles(const std::string& corpus) {
  std::vector<std::string> files;
  std::ifstream in(corpus + "/MANIFEST.tsv");
  std::string line;
  std::getline(in, line);  // header
  while (std::getline(in, line)) {
    const std::vector<std::string> fields = SplitTabs(line);
    if (fields.size() < 6 || fields[4].rfind("load ", 0) != 0) continue;
    const std::string reader = fields[5].substr(0, fields[5].find(' '));
    if (engine::HasReader(reader.c_str())) files.push_back(fields[0]);
  }
  return files;
}

std::string TablePath() { return testsupport::SourceDir() + "/tests/data/golden-outputs.tsv"; }

using Table = std::map<std::pair<std::string, std::string>, std::string>;

Table ReadTable() {
  Table table;
  std::ifstream in(TablePath());
  std::string line;
  while (std::getline(in, line)) {
    const std::vector<std::string> fields = SplitTabs(line);
    if (fields.size() == 3 && fields[0] != "file") table[{fields[0], fields[1]}] = fields[2];
  }
  return table;
}

void WriteTable(const Table& table) {
  std::ofstream out(TablePath(), std::ios::trunc);
  out << "file\tcommand\tsha256\n";
  for (const auto& [key, hash] : table) out << key.first << '\t' << key.second << '\t' << hash << '\n';
}

class GoldenOutputs : public ::testing::TestWithParam<std::size_t> {};

TEST_P(GoldenOutputs, MatchTheCommittedTable) {
  const std::string corpus = testsupport::CorpusDir();
  if (corpus.empty()) GTEST_SKIP() << "the shared corpus is not beside the repository";
  const Command& command = Commands()[GetParam()];
  const std::vector<std::string> files = LoadableCorpusFiles(corpus);
  ASSERT_FALSE(files.empty()) << "no loadable file in the corpus manifest";
  const std::string target = testsupport::Join(testsupport::MakeTempSubdir(command.name),
                                               std::string("out.") + command.extension);
  Sha256 sha;
  Table computed;
  for (const std::string& file : files) {
    std::remove(target.c_str());
    const int result = command.run((corpus + "/" + file).c_str(), target.c_str());
    // A refusal is part of the behaviour too.
    computed[{file, command.name}] =
        result == engine::ResultOk ? sha.Hex(testsupport::ReadBytes(target)) : "result " + std::to_string(result);
  }
  EXPECT_TRUE(testsupport::ScratchFiles().empty());

  Table table = ReadTable();
  const char* update = std::getenv("PICTOMILL_UPDATE_GOLDEN");
  if (update != nullptr && std::string(update) == "1") {
    for (auto it = table.begin(); it != table.end();) {
      it = it->first.second == command.name ? table.erase(it) : std::next(it);
    }
    table.insert(computed.begin(), computed.end());
    WriteTable(table);
    std::printf("%s: %zu outputs written to %s\n", command.name, computed.size(), TablePath().c_str());
    return;
  }
  int compared = 0;
  for (const auto& [key, hash] : computed) {
    const auto recorded = table.find(key);
    if (recorded == table.end()) {
      ADD_FAILURE() << key.first << " " << key.second << ": not in the golden table (" << hash << ")";
      continue;
    }
    EXPECT_EQ(hash, recorded->second) << key.first << " " << key.second << " differs from the golden output";
    ++compared;
  }
  for (const auto& [key, hash] : table) {
    if (key.second == command.name && computed.find(key) == computed.end()) {
      ADD_FAILURE() << key.first << " " << key.second << ": in the golden table but not converted";
    }
  }
  std::printf("%s: %d outputs match\n", command.name, compared);
}

// The hash itself, against the standard's own examples.
TEST(GoldenSha256, KnownDigests) {
  Sha256 sha;
  EXPECT_EQ(sha.Hex({}), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
  EXPECT_EQ(sha.Hex({'a', 'b', 'c'}), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
  const std::string twoBlocks = "abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq";
  EXPECT_EQ(sha.Hex(testsupport::Bytes(twoBlocks.begin(), twoBlocks.end())),
            "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1");
}

INSTANTIATE_TEST_SUITE_P(Corpus, GoldenOutputs, ::testing::Range<std::size_t>(0, Commands().size()),
                         [](const ::testing::TestParamInfo<std::size_t>& param) {
                           std::string name = Commands()[param.param].name;
                           for (char& c : name) {
                             if (c == '-') c = '_';
                           }
                           return name;
                         });

}  // namespace
