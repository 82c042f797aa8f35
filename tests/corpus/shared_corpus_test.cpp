// Peers' public test files (valid, unsupported, truncated and hostile), read
// from the shared folder beside the repository when it is there. Each must end
// in a clean decode or a documented exception; Decode fails the test on
// anything else, and the sanitizer preset on any invalid access or leak.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "cjpeg_corpus.h"
#include "decode_helpers.h"

namespace TesseraTest {
namespace {

namespace fs = std::filesystem;

// The first frame header's marker code and sample precision, found by walking
// the segments independently of the decoder; code 0 when there is none.
struct FrameMarker {
    std::uint8_t code = 0;
    std::uint8_t precision = 0;
};

FrameMarker FirstFrameMarker(const std::vector<std::uint8_t>& b) {
    std::size_t pos = 2;
    while (pos + 4 < b.size()) {
        if (b[pos] != 0xFF || b[pos + 1] == 0xFF) {
            ++pos;
            continue;
        }
        const std::uint8_t code = b[pos + 1];
        if (code == 0xD8 || code == 0x00 || (code >= 0xD0 && code <= 0xD7)) {
            pos += 2;
            continue;
        }
        if (code >= 0xC0 && code <= 0xCF && code != 0xC4 && code != 0xC8 && code != 0xCC)
            return {code, b[pos + 4]};
        if (code == 0xDA || code == 0xD9) break;
        pos += 2 + (std::size_t(b[pos + 2]) << 8 | b[pos + 3]);
    }
    return {};
}

// The messages that a well-formed file of an unsupported kind must end in.
std::vector<std::string> UnsupportedMessages(FrameMarker frame) {
    switch (frame.code) {
        case 0xC3:
            return {"Lossless Huffman Coding Not Supported"};
        case 0xC5:
            return {"Differential Sequential Huffman Coding Not Supported"};
        case 0xC6:
            return {"Differential Progressive Huffman Coding Not Supported"};
        case 0xC7:
            return {"Differential Lossless Huffman Coding Not Supported"};
        case 0xC9:
        case 0xCA:
        case 0xCB:
        case 0xCD:
        case 0xCE:
        case 0xCF:
            return {"Cannot read image - Arithmetic Coding covered by patents"};
        default:
            // 12-bit pictures: refused at the frame header, or already at
            // their 16-bit quantization tables.
            if (frame.code != 0 && frame.precision != 8)
                return {"Only 8-bit data supported", "Only 8-bit Data is Supported"};
            return {};
    }
}

// Files made to be broken (by fuzzers or for crash tests) may fail before
// their frame header; the others are well-formed apart from their kind.
bool WellFormedSuite(const fs::path& path) {
    const std::string text = path.string();
    return text.find("fuzz") == std::string::npos && text.find("crashtest") == std::string::npos;
}

// What the first bytes promise, read independently of the decoder.
bool StartsWithSoiAndJfifApp0(const std::vector<std::uint8_t>& b) {
    return b.size() >= 4 && b[0] == 0xFF && b[1] == 0xD8 && b[2] == 0xFF && b[3] == 0xE0;
}

// True when every coefficient of every component reaches its last bit (Al 0)
// in some scan. djpeg smooths the blocks of an incomplete progressive picture
// (T.81 K.8), so only complete pictures can be compared with it exactly.
bool AllCoefficientsComplete(const std::vector<std::uint8_t>& b) {
    std::map<int, std::vector<bool>> complete;  // component id -> coefficient k done
    bool progressive = false;
    std::size_t pos = 2;
    while (pos + 3 < b.size()) {
        if (b[pos] != 0xFF) {
            ++pos;
            continue;
        }
        const std::uint8_t code = b[pos + 1];
        if (code == 0xFF || code == 0x00 || (code >= 0xD0 && code <= 0xD7)) {
            pos += code == 0xFF ? 1 : 2;
            continue;
        }
        if (code == 0xD9) break;
        const std::size_t length = std::size_t(b[pos + 2]) << 8 | b[pos + 3];
        if (code == 0xC2) {
            progressive = true;
            for (std::size_t i = 0; pos + 10 + 3 * i < b.size() && i < b[pos + 9]; ++i)
                complete[b[pos + 10 + 3 * i]] = std::vector<bool>(64, false);
        }
        if (code == 0xDA && pos + 4 + length <= b.size()) {
            const std::size_t n = b[pos + 4];
            const std::size_t tail = pos + 5 + 2 * n;
            const int ss = b[tail], se = b[tail + 1], al = b[tail + 2] & 15;
            for (std::size_t i = 0; i < n && al == 0; ++i) {
                const auto found = complete.find(b[pos + 5 + 2 * i]);
                if (found == complete.end()) continue;
                for (int k = ss; k <= se && k < 64; ++k) found->second[k] = true;
            }
        }
        pos += 2 + length;
    }
    if (!progressive) return true;
    for (const auto& [id, done] : complete)
        if (std::find(done.begin(), done.end(), false) != done.end()) return false;
    return !complete.empty();
}

// Where djpeg decodes a file that we decode too, the pictures must agree as
// closely as on our own corpus (see the differential test for the bound).
void CompareWithDjpeg(const fs::path& path, const Tessera::RasterImage& image) {
    // One name per process: test runs of other build trees may share /tmp.
    const std::string reference =
        (fs::temp_directory_path() / ("tessera-shared-reference-" + std::to_string(getpid())))
            .string();
    if (!RunQuietly("djpeg -dct int -nosmooth -outfile " + ShellQuote(reference) + " " +
                    ShellQuote(path.string())))
        return;
    const auto picture = ReadNetpbm(reference);
    fs::remove(reference);
    ASSERT_TRUE(picture.has_value());
    ASSERT_EQ(picture->width, image.Width());
    ASSERT_EQ(picture->height, image.Height());
    const Picture ours = ToPicture(image, picture->channels);
    int maximum = 0;
    for (std::size_t i = 0; i < ours.samples.size(); ++i)
        maximum = std::max(maximum, std::abs(int(ours.samples[i]) - int(picture->samples[i])));
    EXPECT_LE(maximum, 12);
}

TEST(SharedCorpus, EveryFileEndsCleanlyOrInADocumentedError) {
    const std::vector<std::string> names = SharedJpegFiles();
    const std::vector<fs::path> files(names.begin(), names.end());
    if (files.empty()) GTEST_SKIP() << "no shared corpus beside the repository";
    std::map<std::string, int> outcomes;
    for (const fs::path& path : files) {
        SCOPED_TRACE(path.string());
        const std::vector<std::uint8_t> bytes = ReadFileBytes(path.string());
        Tessera::RasterImage image;
        const auto start = std::chrono::steady_clock::now();
        const DecodeOutcome outcome = Decode(bytes, image);
        // A hang detector, not a speed target: the largest file here decodes
        // in well under a second even under the sanitizers.
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(30));
        ++outcomes[outcome.errorClass.empty() ? "decoded" : outcome.message];
        if (bytes.size() >= 4 && bytes[0] == 0xFF && bytes[1] == 0xD8 &&
            !StartsWithSoiAndJfifApp0(bytes)) {
            EXPECT_EQ(outcome.message, "Missing JFIF APP0 Marker");
        }
        const auto unsupported = UnsupportedMessages(FirstFrameMarker(bytes));
        if (StartsWithSoiAndJfifApp0(bytes) && WellFormedSuite(path) && !unsupported.empty()) {
            EXPECT_NE(std::find(unsupported.begin(), unsupported.end(), outcome.message),
                      unsupported.end())
                << outcome.message;
            ++outcomes["unsupported kind, refused by name"];
        }
        if (outcome.errorClass.empty()) {
            ASSERT_TRUE(image.Pixels() != nullptr);
            if (AllCoefficientsComplete(bytes)) {
                CompareWithDjpeg(path, image);
                ++outcomes["compared with djpeg"];
            }
        }
    }
    for (const auto& [what, count] : outcomes) RecordProperty(what.substr(0, 60), count);
    EXPECT_GT(outcomes["decoded"], 0);
}

}  // namespace
}  // namespace TesseraTest
