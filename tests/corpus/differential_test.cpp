// Our decode of cjpeg-made files against djpeg's (-dct int -nosmooth).
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "cjpeg_corpus.h"
#include "decode_helpers.h"

namespace TesseraTest {
namespace {

// djpeg's integer transform carries 13 fraction bits in its constants; ours
// carries 6 (C4 = 45/64 for 0.7071, K1 = 34/32 for 1.0824, K3 = 83/32 for
// 2.6131), so samples differ by an amount that grows with the block's AC energy.
// Measured over this corpus: at most 10 (the noise band of the 4x2-sampled
// scene) and a mean of at most 0.93 per sample (tiny pictures, where the
// edges weigh most); photographs stay within 4 and 0.09. A wrong table,
// zigzag, sampling or colour fault moves samples by tens and the mean by
// several units, far outside these bounds.
constexpr int kMaximumDifference = 12;
constexpr double kMeanDifference = 1.25;

struct Difference {
    int maximum = 0;
    double mean = 0;
};

Difference Compare(const Picture& ours, const Picture& reference) {
    Difference d;
    long long total = 0;
    for (std::size_t i = 0; i < ours.samples.size(); ++i) {
        const int delta = std::abs(int(ours.samples[i]) - int(reference.samples[i]));
        d.maximum = std::max(d.maximum, delta);
        total += delta;
    }
    d.mean = ours.samples.empty() ? 0 : double(total) / double(ours.samples.size());
    return d;
}

TEST(Differential, EveryCjpegFileDecodesCloseToDjpeg) {
    const auto& corpus = CjpegCorpus();
    if (corpus.empty()) GTEST_SKIP() << CorpusSkipReason();
    Difference worst;
    for (const CorpusFile& file : corpus) {
        SCOPED_TRACE(file.name + " (cjpeg " + file.options + ")");
        Tessera::RasterImage image;
        const DecodeOutcome outcome = Decode(file.bytes, image);
        ASSERT_EQ(outcome.errorClass, "") << outcome.message;
        ASSERT_EQ(image.Width(), file.reference.width);
        ASSERT_EQ(image.Height(), file.reference.height);
        const Difference d = Compare(ToPicture(image, file.reference.channels), file.reference);
        EXPECT_LE(d.maximum, kMaximumDifference);
        EXPECT_LE(d.mean, kMeanDifference);
        worst.maximum = std::max(worst.maximum, d.maximum);
        worst.mean = std::max(worst.mean, d.mean);
        if (std::getenv("TESSERA_REPORT_DIFFERENCES"))
            std::printf("%-32s max %d mean %.4f\n", file.name.c_str(), d.maximum, d.mean);
    }
    RecordProperty("worst_maximum", worst.maximum);
}

}  // namespace
}  // namespace TesseraTest
