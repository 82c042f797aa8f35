// Digests of our own decode of the cjpeg corpus: any change that alters a
// single output byte shows here. The digest of the input is recorded too, so a
// different cjpeg (which makes different files) skips instead of failing.
//
// To record anew after an intended change:
//   TESSERA_UPDATE_GOLDENS=1 build/release/tests/corpus/tessera_corpus_tests
//   --gtest_filter='Golden*'
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <iomanip>
#include <map>
#include <sstream>

#include "cjpeg_corpus.h"
#include "decode_helpers.h"

namespace TesseraTest {
namespace {

const std::string kGoldenPath =
    std::string(TESSERA_SOURCE_DIR) + "/tests/corpus/golden_digests.txt";

struct Golden {
    std::string input;
    std::string output;
};

std::string Hex(std::uint64_t value) {
    std::ostringstream text;
    text << std::hex << std::setw(16) << std::setfill('0') << value;
    return text.str();
}

std::uint64_t BytesDigest(const std::vector<std::uint8_t>& bytes) {
    std::uint64_t hash = 14695981039346656037ull;
    for (std::uint8_t byte : bytes) hash = (hash ^ byte) * 1099511628211ull;
    return hash;
}

std::map<std::string, Golden> ReadGoldens() {
    std::map<std::string, Golden> goldens;
    std::ifstream file(kGoldenPath);
    std::string line;
    while (std::getline(file, line)) {
        if (line.empty() || line[0] == '#') continue;
        std::istringstream fields(line);
        std::string name, input, output;
        if (fields >> name >> input >> output) goldens[name] = {input, output};
    }
    return goldens;
}

TEST(Golden, DecodedCorpusMatchesRecordedDigests) {
    const auto& corpus = CjpegCorpus();
    if (corpus.empty()) GTEST_SKIP() << CorpusSkipReason();

    const bool update = std::getenv("TESSERA_UPDATE_GOLDENS") != nullptr;
    std::map<std::string, Golden> goldens = ReadGoldens();
    int compared = 0;
    for (const CorpusFile& file : corpus) {
        SCOPED_TRACE(file.name);
        Tessera::RasterImage image;
        ASSERT_EQ(Decode(file.bytes, image).errorClass, "");
        const Golden actual{Hex(BytesDigest(file.bytes)), Hex(Digest(image))};
        if (update) {
            goldens[file.name] = actual;
            continue;
        }
        const auto found = goldens.find(file.name);
        ASSERT_NE(found, goldens.end()) << "no digest recorded; see the top of this file";
        if (found->second.input != actual.input) continue;  // another cjpeg made another file
        EXPECT_EQ(found->second.output, actual.output);
        ++compared;
    }
    if (update) {
        std::ofstream out(kGoldenPath);
        out << "# configuration  input-digest  output-digest (FNV-1a 64)\n";
        for (const auto& [name, golden] : goldens)
            out << name << " " << golden.input << " " << golden.output << "\n";
        GTEST_SKIP() << "recorded " << goldens.size() << " digests in " << kGoldenPath;
    }
    if (compared == 0) GTEST_SKIP() << "this cjpeg makes other files than the recorded ones";
}

}  // namespace
}  // namespace TesseraTest
