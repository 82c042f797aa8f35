// Our decode of cjpeg-made files against djpeg's (-dct int -nosmooth).
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "cjpeg_corpus.h"
#include "decode_helpers.h"

namespace TesseraTest {
namespace {

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
