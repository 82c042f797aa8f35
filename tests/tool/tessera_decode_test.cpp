// Runs the built tessera-decode on JPEG files that cjpeg makes at test time
// and checks exit codes, messages, output files and pixels (against djpeg).
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#ifdef TESSERA_HAVE_PNG
#include <png.h>
#endif

#include "tessera/jpeg.h"

namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

// Odd sizes, so that the last MCU row and column are partly outside the picture.
constexpr int kWidth = 61;
constexpr int kHeight = 43;

struct Picture {
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> rgb;  // rows from the top
};

struct Outcome {
    int exitCode = -1;
    std::string out;
    std::string err;
};

// Appends a space and the text quoted for the shell. (Built by appending:
// GCC 12 warns falsely about "literal" + std::string under -O3.)
void AppendQuoted(std::string& command, const std::string& text) {
    command += " '";
    for (char c : text) {
        if (c == '\'')
            command += "'\\''";
        else
            command += c;
    }
    command += '\'';
}

Bytes ReadBytes(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), {});
}

std::string ReadText(const fs::path& path) {
    const Bytes bytes = ReadBytes(path);
    return std::string(bytes.begin(), bytes.end());
}

void WriteBytes(const fs::path& path, const Bytes& bytes) {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
}

// Binary PPM (P6) or PGM (P5), maxval 255; grey becomes RGB.
std::optional<Picture> DecodeNetpbm(const Bytes& bytes) {
    std::string text(bytes.begin(), bytes.end());
    std::istringstream in(text);
    std::string magic;
    int maxval = 0;
    Picture picture;
    in >> magic >> picture.width >> picture.height >> maxval;
    if (!in || (magic != "P6" && magic != "P5") || maxval != 255) return std::nullopt;
    in.get();  // the single whitespace before the samples
    const std::size_t start = static_cast<std::size_t>(in.tellg());
    const std::size_t pixels = std::size_t(picture.width) * picture.height;
    const std::size_t channels = magic == "P6" ? 3 : 1;
    if (bytes.size() != start + channels * pixels) return std::nullopt;
    for (std::size_t i = 0; i < pixels; ++i)
        for (std::size_t c = 0; c < 3; ++c)
            picture.rgb.push_back(bytes[start + i * channels + (channels == 3 ? c : 0)]);
    return picture;
}

std::uint32_t Le32(const Bytes& bytes, std::size_t at) {
    return bytes[at] | bytes[at + 1] << 8 | bytes[at + 2] << 16 |
           std::uint32_t{bytes[at + 3]} << 24;
}

std::optional<Picture> DecodeBmp(const Bytes& bytes) {
    if (bytes.size() < 54 || bytes[0] != 'B' || bytes[1] != 'M') return std::nullopt;
    Picture picture{static_cast<int>(Le32(bytes, 18)), static_cast<int>(Le32(bytes, 22)), {}};
    const std::size_t offset = Le32(bytes, 10);
    const std::size_t stride = (3 * picture.width + 3) / 4 * 4;
    if (bytes.size() < offset + stride * picture.height) return std::nullopt;
    for (int y = 0; y < picture.height; ++y) {
        const std::size_t row = offset + (picture.height - 1 - y) * stride;
        for (int x = 0; x < picture.width; ++x)
            for (int c = 2; c >= 0; --c) picture.rgb.push_back(bytes[row + 3 * x + c]);
    }
    return picture;
}

std::optional<Picture> DecodePng(const Bytes& bytes) {
#ifdef TESSERA_HAVE_PNG
    png_image png{};
    png.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_memory(&png, bytes.data(), bytes.size())) return std::nullopt;
    png.format = PNG_FORMAT_RGB;
    Picture picture{static_cast<int>(png.width), static_cast<int>(png.height), {}};
    picture.rgb.resize(PNG_IMAGE_SIZE(png));
    if (!png_image_finish_read(&png, nullptr, picture.rgb.data(), 0, nullptr)) return std::nullopt;
    return picture;
#else
    (void)bytes;
    return std::nullopt;
#endif
}

int MaxDifference(const Picture& a, const Picture& b) {
    int worst = 0;
    for (std::size_t i = 0; i < a.rgb.size(); ++i)
        worst = std::max(worst, std::abs(a.rgb[i] - b.rgb[i]));
    return worst;
}

// A smooth picture with some detail: gradients plus a coarse checker.
Bytes TestPpm(int width = kWidth, int height = kHeight) {
    std::string header = "P6\n" + std::to_string(width) + " " + std::to_string(height) + "\n255\n";
    Bytes bytes(header.begin(), header.end());
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const bool check = (x / 6 + y / 5) % 2 == 0;
            bytes.push_back(static_cast<std::uint8_t>(x * 255 / width));
            bytes.push_back(static_cast<std::uint8_t>(40 + y * 200 / height));
            bytes.push_back(static_cast<std::uint8_t>(check ? 220 : 30));
        }
    return bytes;
}

std::size_t Find(const Bytes& bytes, std::initializer_list<std::uint8_t> pattern) {
    const auto at = std::search(bytes.begin(), bytes.end(), pattern.begin(), pattern.end());
    return at == bytes.end() ? bytes.size() : static_cast<std::size_t>(at - bytes.begin());
}

bool OnPath(const char* program) {
    return std::system(("command -v " + std::string(program) + " >/dev/null 2>&1").c_str()) == 0;
}

class DecodeTool : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!OnPath("cjpeg") || !OnPath("djpeg")) GTEST_SKIP() << "cjpeg and djpeg are needed";
        std::string pattern = (fs::temp_directory_path() / "tessera-tool-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        dir = pattern;
        WriteBytes(dir / "source.ppm", TestPpm());
    }

    void TearDown() override {
        if (!dir.empty()) fs::remove_all(dir);
    }

    // Runs the tool in the work directory; shellPrefix is put before it (ulimit).
    Outcome Run(const std::vector<std::string>& args, const std::string& shellPrefix = "") {
        std::string command = "cd";
        AppendQuoted(command, dir.string());
        command += " && " + shellPrefix;
        AppendQuoted(command, TESSERA_DECODE_PATH);
        for (const std::string& arg : args) AppendQuoted(command, arg);
        const fs::path out = dir.parent_path() / (dir.filename().string() + ".stdout");
        const fs::path err = dir.parent_path() / (dir.filename().string() + ".stderr");
        command += " >";
        AppendQuoted(command, out.string());
        command += " 2>";
        AppendQuoted(command, err.string());
        const int status = std::system(command.c_str());
        Outcome outcome{WIFEXITED(status) ? WEXITSTATUS(status) : -1, ReadText(out), ReadText(err)};
        fs::remove(out);
        fs::remove(err);
        return outcome;
    }

    // cjpeg's file for the test picture (or another in the work directory),
    // made with the given options.
    Bytes MakeJpeg(const std::string& options, const std::string& source = "source.ppm") {
        const fs::path jpeg = dir / "made.jpg";
        std::string command = "cjpeg " + options + " -outfile";
        AppendQuoted(command, jpeg.string());
        AppendQuoted(command, (dir / source).string());
        EXPECT_EQ(std::system(command.c_str()), 0) << command;
        Bytes bytes = ReadBytes(jpeg);
        fs::remove(jpeg);
        return bytes;
    }

    std::optional<Picture> Djpeg(const std::string& jpegName) {
        const fs::path reference = dir / "reference.pnm";
        std::string command = "djpeg -pnm -outfile";
        AppendQuoted(command, reference.string());
        AppendQuoted(command, (dir / jpegName).string());
        if (std::system(command.c_str()) != 0) return std::nullopt;
        auto picture = DecodeNetpbm(ReadBytes(reference));
        fs::remove(reference);
        return picture;
    }

    std::optional<Picture> ReadPpm(const std::string& name) {
        return DecodeNetpbm(ReadBytes(dir / name));
    }

    std::set<std::string> Files() const {
        std::set<std::string> names;
        for (const auto& entry : fs::directory_iterator(dir))
            names.insert(entry.path().filename().string());
        return names;
    }

    fs::path dir;
};

// --- decoding against djpeg ---

struct EncodeCase {
    const char* name;
    const char* cjpegOptions;
};

class DecodeAgainstDjpeg : public DecodeTool, public ::testing::WithParamInterface<EncodeCase> {};

TEST_P(DecodeAgainstDjpeg, PixelsAreDjpegs) {
    WriteBytes(dir / "in.jpg", MakeJpeg(GetParam().cjpegOptions));
    const Outcome outcome = Run({"in.jpg", "out.ppm"});
    ASSERT_EQ(outcome.exitCode, 0) << outcome.err;
    EXPECT_EQ(outcome.err, "");
    EXPECT_EQ(outcome.out, "");

    const auto ours = ReadPpm("out.ppm");
    const auto reference = Djpeg("in.jpg");
    ASSERT_TRUE(ours && reference);
    ASSERT_EQ(ours->width, kWidth);
    ASSERT_EQ(ours->height, kHeight);
    ASSERT_EQ(ours->rgb.size(), reference->rgb.size());
    EXPECT_EQ(MaxDifference(*ours, *reference), 0);
}

INSTANTIATE_TEST_SUITE_P(
    Tool, DecodeAgainstDjpeg,
    ::testing::Values(EncodeCase{"Baseline420", ""}, EncodeCase{"Baseline444", "-sample 1x1"},
                      EncodeCase{"Baseline422", "-sample 2x1"},
                      EncodeCase{"Sampling12", "-sample 1x2"}, EncodeCase{"Optimized", "-optimize"},
                      EncodeCase{"RestartEveryBlock", "-restart 1B"},
                      EncodeCase{"LowQuality", "-quality 10 -baseline"},
                      EncodeCase{"Progressive", "-progressive"},
                      EncodeCase{"ProgressiveRestarts", "-progressive -restart 2B"},
                      EncodeCase{"Grayscale", "-grayscale"},
                      EncodeCase{"ProgressiveGrayscale", "-grayscale -progressive"}),
    [](const auto& info) { return std::string(info.param.name); });

// --- --info ---

struct InfoCase {
    const char* name;
    const char* cjpegOptions;
    const char* components;
    const char* kind;
};

class InfoLine : public DecodeTool, public ::testing::WithParamInterface<InfoCase> {};

TEST_P(InfoLine, ReportsFrame) {
    WriteBytes(dir / "in.jpg", MakeJpeg(GetParam().cjpegOptions));
    const Outcome outcome = Run({"--info", "in.jpg"});
    EXPECT_EQ(outcome.exitCode, 0);
    EXPECT_EQ(outcome.err, "");
    EXPECT_EQ(outcome.out, std::to_string(kWidth) + " " + std::to_string(kHeight) + " " +
                               GetParam().components + " " + GetParam().kind + "\n");
}

INSTANTIATE_TEST_SUITE_P(Tool, InfoLine,
                         ::testing::Values(InfoCase{"Baseline", "", "3", "baseline"},
                                           InfoCase{"Progressive", "-progressive", "3",
                                                    "progressive"},
                                           InfoCase{"Grayscale", "-grayscale", "1", "baseline"},
                                           InfoCase{"ProgressiveGrayscale",
                                                    "-grayscale -progressive", "1", "progressive"}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(DecodeTool, ExtendedSequentialFrameDecodesLikeBaseline) {
    const Bytes baseline = MakeJpeg("");
    Bytes extended = baseline;
    const std::size_t sof = Find(extended, {0xFF, 0xC0});
    ASSERT_LT(sof, extended.size());
    extended[sof + 1] = 0xC1;
    WriteBytes(dir / "sof0.jpg", baseline);
    WriteBytes(dir / "sof1.jpg", extended);

    const Outcome info = Run({"--info", "sof1.jpg"});
    EXPECT_EQ(info.exitCode, 0);
    EXPECT_EQ(info.out, std::to_string(kWidth) + " " + std::to_string(kHeight) + " 3 extended\n");

    ASSERT_EQ(Run({"sof0.jpg", "sof0.ppm"}).exitCode, 0);
    ASSERT_EQ(Run({"sof1.jpg", "sof1.ppm"}).exitCode, 0);
    const Bytes pixels = ReadBytes(dir / "sof0.ppm");
    EXPECT_FALSE(pixels.empty());
    EXPECT_EQ(ReadBytes(dir / "sof1.ppm"), pixels);
}

// --- output formats ---

TEST_F(DecodeTool, EveryOutputFormatCarriesTheSamePixels) {
    WriteBytes(dir / "in.jpg", MakeJpeg(""));
    for (const char* name : {"out.ppm", "out.bmp", "OUT.BMP", "-"}) {
        const Outcome outcome = Run({"in.jpg", name});
        EXPECT_EQ(outcome.exitCode, 0) << name << ": " << outcome.err;
    }
    const Outcome toStdout = Run({"in.jpg", "-"});
    const auto ppm = ReadPpm("out.ppm");
    ASSERT_TRUE(ppm);
    const auto fromStdout = DecodeNetpbm(Bytes(toStdout.out.begin(), toStdout.out.end()));
    ASSERT_TRUE(fromStdout);
    EXPECT_EQ(fromStdout->rgb, ppm->rgb);
    for (const char* name : {"out.bmp", "OUT.BMP"}) {
        const auto bmp = DecodeBmp(ReadBytes(dir / name));
        ASSERT_TRUE(bmp) << name;
        EXPECT_EQ(bmp->width, kWidth);
        EXPECT_EQ(bmp->height, kHeight);
        EXPECT_EQ(bmp->rgb, ppm->rgb) << name;
    }
#ifdef TESSERA_HAVE_PNG
    ASSERT_EQ(Run({"in.jpg", "out.png"}).exitCode, 0);
    const auto png = DecodePng(ReadBytes(dir / "out.png"));
    ASSERT_TRUE(png);
    EXPECT_EQ(png->width, kWidth);
    EXPECT_EQ(png->rgb, ppm->rgb);
#endif
    // Nothing is left over from writing through temporary names.
    std::set<std::string> expected = {"source.ppm", "in.jpg", "out.ppm", "out.bmp", "OUT.BMP"};
#ifdef TESSERA_HAVE_PNG
    expected.insert("out.png");
#endif
    EXPECT_EQ(Files(), expected);
}

TEST_F(DecodeTool, ExistingOutputIsReplaced) {
    WriteBytes(dir / "in.jpg", MakeJpeg(""));
    WriteBytes(dir / "out.ppm", Bytes(100000, 'x'));
    ASSERT_EQ(Run({"in.jpg", "out.ppm"}).exitCode, 0);
    const auto ppm = ReadPpm("out.ppm");
    ASSERT_TRUE(ppm);
    EXPECT_EQ(ppm->width, kWidth);
}

// --- rejected files ---

struct Damage {
    const char* name;
    // Turns cjpeg's baseline file into the damaged one.
    Bytes (*damage)(Bytes);
    std::vector<std::string> messages;  // any of these is right
    bool tolerated;                     // decodes without --strict
};

Bytes ExifInsteadOfJfif(Bytes jpeg) {
    jpeg[3] = 0xE1;
    return jpeg;
}

Bytes NotAJpeg(Bytes) {
    return Bytes{'P', '6', '\n', '1', ' ', '1', '\n'};
}

Bytes LosslessFrame(Bytes jpeg) {
    jpeg[Find(jpeg, {0xFF, 0xC0}) + 1] = 0xC3;
    return jpeg;
}

// The scan's first component asks for DC table 3, which no DHT defined.
Bytes UndefinedDcTable(Bytes jpeg) {
    jpeg[Find(jpeg, {0xFF, 0xDA}) + 6] = 0x30;
    return jpeg;
}

Bytes TruncatedInScan(Bytes jpeg) {
    const std::size_t scan = Find(jpeg, {0xFF, 0xDA});
    jpeg.resize(scan + (jpeg.size() - scan) / 2);
    return jpeg;
}

Bytes MissingEndOfImage(Bytes jpeg) {
    if (jpeg.size() >= 2) jpeg.resize(jpeg.size() - 2);
    return jpeg;
}

Bytes TrailingData(Bytes jpeg) {
    jpeg.push_back('x');
    jpeg.push_back('y');
    return jpeg;
}

const std::vector<Damage> kDamages = {
    {"Exif", ExifInsteadOfJfif, {"Missing JFIF APP0 Marker (JpegBadStream)"}, true},
    {"NotAJpeg", NotAJpeg, {"Missing SOI Marker (JpegBadStream)"}, false},
    {"Lossless", LosslessFrame, {"Lossless Huffman Coding Not Supported (JpegBadStream)"}, false},
    {"UndefinedDcTable", UndefinedDcTable, {"DC Table Not Defined (JpegError)"}, false},
    {"TruncatedInScan",
     TruncatedInScan,
     {"Premature end of file (StreamError)", "Premature end of stream (StreamError)"},
     true},
    {"MissingEndOfImage",
     MissingEndOfImage,
     {"End of Image Marker Not Found (JpegBadStream)"},
     true},
    {"TrailingData", TrailingData, {"Extra Data After End of Image Marker (JpegBadStream)"}, true},
};

// Every damage fails in strict decodes, and those that other decoders do
// not tolerate fail by default too: one line, exit 1, no file left. Standard
// output, written as rows are decoded, holds at most the rows before the
// failure (nothing when the headers fail).
TEST_F(DecodeTool, RejectedFileFailsWithOneLineAndNoOutput) {
    const Bytes good = MakeJpeg("");
    WriteBytes(dir / "good.jpg", good);
    // Strict decodes give the saver's pixels, the default libjpeg's.
    const std::string wholeStrict = Run({"--strict", "good.jpg", "-"}).out;
    const std::string wholeDefault = Run({"good.jpg", "-"}).out;
    fs::remove(dir / "good.jpg");
    for (const Damage& damage : kDamages) {
        WriteBytes(dir / "bad.jpg", damage.damage(good));
        std::set<std::string> accepted;
        for (const std::string& message : damage.messages)
            accepted.insert("tessera-decode: bad.jpg: " + message + "\n");
        for (const bool strict : {true, false}) {
            if (!strict && damage.tolerated) continue;
            SCOPED_TRACE(std::string(damage.name) + (strict ? " --strict" : ""));
            const std::vector<std::string> mode =
                strict ? std::vector<std::string>{"--strict"} : std::vector<std::string>{};
            auto with = [&](std::vector<std::string> args) {
                args.insert(args.begin(), mode.begin(), mode.end());
                return Run(args);
            };
            const std::string& whole = strict ? wholeStrict : wholeDefault;
            for (const char* output : {"out.ppm", "out.bmp", "-"}) {
                const Outcome outcome = with({"bad.jpg", output});
                EXPECT_EQ(outcome.exitCode, 1) << output;
                EXPECT_TRUE(accepted.count(outcome.err)) << output << ": " << outcome.err;
                EXPECT_LT(outcome.out.size(), std::string(output) == "-" ? whole.size() : 1)
                    << output;
                EXPECT_EQ(whole.compare(0, outcome.out.size(), outcome.out), 0) << output;
            }
            const Outcome info = with({"--info", "bad.jpg"});
            EXPECT_EQ(info.exitCode, 1);
            EXPECT_TRUE(accepted.count(info.err)) << info.err;
            EXPECT_EQ(info.out, "");
            EXPECT_EQ(Files(), (std::set<std::string>{"source.ppm", "bad.jpg"}));
        }
    }
}

// What the default decode repairs is a warning on standard error, naming the
// failure a strict decode reports; the picture is written and the exit is 0.
TEST_F(DecodeTool, RepairedFileDecodesWithWarnings) {
    const Bytes good = MakeJpeg("");
    for (const Damage& damage : kDamages) {
        if (!damage.tolerated || std::string(damage.name) == "Exif") continue;
        SCOPED_TRACE(damage.name);
        WriteBytes(dir / "bad.jpg", damage.damage(good));
        const Outcome outcome = Run({"bad.jpg", "out.ppm"});
        EXPECT_EQ(outcome.exitCode, 0);
        EXPECT_TRUE(ReadPpm("out.ppm").has_value());
        ASSERT_FALSE(outcome.err.empty());
        bool named = false;
        std::vector<std::string> needles;
        for (const std::string& message : damage.messages) {
            // "Premature end of file (StreamError)" is named "(Premature end of file)".
            std::string needle(1, '(');
            needle.append(message, 0, message.find(" ("));
            needle.push_back(')');
            needles.push_back(needle);
        }
        std::istringstream lines(outcome.err);
        for (std::string line; std::getline(lines, line);) {
            EXPECT_EQ(line.rfind("warning: bad.jpg: ", 0), 0u) << line;
            for (const std::string& needle : needles)
                named = named || line.find(needle) != std::string::npos;
        }
        EXPECT_TRUE(named) << outcome.err;
    }
}

TEST_F(DecodeTool, StreamWithoutFrameIsNoPicture) {
    // SOI, the JFIF APP0 segment, EOI: the decoder accepts it, but there is nothing to write.
    Bytes jpeg = MakeJpeg("");
    const std::size_t app0End = 4 + (jpeg[4] << 8 | jpeg[5]);
    jpeg.resize(app0End);
    jpeg.insert(jpeg.end(), {0xFF, 0xD9});
    WriteBytes(dir / "empty.jpg", jpeg);
    for (const std::vector<std::string>& args : {std::vector<std::string>{"empty.jpg", "out.ppm"},
                                                 {"--partial", "empty.jpg", "out.ppm"},
                                                 {"--info", "empty.jpg"}}) {
        const Outcome outcome = Run(args);
        EXPECT_EQ(outcome.exitCode, 1);
        EXPECT_EQ(outcome.err.rfind("tessera-decode: empty.jpg: ", 0), 0u) << outcome.err;
        EXPECT_EQ(outcome.out, "");
    }
    EXPECT_FALSE(fs::exists(dir / "out.ppm"));
}

// --- --partial ---

TEST_F(DecodeTool, PartialWritesWhatWasDecoded) {
    const Bytes good = MakeJpeg("");
    WriteBytes(dir / "good.jpg", good);
    ASSERT_EQ(Run({"good.jpg", "full.ppm"}).exitCode, 0);
    const auto full = ReadPpm("full.ppm");
    ASSERT_TRUE(full);
    ASSERT_EQ(Run({"--strict", "good.jpg", "strict.ppm"}).exitCode, 0);
    const auto fullStrict = ReadPpm("strict.ppm");
    ASSERT_TRUE(fullStrict);

    // Without its EOI every block is still there: the whole picture.
    WriteBytes(dir / "noeoi.jpg", MissingEndOfImage(good));
    Outcome outcome = Run({"--strict", "--partial", "noeoi.jpg", "noeoi.ppm"});
    EXPECT_EQ(outcome.exitCode, 1);
    EXPECT_EQ(outcome.err,
              "tessera-decode: noeoi.jpg: End of Image Marker Not Found (JpegBadStream)\n");
    const auto whole = ReadPpm("noeoi.ppm");
    ASSERT_TRUE(whole);
    EXPECT_EQ(whole->rgb, fullStrict->rgb);

    // Cut half-way through the scan: the first MCU row (16 picture rows) is
    // decoded as in the full file, the last row is not. The default decode's
    // smooth chroma takes the 16th row partly from the next MCU row, which
    // the cut reaches.
    WriteBytes(dir / "cut.jpg", TruncatedInScan(good));
    const std::size_t rowBytes = 3 * kWidth;
    for (const bool strict : {true, false}) {
        SCOPED_TRACE(strict ? "--strict --partial" : "default");
        outcome = strict ? Run({"--strict", "--partial", "cut.jpg", "cut.bmp"})
                         : Run({"cut.jpg", "cut.bmp"});
        EXPECT_EQ(outcome.exitCode, strict ? 1 : 0);
        EXPECT_NE(outcome.err.find(strict ? "(StreamError)" : "warning: "), std::string::npos)
            << outcome.err;
        const auto cut = DecodeBmp(ReadBytes(dir / "cut.bmp"));
        ASSERT_TRUE(cut);
        ASSERT_EQ(cut->width, kWidth);
        ASSERT_EQ(cut->height, kHeight);
        const auto& reference = strict ? fullStrict->rgb : full->rgb;
        const std::size_t sameRows = strict ? 16 : 15;
        EXPECT_TRUE(std::equal(cut->rgb.begin(), cut->rgb.begin() + sameRows * rowBytes,
                               reference.begin()));
        EXPECT_FALSE(
            std::equal(cut->rgb.end() - rowBytes, cut->rgb.end(), reference.end() - rowBytes));
        // The default decode fills what did not arrive mid-grey.
        if (!strict) {
            EXPECT_EQ(std::vector<std::uint8_t>(cut->rgb.end() - rowBytes, cut->rgb.end()),
                      std::vector<std::uint8_t>(rowBytes, 128));
        }
    }

    // A failure before the frame header leaves no picture: nothing is written.
    WriteBytes(dir / "exif.jpg", ExifInsteadOfJfif(good));
    outcome = Run({"--strict", "--partial", "exif.jpg", "exif.ppm"});
    EXPECT_EQ(outcome.exitCode, 1);
    EXPECT_EQ(outcome.err, "tessera-decode: exif.jpg: Missing JFIF APP0 Marker (JpegBadStream)\n");
    EXPECT_FALSE(fs::exists(dir / "exif.ppm"));
}

// --- threads ---

// The fourth restart marker of the first scan left out: a tolerant decode
// repairs the interval there and resumes at the next marker.
Bytes MissingRestart(Bytes jpeg) {
    int seen = 0;
    for (std::size_t at = Find(jpeg, {0xFF, 0xDA}); at + 1 < jpeg.size(); ++at) {
        if (jpeg[at] == 0xFF && (jpeg[at + 1] & 0xF8) == 0xD0 && ++seen == 4) {
            jpeg.erase(jpeg.begin() + static_cast<std::ptrdiff_t>(at),
                       jpeg.begin() + static_cast<std::ptrdiff_t>(at + 2));
            break;
        }
    }
    EXPECT_EQ(seen, 4);
    return jpeg;
}

Bytes Undamaged(Bytes jpeg) {
    return jpeg;
}

struct ThreadsCase {
    const char* name;
    const char* cjpegOptions;
    std::vector<std::string> toolOptions;
    Bytes (*damage)(Bytes);
    bool repaired;  // the decode warns of a repair
    const char* output = "out.ppm";
};

// Labelled "threads" (tests/tool/CMakeLists.txt): ThreadSanitizer runs it.
class DecodeToolThreads : public DecodeTool, public ::testing::WithParamInterface<ThreadsCase> {};

// One thread, two or eight write the same bytes and the same warnings, on a
// picture of many rows and columns of MCUs (the last ones partly outside).
TEST_P(DecodeToolThreads, EveryCountWritesTheSameBytes) {
    const ThreadsCase& c = GetParam();
    WriteBytes(dir / "large.ppm", TestPpm(333, 250));
    WriteBytes(dir / "in.jpg", c.damage(MakeJpeg(c.cjpegOptions, "large.ppm")));
    std::optional<Outcome> first;
    std::optional<Bytes> firstBytes;
    for (const char* threads : {"1", "2", "8"}) {
        SCOPED_TRACE(std::string("--threads ") + threads);
        std::vector<std::string> args = c.toolOptions;
        args.insert(args.end(), {"--threads", threads, "in.jpg", c.output});
        const Outcome outcome = Run(args);
        ASSERT_EQ(outcome.exitCode, 0) << outcome.err;
        EXPECT_EQ(!outcome.err.empty(), c.repaired) << outcome.err;
        const Bytes written = ReadBytes(dir / c.output);
        ASSERT_FALSE(written.empty());
        if (!first) {
            first = outcome;
            firstBytes = written;
            continue;
        }
        EXPECT_EQ(outcome.err, first->err);
        EXPECT_TRUE(written == *firstBytes);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Tool, DecodeToolThreads,
    ::testing::Values(
        ThreadsCase{"Baseline420", "", {}, Undamaged, false},
        ThreadsCase{"RestartEveryRow", "-restart 1", {}, Undamaged, false},
        ThreadsCase{"RestartEveryMcu", "-restart 1B", {}, Undamaged, false},
        ThreadsCase{"Baseline444", "-sample 1x1", {}, Undamaged, false},
        ThreadsCase{"Baseline422", "-sample 2x1 -restart 2", {}, Undamaged, false},
        ThreadsCase{"Grayscale", "-grayscale -restart 1", {}, Undamaged, false},
        ThreadsCase{"Progressive", "-progressive", {}, Undamaged, false},
        ThreadsCase{"ProgressiveRestarts", "-progressive -restart 1", {}, Undamaged, false},
        ThreadsCase{"Exact", "-restart 1", {"--exact"}, Undamaged, false},
        ThreadsCase{"Replicated", "-restart 1", {"-nosmooth"}, Undamaged, false},
        ThreadsCase{"Scaled", "-restart 1", {"-scale", "3/8"}, Undamaged, false},
        ThreadsCase{"Cropped", "-restart 1", {"-crop", "150x101+37+61"}, Undamaged, false},
        ThreadsCase{"Layout", "-restart 1", {"--format", "bgra"}, Undamaged, false, "out.raw"},
        ThreadsCase{"Strict", "-restart 1", {"--strict"}, Undamaged, false},
        ThreadsCase{"MissingRestart", "-restart 1", {}, MissingRestart, true},
        ThreadsCase{"TruncatedInScan", "-restart 1", {}, TruncatedInScan, true},
        ThreadsCase{"TruncatedProgressive", "-progressive", {}, TruncatedInScan, true}),
    [](const auto& info) { return std::string(info.param.name); });

// --- usage and environment errors ---

TEST_F(DecodeTool, UsageErrorsExitTwoAndWriteNothing) {
    WriteBytes(dir / "in.jpg", MakeJpeg(""));
    const std::vector<std::vector<std::string>> cases = {
        {},
        {"in.jpg"},
        {"in.jpg", "a.ppm", "b.ppm"},
        {"--bogus", "in.jpg", "out.ppm"},
        {"-x", "in.jpg", "out.ppm"},
        {"in.jpg", "out.gif"},
        {"in.jpg", "out"},
        {"--info"},
        {"--info", "in.jpg", "out.ppm"},
        {"--info", "--partial", "in.jpg"},
        {"--threads", "0", "in.jpg", "out.ppm"},
        {"--threads", "-2", "in.jpg", "out.ppm"},
        {"--threads", "two", "in.jpg", "out.ppm"},
        {"--threads", "2.5", "in.jpg", "out.ppm"},
        {"--threads", "", "in.jpg", "out.ppm"},
        {"in.jpg", "out.ppm", "--threads"},
    };
    for (const auto& args : cases) {
        std::string joined;
        for (const auto& arg : args) joined += arg + " ";
        SCOPED_TRACE(joined);
        const Outcome outcome = Run(args);
        EXPECT_EQ(outcome.exitCode, 2);
        EXPECT_EQ(outcome.err.rfind("tessera-decode: ", 0), 0u) << outcome.err;
        EXPECT_EQ(outcome.out, "");
    }
    EXPECT_EQ(Files(), (std::set<std::string>{"source.ppm", "in.jpg"}));
}

TEST_F(DecodeTool, UnreadableInputAndUnwritableOutputExitTwo) {
    WriteBytes(dir / "in.jpg", MakeJpeg(""));
    fs::create_directory(dir / "taken.ppm");  // a directory where the output should go
    struct Case {
        std::vector<std::string> args;
        std::string errorStart;
    };
    const std::vector<Case> cases = {
        {{"missing.jpg", "out.ppm"}, "tessera-decode: cannot read missing.jpg: "},
        {{"--info", "missing.jpg"}, "tessera-decode: cannot read missing.jpg: "},
        {{"in.jpg", "no/such/dir/out.ppm"}, "tessera-decode: cannot write no/such/dir/out.ppm"},
        {{"in.jpg", "taken.ppm"}, "tessera-decode: cannot write taken.ppm"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args.front() + " " + c.args.back());
        const Outcome outcome = Run(c.args);
        EXPECT_EQ(outcome.exitCode, 2);
        EXPECT_EQ(outcome.err.rfind(c.errorStart, 0), 0u) << outcome.err;
        EXPECT_EQ(std::count(outcome.err.begin(), outcome.err.end(), '\n'), 1) << outcome.err;
    }
    EXPECT_EQ(Files(), (std::set<std::string>{"source.ppm", "in.jpg", "taken.ppm"}));
    EXPECT_TRUE(fs::is_empty(dir / "taken.ppm"));
}

TEST_F(DecodeTool, OutOfMemoryExitsTwo) {
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "an address-space limit breaks the sanitizer's shadow memory";
#endif
    // The frame claims 16384 × 16384 pixels (within the decoder's limit): a
    // progressive picture holds 800 MB of coefficients for that; the address
    // space is held to 512 MB. (A baseline one would be read row by row.)
    Bytes jpeg = MakeJpeg("-progressive");
    const std::size_t sof = Find(jpeg, {0xFF, 0xC2});
    for (std::size_t at : {sof + 5, sof + 7}) {
        jpeg[at] = 0x40;
        jpeg[at + 1] = 0x00;
    }
    WriteBytes(dir / "huge.jpg", jpeg);
    const Outcome outcome = Run({"huge.jpg", "out.ppm"}, "ulimit -v 524288 && ");
    EXPECT_EQ(outcome.exitCode, 2);
    EXPECT_EQ(outcome.err, "tessera-decode: huge.jpg: out of memory\n");
    EXPECT_FALSE(fs::exists(dir / "out.ppm"));
}

// --- layouts, orientation, ICC profiles and djpeg's spellings ---

// The segment after cjpeg's JFIF APP0 segment.
Bytes WithSegment(const Bytes& jpeg, std::uint8_t code, const Bytes& payload) {
    const std::size_t app0End = 4 + (std::size_t{jpeg[4]} << 8 | jpeg[5]);
    const std::size_t length = payload.size() + 2;
    Bytes out(jpeg.begin(), jpeg.begin() + static_cast<std::ptrdiff_t>(app0End));
    out.insert(out.end(), {0xFF, code, static_cast<std::uint8_t>(length >> 8),
                           static_cast<std::uint8_t>(length)});
    out.insert(out.end(), payload.begin(), payload.end());
    out.insert(out.end(), jpeg.begin() + static_cast<std::ptrdiff_t>(app0End), jpeg.end());
    return out;
}

Bytes WithOrientation(const Bytes& jpeg, unsigned orientation) {
    return WithSegment(jpeg, 0xE1, {'E',  'x',
                                    'i',  'f',
                                    0,    0,
                                    'M',  'M',
                                    0,    42,
                                    0,    0,
                                    0,    8,
                                    0,    1,
                                    0x01, 0x12,
                                    0,    3,
                                    0,    0,
                                    0,    1,
                                    0,    static_cast<std::uint8_t>(orientation),
                                    0,    0,
                                    0,    0,
                                    0,    0});
}

// The profile in APP2 chunks of at most `chunk` bytes, written last to first.
Bytes WithIccProfile(const Bytes& jpeg, const Bytes& profile, std::size_t chunk) {
    const std::size_t count = (profile.size() + chunk - 1) / chunk;
    Bytes out = jpeg;
    for (std::size_t i = 0; i < count; ++i) {
        Bytes payload = {'I',
                         'C',
                         'C',
                         '_',
                         'P',
                         'R',
                         'O',
                         'F',
                         'I',
                         'L',
                         'E',
                         0,
                         static_cast<std::uint8_t>(i + 1),
                         static_cast<std::uint8_t>(count)};
        const std::size_t end = std::min(profile.size(), (i + 1) * chunk);
        payload.insert(payload.end(), profile.begin() + static_cast<std::ptrdiff_t>(i * chunk),
                       profile.begin() + static_cast<std::ptrdiff_t>(end));
        out = WithSegment(out, 0xE2, payload);  // each before the ones written so far
    }
    return out;
}

// A display RGB profile as small as libpng takes: the 128-byte header
// (size, version 2.1, 'mntr', 'RGB ', 'XYZ ', 'acsp', the D50 illuminant)
// and no tags; the rest of `size` is padding the header counts.
Bytes RgbProfile(std::size_t size) {
    Bytes profile(size, 0);
    auto put32 = [&](std::size_t at, std::uint32_t value) {
        for (int i = 0; i < 4; ++i)
            profile[at + i] = static_cast<std::uint8_t>(value >> (24 - 8 * i));
    };
    auto putText = [&](std::size_t at, const char* text) {
        std::copy_n(text, 4, profile.begin() + static_cast<std::ptrdiff_t>(at));
    };
    put32(0, static_cast<std::uint32_t>(size));
    put32(8, 0x02100000);
    putText(12, "mntr");
    putText(16, "RGB ");
    putText(20, "XYZ ");
    putText(36, "acsp");
    put32(68, 0x0000F6D6);  // D50: X 0.9642, Y 1.0, Z 0.8249
    put32(72, 0x00010000);
    put32(76, 0x0000D32D);
    for (std::size_t i = 132; i < size; ++i) profile[i] = static_cast<std::uint8_t>(i * 7);
    return profile;
}

std::optional<Bytes> PngIccProfile(const Bytes& png) {
#ifdef TESSERA_HAVE_PNG
    png_structp reader = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(reader);
    struct Source {
        const Bytes& bytes;
        std::size_t at = 0;
    } source{png};
    png_set_read_fn(reader, &source, [](png_structp p, png_bytep data, png_size_t length) {
        auto* from = static_cast<Source*>(png_get_io_ptr(p));
        if (from->at + length > from->bytes.size()) png_error(p, "short");
        std::copy_n(from->bytes.begin() + static_cast<std::ptrdiff_t>(from->at), length, data);
        from->at += length;
    });
    std::optional<Bytes> profile;
    if (setjmp(png_jmpbuf(reader)) == 0) {
        png_read_info(reader, info);
        png_charp name = nullptr;
        int compression = 0;
        png_bytep data = nullptr;
        png_uint_32 length = 0;
        if (png_get_iCCP(reader, info, &name, &compression, &data, &length) != 0)
            profile = Bytes(data, data + length);
    }
    png_destroy_read_struct(&reader, &info, nullptr);
    return profile;
#else
    (void)png;
    return std::nullopt;
#endif
}

// Each layout of .raw output is the library's decode in that layout; the
// other outputs take rgb alone.
TEST_F(DecodeTool, RawOutputHasTheLayoutAsked) {
    const Bytes jpeg = MakeJpeg("");
    WriteBytes(dir / "in.jpg", jpeg);
    const struct {
        const char* name;
        Tessera::PixelFormat format;
    } layouts[] = {{"rgb", Tessera::PixelFormat::Rgb},   {"bgr", Tessera::PixelFormat::Bgr},
                   {"rgba", Tessera::PixelFormat::Rgba}, {"bgra", Tessera::PixelFormat::Bgra},
                   {"rgbx", Tessera::PixelFormat::Rgbx}, {"bgrx", Tessera::PixelFormat::Bgrx},
                   {"grey", Tessera::PixelFormat::Grey}, {"cmyk", Tessera::PixelFormat::Cmyk}};
    for (const auto& layout : layouts) {
        SCOPED_TRACE(layout.name);
        const Outcome outcome = Run({"--format", layout.name, "in.jpg", "out.raw"});
        ASSERT_EQ(outcome.exitCode, 0) << outcome.err;
        const Bytes expected =
            Tessera::DecodeJpeg(jpeg.data(), jpeg.size(), {.format = layout.format}).pixels;
        EXPECT_EQ(expected.size(), kWidth * kHeight * Tessera::BytesPerPixel(layout.format));
        EXPECT_TRUE(ReadBytes(dir / "out.raw") == expected);
    }
    // Without --format, raw rows are RGB, PPM's samples.
    ASSERT_EQ(Run({"in.jpg", "out.ppm"}).exitCode, 0);
    ASSERT_EQ(Run({"in.jpg", "plain.raw"}).exitCode, 0);
    EXPECT_EQ(ReadBytes(dir / "plain.raw"), ReadPpm("out.ppm")->rgb);
    for (const std::vector<std::string>& refused :
         {std::vector<std::string>{"--format", "rgba", "in.jpg", "x.ppm"},
          {"--format", "grey", "in.jpg", "x.png"},
          {"--format", "argb", "in.jpg", "x.raw"},
          {"--format", "rgb", "--info", "in.jpg"},
          {"in.jpg", "x.raw", "--format"}}) {
        const Outcome outcome = Run(refused);
        EXPECT_EQ(outcome.exitCode, 2) << refused[1];
        EXPECT_EQ(outcome.err.rfind("tessera-decode: ", 0), 0u) << outcome.err;
    }
    EXPECT_FALSE(fs::exists(dir / "x.ppm") || fs::exists(dir / "x.png") ||
                 fs::exists(dir / "x.raw"));
}

// --orient against jpegtran's lossless turns of a picture of whole blocks,
// each marked with the Exif orientation that turns it back: the upright
// picture comes out within the transform's rounding. Without --orient the
// file comes as stored.
TEST_F(DecodeTool, OrientTurnsPicturesUprightAsJpegtranTurnedThem) {
    if (!OnPath("jpegtran")) GTEST_SKIP() << "jpegtran is needed";
    const std::string header = "P6\n64 48\n255\n";
    Bytes ppm(header.begin(), header.end());
    for (int y = 0; y < 48; ++y)
        for (int x = 0; x < 64; ++x)
            ppm.insert(ppm.end(),
                       {static_cast<std::uint8_t>(x * 4), static_cast<std::uint8_t>(y * 5),
                        static_cast<std::uint8_t>((x / 8 + y / 8) % 2 ? 220 : 30)});
    WriteBytes(dir / "upright.ppm", ppm);
    ASSERT_EQ(std::system(("cd '" + dir.string() +
                           "' && cjpeg -sample 1x1 -quality 95 -outfile upright.jpg upright.ppm")
                              .c_str()),
              0);
    ASSERT_EQ(Run({"upright.jpg", "upright-decoded.ppm"}).exitCode, 0);
    const auto upright = ReadPpm("upright-decoded.ppm");
    ASSERT_TRUE(upright);
    const struct {
        unsigned orientation;
        const char* jpegtran;  // the turn that orientation undoes
    } cases[] = {{2, "-flip horizontal"}, {3, "-rotate 180"}, {4, "-flip vertical"},
                 {5, "-transpose"},       {6, "-rotate 270"}, {7, "-transverse"},
                 {8, "-rotate 90"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.orientation);
        ASSERT_EQ(std::system(("cd '" + dir.string() + "' && jpegtran -perfect " + c.jpegtran +
                               " -outfile stored.jpg upright.jpg")
                                  .c_str()),
                  0);
        WriteBytes(dir / "marked.jpg",
                   WithOrientation(ReadBytes(dir / "stored.jpg"), c.orientation));
        ASSERT_EQ(Run({"--orient", "marked.jpg", "turned.ppm"}).exitCode, 0);
        ASSERT_EQ(Run({"marked.jpg", "as-stored.ppm"}).exitCode, 0);
        const auto turned = ReadPpm("turned.ppm"), stored = ReadPpm("as-stored.ppm");
        ASSERT_TRUE(turned && stored);
        ASSERT_EQ(turned->width, 64);
        ASSERT_EQ(turned->height, 48);
        EXPECT_LE(MaxDifference(*turned, *upright), 3);
        EXPECT_EQ(stored->width, c.orientation >= 5 ? 48 : 64);
        if (stored->width == 64) {
            EXPECT_GT(MaxDifference(*stored, *upright), 100);
        }
    }
}

// --icc writes the profile's bytes; PNG output carries it in its iCCP chunk
// where it suits RGB; a file without a profile, or with damaged chunks,
// writes none and says so.
TEST_F(DecodeTool, IccProfileIsWrittenAndCarriedByPng) {
    const Bytes plain = MakeJpeg("");
    const Bytes profile = RgbProfile(70000);  // two chunks
    const Bytes grey = [] {
        Bytes p = RgbProfile(132);
        std::copy_n("GRAY", 4, p.begin() + 16);
        return p;
    }();
    Bytes damaged = WithIccProfile(plain, profile, 40000);
    const std::size_t firstCount = Find(damaged, {'I', 'C', 'C', '_'}) + 13;
    damaged[firstCount] = 3;  // one chunk now claims three
    struct Case {
        const char* name;
        Bytes jpeg;
        std::optional<Bytes> written;  // the --icc file
        std::optional<Bytes> inPng;
        const char* warning;  // part of standard error
    } cases[] = {
        {"two chunks", WithIccProfile(plain, profile, 40000), profile, profile, ""},
        {"a grey profile", WithIccProfile(plain, grey, 65000), grey, std::nullopt,
         "does not suit a PNG's colours"},
        {"none", plain, std::nullopt, std::nullopt, "no ICC profile: p.icc not written"},
        {"damaged", damaged, std::nullopt, std::nullopt, "(Damaged ICC Profile Chunks)"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        fs::remove(dir / "p.icc");
        WriteBytes(dir / "in.jpg", c.jpeg);
#ifdef TESSERA_HAVE_PNG
        const Outcome outcome = Run({"--icc", "p.icc", "in.jpg", "out.png"});
#else
        const Outcome outcome = Run({"--icc", "p.icc", "in.jpg", "out.ppm"});
#endif
        EXPECT_EQ(outcome.exitCode, 0) << outcome.err;
        EXPECT_NE(outcome.err.find(c.warning), std::string::npos) << outcome.err;
        EXPECT_EQ(fs::exists(dir / "p.icc"), c.written.has_value());
        if (c.written) {
            EXPECT_TRUE(ReadBytes(dir / "p.icc") == *c.written);
        }
#ifdef TESSERA_HAVE_PNG
        EXPECT_TRUE(PngIccProfile(ReadBytes(dir / "out.png")) == c.inPng);
        EXPECT_TRUE(DecodePng(ReadBytes(dir / "out.png")).has_value());
#endif
    }
    // --info writes it too.
    WriteBytes(dir / "in.jpg", WithIccProfile(plain, profile, 65519));
    fs::remove(dir / "p.icc");
    EXPECT_EQ(Run({"--info", "--icc", "p.icc", "in.jpg"}).exitCode, 0);
    EXPECT_TRUE(ReadBytes(dir / "p.icc") == profile);
}

// djpeg's spellings of the scale, the region and the chroma up-sampling, and
// --exact: well formed they decode (at the picture's size here, where they
// keep it), malformed they are usage errors.
TEST_F(DecodeTool, DjpegSpellingsOfTheOptions) {
    WriteBytes(dir / "in.jpg", MakeJpeg(""));
    const std::string whole = std::to_string(kWidth) + "x" + std::to_string(kHeight) + "+0+0";
    for (const std::vector<std::string>& accepted : {std::vector<std::string>{"-scale", "1/1"},
                                                     {"-scale", "8/8"},
                                                     {"-crop", whole},
                                                     {"-nosmooth"},
                                                     {"--exact"},
                                                     {"-nosmooth", "-scale", "2/2", "--orient"}}) {
        std::vector<std::string> args = accepted;
        args.insert(args.end(), {"in.jpg", "out.ppm"});
        const Outcome outcome = Run(args);
        EXPECT_EQ(outcome.exitCode, 0) << accepted[0] << ": " << outcome.err;
        const auto picture = ReadPpm("out.ppm");
        ASSERT_TRUE(picture) << accepted[0];
        EXPECT_EQ(picture->width, kWidth);
        EXPECT_EQ(picture->height, kHeight);
        fs::remove(dir / "out.ppm");
    }
    for (const std::vector<std::string>& refused : {std::vector<std::string>{"-scale", "1"},
                                                    {"-scale", "0/8"},
                                                    {"-scale", "1/0"},
                                                    {"-scale", "a/8"},
                                                    {"-crop", "10x10"},
                                                    {"-crop", "0x5+1+1"},
                                                    {"-crop", "5x5+1"},
                                                    {"-crop", "5x5+-1+1"},
                                                    {"-scale"}}) {
        std::vector<std::string> args = refused;
        if (args.size() > 1) args.insert(args.end(), {"in.jpg", "out.ppm"});
        const Outcome outcome = Run(args);
        EXPECT_EQ(outcome.exitCode, 2) << refused.back();
        EXPECT_EQ(outcome.err.rfind("tessera-decode: " + refused[0], 0), 0u) << outcome.err;
        EXPECT_FALSE(fs::exists(dir / "out.ppm"));
    }
    const Outcome help = Run({"--help"});
    EXPECT_NE(help.out.find("-crop WxH+X+Y     decode exactly this rectangle"), std::string::npos);
}

}  // namespace
