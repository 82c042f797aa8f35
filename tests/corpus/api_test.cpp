// The library's interface (tessera/jpeg.h) against the saver's decoder: with
// strict = true it must give the same outcome, message and bytes on every
// file of the corpus and on cuts of them, read whole or row by row (after a
// failure, the rows as far as the picture was decoded); by default every
// file ends cleanly or in a documented exception, and rows read a few at a
// time are the whole picture's.
#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <string>
#include <vector>

#include "cjpeg_corpus.h"
#include "decode_helpers.h"
#include "tessera/jpeg.h"

namespace TesseraTest {
namespace {

using Bytes = std::vector<std::uint8_t>;

struct ApiOutcome {
    DecodeOutcome outcome;
    bool constructed = false;
    unsigned width = 0, height = 0;
    Bytes pixels;  // every row, read on after a failure
};

ApiOutcome ReadAll(const Bytes& file, const Tessera::DecodeOptions& options, std::size_t chunk) {
    ApiOutcome result;
    auto record = [&](auto step) {
        try {
            step();
            return true;
        } catch (const Tessera::JpegBadStream& e) {
            result.outcome = {"JpegBadStream", e.what()};
        } catch (const Tessera::JpegError& e) {
            result.outcome = {"JpegError", e.what()};
        } catch (const Tessera::StreamError& e) {
            result.outcome = {"StreamError", e.what()};
        }
        return false;
    };
    std::optional<Tessera::JpegReader> reader;
    if (!record([&] { reader.emplace(file.data(), file.size(), options); })) return result;
    result.constructed = true;
    result.width = reader->Info().width;
    result.height = reader->Info().height;
    Bytes rows(chunk * reader->RowBytes());
    for (std::size_t n = 1; n != 0;) {
        if (!record([&] { n = reader->ReadRows(rows.data(), chunk); })) continue;
        result.pixels.insert(result.pixels.end(), rows.begin(),
                             rows.begin() + static_cast<std::ptrdiff_t>(n * reader->RowBytes()));
    }
    return result;
}

// The whole file and cuts inside it (most of them in the entropy-coded data).
std::vector<Bytes> Variants(const Bytes& file) {
    std::vector<Bytes> variants = {file};
    for (const std::size_t eighths : {2, 5, 7})
        variants.emplace_back(
            file.begin(), file.begin() + static_cast<std::ptrdiff_t>(file.size() * eighths / 8));
    return variants;
}

std::vector<std::pair<std::string, Bytes>> Files() {
    std::vector<std::pair<std::string, Bytes>> files;
    for (const CorpusFile& file : CjpegCorpus()) files.emplace_back(file.name, file.bytes);
    for (const std::string& path : SharedJpegFiles()) files.emplace_back(path, ReadFileBytes(path));
    return files;
}

TEST(Api, StrictIsTheSaversDecoderOnEveryFileAndCut) {
    const auto files = Files();
    if (files.empty()) GTEST_SKIP() << CorpusSkipReason();
    Tessera::DecodeOptions strict;
    strict.strict = true;
    std::size_t chunk = 1;
    for (const auto& [name, bytes] : files) {
        for (const Bytes& variant : Variants(bytes)) {
            SCOPED_TRACE(name + ", " + std::to_string(variant.size()) + " bytes");
            Tessera::RasterImage image;
            const DecodeOutcome expected = Decode(variant, image);
            // Row counts of 1, 8, 15, 22, ... over the files: across MCU rows and not.
            const ApiOutcome api = ReadAll(variant, strict, chunk);
            chunk = chunk % 40 + 7;
            EXPECT_EQ(api.outcome.errorClass, expected.errorClass);
            EXPECT_EQ(api.outcome.message, expected.message);
            if (!api.constructed) {
                EXPECT_EQ(image.Width(), 0) << "the decoder had a frame";
                continue;
            }
            ASSERT_EQ(api.width, static_cast<unsigned>(image.Width()));
            ASSERT_EQ(api.height, static_cast<unsigned>(image.Height()));
            ASSERT_EQ(api.pixels.size(), std::size_t{api.width} * api.height * 4);
            const auto* decoded = reinterpret_cast<const std::uint8_t*>(image.Pixels());
            EXPECT_TRUE(api.pixels.empty() ||
                        std::equal(api.pixels.begin(), api.pixels.end(), decoded));
        }
    }
}

TEST(Api, TolerantRowsAreTheWholePictureAndFailuresAreDocumented) {
    const auto files = Files();
    if (files.empty()) GTEST_SKIP() << CorpusSkipReason();
    for (const auto& [name, bytes] : files) {
        SCOPED_TRACE(name);
        for (const Tessera::PixelFormat format :
             {Tessera::PixelFormat::Rgba, Tessera::PixelFormat::Grey}) {
            Tessera::DecodeOptions options;
            options.format = format;
            const ApiOutcome rows = ReadAll(bytes, options, 3);
            Tessera::Image whole;
            try {
                whole = Tessera::DecodeJpeg(bytes.data(), bytes.size(), options);
            } catch (const std::exception& e) {
                // A documented failure, the same the reader reported.
                EXPECT_NE(Tessera::ErrorCodeOf(e), Tessera::ErrorCode::Other) << e.what();
                EXPECT_EQ(rows.outcome.message, e.what());
                continue;
            }
            EXPECT_EQ(rows.outcome.message, "");
            EXPECT_EQ(rows.pixels, whole.pixels);
        }
    }
}

// One decode in every layout, with libjpeg's pixels and the saver's: each
// colour layout is Bgra's bytes rearranged (-1: the byte is 255); Grey is a
// grey picture's value and a colour picture's Y.
TEST(Api, PixelFormatsAreOneDecodeInDifferentLayouts) {
    const auto& corpus = CjpegCorpus();
    if (corpus.empty()) GTEST_SKIP() << CorpusSkipReason();
    struct Layout {
        Tessera::PixelFormat format;
        std::vector<int> fromBgra;  // which BGRA byte each byte of a pixel is
    };
    const Layout layouts[] = {
        {Tessera::PixelFormat::Rgba, {2, 1, 0, 3}},  {Tessera::PixelFormat::Rgb, {2, 1, 0}},
        {Tessera::PixelFormat::Bgr, {0, 1, 2}},      {Tessera::PixelFormat::Bgrx, {0, 1, 2, -1}},
        {Tessera::PixelFormat::Rgbx, {2, 1, 0, -1}},
    };
    for (const CorpusFile& file : corpus) {
        SCOPED_TRACE(file.name);
        auto decode = [&](Tessera::PixelFormat format, Tessera::Pixels pixels) {
            Tessera::DecodeOptions options;
            options.format = format;
            options.pixels = pixels;
            return Tessera::DecodeJpeg(file.bytes.data(), file.bytes.size(), options).pixels;
        };
        for (const Tessera::Pixels pixels : {Tessera::Pixels::Smooth, Tessera::Pixels::Exact}) {
            SCOPED_TRACE(pixels == Tessera::Pixels::Exact ? "exact" : "smooth");
            const Bytes bgra = decode(Tessera::PixelFormat::Bgra, pixels);
            for (const Layout& layout : layouts) {
                SCOPED_TRACE(static_cast<int>(layout.format));
                const Bytes decoded = decode(layout.format, pixels);
                const std::size_t bytes = layout.fromBgra.size();
                ASSERT_EQ(Tessera::BytesPerPixel(layout.format), bytes);
                ASSERT_EQ(4 * decoded.size(), bytes * bgra.size());
                for (std::size_t i = 0; i < bgra.size() / 4; ++i)
                    for (std::size_t k = 0; k < bytes; ++k) {
                        const int from = layout.fromBgra[k];
                        ASSERT_EQ(decoded[bytes * i + k], from < 0 ? 255 : bgra[4 * i + from])
                            << "pixel " << i << " byte " << k;
                    }
            }
        }
        const Bytes bgra = decode(Tessera::PixelFormat::Bgra, Tessera::Pixels::Smooth),
                    grey = decode(Tessera::PixelFormat::Grey, Tessera::Pixels::Smooth);
        ASSERT_EQ(bgra.size(), 4 * grey.size());
        for (std::size_t i = 0; i < grey.size(); ++i) {
            ASSERT_EQ(bgra[4 * i + 3], 255);
            if (file.reference.channels == 1) {
                ASSERT_EQ(grey[i], bgra[4 * i]);
            }
        }
        // Grey output of a colour picture is its Y, as djpeg -grayscale gives it.
        if (file.reference.channels == 3) {
            const std::string reference = file.path + ".grey.pgm";
            ASSERT_TRUE(RunQuietly("djpeg -dct int -grayscale -outfile " + ShellQuote(reference) +
                                   " " + ShellQuote(file.path)));
            const auto y = ReadNetpbm(reference);
            ASSERT_TRUE(y && y->samples.size() == grey.size());
            int largest = 0;
            for (std::size_t i = 0; i < grey.size(); ++i)
                largest = std::max(largest, std::abs(y->samples[i] - grey[i]));
            EXPECT_LE(largest, 12);  // the decoder's differential bound
        }
    }
}

}  // namespace
}  // namespace TesseraTest
