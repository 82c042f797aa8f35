// The accurate and scaled inverse DCTs against Debian's libjpeg-turbo itself:
// grey files are read twice with the system libjpeg, once as coefficients and
// quantizers (which our kernels transform block by block) and once decoded
// at N/8. Grey output needs neither up-sampling nor colour conversion, so
// every sample libjpeg gives is one of its inverse DCT's, and must equal ours.

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <csetjmp>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

// jpeglib.h needs FILE and size_t declared first.
#include <jpeglib.h>

#include "jpeg/scaled_inverse_dct.h"
#include "jpeg/simd_level.h"

namespace Tessera::Testing {
namespace {

using Bytes = std::vector<std::uint8_t>;
using Block = std::array<std::int16_t, 64>;        // natural order
using Quantizers = std::array<std::uint16_t, 64>;  // natural order

// Every scaled size our kernels provide, through libjpeg's N/8 decodes.
constexpr unsigned kSizes[] = {1, 2, 3, 4, 5, 6, 7, 8, 10, 12, 14, 16};

// libjpeg reports errors through error_exit, which must not return: it jumps
// back to the call that started the operation. The callers keep no objects
// with destructors across the jump.
struct ErrorManager {
    jpeg_error_mgr manager;
    std::jmp_buf back;
    char message[JMSG_LENGTH_MAX];
};

void JumpBack(j_common_ptr info) {
    auto* errors = reinterpret_cast<ErrorManager*>(info->err);
    (*info->err->format_message)(info, errors->message);
    std::longjmp(errors->back, 1);
}

// A grey image as libjpeg stores it: blocks row by row, with quantizers.
struct CoefficientImage {
    unsigned width = 0, height = 0;
    unsigned blocksWide = 0, blocksHigh = 0;
    std::vector<Block> blocks;
    Quantizers quant{};
};

struct Samples {
    unsigned width = 0, height = 0;
    std::vector<std::uint8_t> values;
};

// Writes a grey, arithmetic-coded file holding exactly these coefficients:
// arithmetic coding takes any 16-bit coefficient (Huffman coding is limited to
// the magnitudes of real 8-bit files), and a table with a value above 255 goes
// out with 16-bit precision.
bool WriteCoefficients(const CoefficientImage& image, unsigned char** buffer, unsigned long* size,
                       ErrorManager& errors) {
    jpeg_compress_struct info;
    info.err = jpeg_std_error(&errors.manager);
    errors.manager.error_exit = JumpBack;
    if (setjmp(errors.back)) {
        jpeg_destroy_compress(&info);
        return false;
    }
    jpeg_create_compress(&info);
    jpeg_mem_dest(&info, buffer, size);
    info.image_width = image.width;
    info.image_height = image.height;
    info.input_components = 1;
    info.in_color_space = JCS_GRAYSCALE;
    jpeg_set_defaults(&info);
    info.arith_code = TRUE;
    for (int i = 0; i < 64; ++i) info.quant_tbl_ptrs[0]->quantval[i] = image.quant[i];
    jvirt_barray_ptr arrays[1] = {
        (*info.mem->request_virt_barray)(reinterpret_cast<j_common_ptr>(&info), JPOOL_IMAGE, TRUE,
                                         image.blocksWide, image.blocksHigh, 1)};
    jpeg_write_coefficients(&info, arrays);
    for (unsigned y = 0; y < image.blocksHigh; ++y) {
        JBLOCKARRAY row = (*info.mem->access_virt_barray)(reinterpret_cast<j_common_ptr>(&info),
                                                          arrays[0], y, 1, TRUE);
        for (unsigned x = 0; x < image.blocksWide; ++x)
            std::copy_n(image.blocks[y * image.blocksWide + x].data(), 64, row[0][x]);
    }
    jpeg_finish_compress(&info);
    jpeg_destroy_compress(&info);
    return true;
}

bool ReadCoefficients(const Bytes& file, CoefficientImage& image, ErrorManager& errors) {
    jpeg_decompress_struct info;
    info.err = jpeg_std_error(&errors.manager);
    errors.manager.error_exit = JumpBack;
    if (setjmp(errors.back)) {
        jpeg_destroy_decompress(&info);
        return false;
    }
    jpeg_create_decompress(&info);
    jpeg_mem_src(&info, file.data(), file.size());
    jpeg_read_header(&info, TRUE);
    if (info.num_components != 1) std::longjmp(errors.back, 1);
    jvirt_barray_ptr* arrays = jpeg_read_coefficients(&info);
    const jpeg_component_info& component = info.comp_info[0];
    image.width = info.image_width;
    image.height = info.image_height;
    image.blocksWide = component.width_in_blocks;
    image.blocksHigh = component.height_in_blocks;
    for (int i = 0; i < 64; ++i) image.quant[i] = component.quant_table->quantval[i];
    image.blocks.resize(image.blocksWide * image.blocksHigh);
    for (unsigned y = 0; y < image.blocksHigh; ++y) {
        JBLOCKARRAY row = (*info.mem->access_virt_barray)(reinterpret_cast<j_common_ptr>(&info),
                                                          arrays[0], y, 1, FALSE);
        for (unsigned x = 0; x < image.blocksWide; ++x)
            std::copy_n(row[0][x], 64, image.blocks[y * image.blocksWide + x].data());
    }
    jpeg_finish_decompress(&info);
    jpeg_destroy_decompress(&info);
    return true;
}

// libjpeg's decode at size/8 with its accurate integer transform, as djpeg
// -dct int -scale size/8 -grayscale gives it.
bool DecodeScaled(const Bytes& file, unsigned size, Samples& samples, ErrorManager& errors) {
    jpeg_decompress_struct info;
    info.err = jpeg_std_error(&errors.manager);
    errors.manager.error_exit = JumpBack;
    if (setjmp(errors.back)) {
        jpeg_destroy_decompress(&info);
        return false;
    }
    jpeg_create_decompress(&info);
    jpeg_mem_src(&info, file.data(), file.size());
    jpeg_read_header(&info, TRUE);
    info.scale_num = size;
    info.scale_denom = 8;
    info.dct_method = JDCT_ISLOW;
    info.out_color_space = JCS_GRAYSCALE;
    jpeg_start_decompress(&info);
    samples.width = info.output_width;
    samples.height = info.output_height;
    samples.values.resize(samples.width * samples.height);
    while (info.output_scanline < info.output_height) {
        JSAMPROW row = samples.values.data() + info.output_scanline * samples.width;
        jpeg_read_scanlines(&info, &row, 1);
    }
    jpeg_finish_decompress(&info);
    jpeg_destroy_decompress(&info);
    return true;
}

// Every block through `kernel` into a buffer of whole N × N blocks; libjpeg's
// output is its top-left corner.
void ExpectSameSamples(const CoefficientImage& image, const Samples& expected, unsigned size,
                       AccurateInverseDctKernel kernel, const std::string& what) {
    const std::size_t stride = image.blocksWide * size;
    std::vector<std::uint8_t> ours(stride * image.blocksHigh * size);
    for (unsigned by = 0; by < image.blocksHigh; ++by)
        for (unsigned bx = 0; bx < image.blocksWide; ++bx)
            kernel(ours.data() + by * size * stride + bx * size,
                   static_cast<std::ptrdiff_t>(stride),
                   image.blocks[by * image.blocksWide + bx].data(), image.quant.data());
    ASSERT_EQ(expected.width, (image.width * size + 7) / 8) << what;
    ASSERT_EQ(expected.height, (image.height * size + 7) / 8) << what;
    int mismatches = 0;
    for (unsigned y = 0; y < expected.height; ++y)
        for (unsigned x = 0; x < expected.width; ++x) {
            const int want = expected.values[y * expected.width + x], got = ours[y * stride + x];
            if (want == got || ++mismatches > 3) continue;
            const Block& block = image.blocks[(y / size) * image.blocksWide + x / size];
            std::string coefficients;
            for (std::int16_t c : block) coefficients += std::to_string(c) + " ";
            ADD_FAILURE() << what << ": sample (" << x << ", " << y << ") is " << got
                          << ", libjpeg gives " << want << "; block " << coefficients;
        }
    EXPECT_EQ(mismatches, 0) << what;
}

// The file's blocks at every scale, the 8 × 8 ones at every SIMD level.
void ExpectSameAsLibjpeg(const Bytes& file, const std::string& name) {
    ErrorManager errors;
    CoefficientImage image;
    ASSERT_TRUE(ReadCoefficients(file, image, errors)) << name << ": " << errors.message;
    for (unsigned size : kSizes) {
        Samples expected;
        ASSERT_TRUE(DecodeScaled(file, size, expected, errors)) << name << ": " << errors.message;
        const std::string what = name + " at " + std::to_string(size) + "/8";
        if (size != 8) {
            ExpectSameSamples(image, expected, size, ScaledInverseDctFor(size), what);
            continue;
        }
        for (SimdLevel level : SupportedSimdLevels())
            ExpectSameSamples(image, expected, size, KernelsFor(level).accurateInverseDct,
                              what + " " + SimdLevelName(level));
    }
}

// ---- Files from cjpeg ----

// Noise over a gradient, with hard edges: large coefficients at every
// frequency. An odd size leaves partial blocks at the right and bottom.
void WriteScenePgm(const std::filesystem::path& path) {
    constexpr int kWidth = 203, kHeight = 157;
    std::mt19937 random(2024);
    std::uniform_int_distribution<int> noise(-40, 40);
    std::string pgm = "P5\n" + std::to_string(kWidth) + " " + std::to_string(kHeight) + "\n255\n";
    for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < kWidth; ++x) {
            int value = (x * 255) / kWidth;
            if ((x / 13 + y / 11) % 3 == 0) value = 255 - value;  // sharp-edged tiles
            if (y > kHeight / 2) value += noise(random);          // noisy lower half
            if ((x - 100) * (x - 100) + (y - 40) * (y - 40) < 400) value = x % 2 ? 0 : 255;
            pgm += static_cast<char>(std::clamp(value, 0, 255));
        }
    std::ofstream(path, std::ios::binary) << pgm;
}

Bytes ReadFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), {});
}

TEST(LibjpegOracle, CjpegFilesAtEveryScale) {
    if (std::system("command -v cjpeg >/dev/null 2>&1") != 0) GTEST_SKIP() << "cjpeg is absent";
    const std::filesystem::path directory =
        std::filesystem::temp_directory_path() /
        ("tessera-oracle-" + std::to_string(std::random_device{}()));
    std::filesystem::create_directories(directory);
    WriteScenePgm(directory / "scene.pgm");
    struct Case {
        const char* name;
        const char* options;
    };
    const Case cases[] = {
        {"quality 50", "-quality 50"},
        {"quality 90", "-quality 90"},
        {"quality 100", "-quality 100"},
        {"16-bit table (quality 2)", "-quality 2"},
        {"progressive quality 75", "-quality 75 -progressive"},
    };
    for (const Case& c : cases) {
        const std::filesystem::path jpeg = directory / "scene.jpg";
        const std::string command = std::string("cjpeg -grayscale ") + c.options + " -outfile '" +
                                    jpeg.string() + "' '" + (directory / "scene.pgm").string() +
                                    "'";
        ASSERT_EQ(std::system(command.c_str()), 0) << command;
        ExpectSameAsLibjpeg(ReadFile(jpeg), c.name);
    }
    std::filesystem::remove_all(directory);
}

// ---- Absurd blocks, written with libjpeg ----

// Blocks of every kind that makes the kernels' 16-bit lanes wrap or saturate,
// and quantizers up to 65535 (above 32767, libjpeg's tables hold them as
// negative 16-bit values).
CoefficientImage AbsurdImage(std::uint32_t seed, bool sixteenBitTable) {
    CoefficientImage image;
    image.width = 8 * 24 - 3;
    image.height = 8 * 20 - 5;
    image.blocksWide = 24;
    image.blocksHigh = 20;
    std::mt19937 random(seed);
    std::uniform_int_distribution<int> any(-32768, 32767), small(-60, 60), kind(0, 5);
    std::uniform_int_distribution<int> quantizer(1, sixteenBitTable ? 65535 : 255);
    std::uniform_int_distribution<int> position(0, 63);
    for (auto& q : image.quant) q = static_cast<std::uint16_t>(quantizer(random));
    if (sixteenBitTable) image.quant[0] = 40000;
    auto extreme = [&] {
        const int pick = any(random);
        return static_cast<std::int16_t>(pick % 3 == 0 ? pick : pick < 0 ? -32768 : 32767);
    };
    int lastDc = 0;
    for (unsigned i = 0; i < image.blocksWide * image.blocksHigh; ++i) {
        Block block{};
        switch (kind(random)) {
            case 0:  // DC only
                block[0] = extreme();
                break;
            case 1:  // row 0 only: the column passes' shortcuts
                for (int x = 0; x < 8; ++x) block[x] = extreme();
                break;
            case 2:  // rows 0 and 4 only: 4 × 4's column shortcut ignores row 4
                for (int x = 0; x < 8; ++x) block[x] = small(random), block[32 + x] = extreme();
                break;
            case 3:  // one extreme coefficient
                block[position(random)] = extreme();
                break;
            case 4:  // plausible values
                for (int k = 0; k < 12; ++k) block[position(random) / 3] = small(random);
                break;
            default:  // everything extreme
                for (auto& c : block) c = extreme();
        }
        // Arithmetic coding codes DC differences of up to 32767 in magnitude.
        block[0] =
            static_cast<std::int16_t>(std::clamp(int{block[0]}, lastDc - 32767, lastDc + 32767));
        lastDc = block[0];
        image.blocks.push_back(block);
    }
    return image;
}

TEST(LibjpegOracle, AbsurdBlocksAtEveryScale) {
    struct Case {
        const char* name;
        std::uint32_t seed;
        bool sixteenBitTable;
    };
    const Case cases[] = {
        {"8-bit table", 1, false},
        {"16-bit table", 2, true},
        {"16-bit table, other blocks", 3, true},
    };
    for (const Case& c : cases) {
        ErrorManager errors;
        unsigned char* buffer = nullptr;
        unsigned long size = 0;
        const bool written =
            WriteCoefficients(AbsurdImage(c.seed, c.sixteenBitTable), &buffer, &size, errors);
        const Bytes file(buffer, buffer + (written ? size : 0));
        std::free(buffer);
        ASSERT_TRUE(written) << c.name << ": " << errors.message;
        ExpectSameAsLibjpeg(file, c.name);
    }
}

}  // namespace
}  // namespace Tessera::Testing
