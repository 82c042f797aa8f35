// Tessera: a JPEG decoder (baseline, extended sequential and progressive;
// Huffman coding; 8-bit samples; grey, YCbCr, RGB, CMYK and YCCK) with exact
// integer arithmetic, so every correct build gives the same bytes.
//
//   std::vector<std::uint8_t> file = ...;
//   Tessera::Image image = Tessera::DecodeJpeg(file.data(), file.size());
//
// or, a few rows at a time in bounded memory:
//
//   Tessera::JpegReader reader(file.data(), file.size(), {.format = Tessera::PixelFormat::Rgb});
//   std::vector<std::uint8_t> rows(16 * reader.RowBytes());
//   while (std::size_t n = reader.ReadRows(rows.data(), 16)) ...
//
// Every failure is an exception of the classes below, carrying a fixed
// English message and an ErrorCode.
//
// A program built against an older version of this header keeps working with
// a newer library of the same SONAME (libtessera.so.0; abi/tessera.abi holds
// its interface, which scripts/test compares):
// - DecodeOptions begins with its size, which the library honours: fields
//   past the size the caller's header knew take their defaults. Fields are
//   only ever added at its end, each starting at or after the size before it
//   (the library checks that the struct ends without padding).
// - JpegInfo, Image and DecodeReport, which the library fills in, keep their
//   size: a later field takes its place from `reserved`, where 0 stands for
//   what a library without the field gives.
// - Enumerations only gain values; Warning, ComponentInfo, Scale and Region
//   stay as they are.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <exception>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

// Only what this header declares is exported from a shared build.
#if defined(_WIN32)
#if defined(TESSERA_SHARED_LIBRARY) && defined(TESSERA_BUILDING_LIBRARY)
#define TESSERA_API __declspec(dllexport)
#elif defined(TESSERA_SHARED_LIBRARY)
#define TESSERA_API __declspec(dllimport)
#else
#define TESSERA_API
#endif
#else
#define TESSERA_API __attribute__((visibility("default")))
#endif

namespace Tessera {

// One code per message, stable across versions: switch on it rather than on
// the text. Codes 1-19 concern the file's structure, 20-39 features this
// decoder does not support, 40-59 corrupt headers, 60-69 corrupt entropy-coded
// data, 70-79 the decoder's limits, 80-89 misuse.
enum class ErrorCode : std::uint16_t {
    Other = 0,  // a message of none of the codes below
    MissingSoiMarker = 1,
    MissingJfifApp0Marker = 2,
    NotAJfifFile = 3,
    PrematureEndOfFile = 4,
    PrematureEndOfStream = 5,
    EndOfImageMarkerNotFound = 6,
    ExtraDataAfterEndOfImage = 7,
    UnknownMarker = 8,
    InvalidMarkerInCompressedStream = 9,
    InvalidMarkerInCompressedData = 10,
    MissingRestartMarker = 11,
    IncorrectRestartMarker = 12,
    LosslessNotSupported = 20,
    DifferentialSequentialNotSupported = 21,
    DifferentialProgressiveNotSupported = 22,
    DifferentialLosslessNotSupported = 23,
    ArithmeticCodingNotSupported = 24,
    DhpMarkerNotSupported = 25,
    SamplePrecisionNotSupported = 26,        // "Only 8-bit data supported"
    QuantizationPrecisionNotSupported = 27,  // "Only 8-bit Data is Supported"
    ComponentCountNotSupported = 28,
    MultipleFrameHeadersNotSupported = 29,
    SamplingFactorsNotSupported = 30,
    ColourTransformNotSupported = 31,
    HuffmanTableIndexOutOfRange = 40,
    QuantizationTableIndexTooLarge = 41,
    InvalidFrameSize = 42,
    BadQuantizationTableIndex = 43,
    ScanBeforeFrame = 44,
    InvalidScanComponentCount = 45,
    ComponentNotDefined = 46,
    InvalidComponentIdentifier = 47,
    HuffmanCountTooLarge = 48,
    BadHuffmanTable = 49,
    ZeroQuantizationValue = 50,
    InvalidQuantizationPrecision = 51,
    HorizontalSamplingOutOfRange = 52,
    VerticalSamplingOutOfRange = 53,
    AcTableNotDefined = 54,
    DcTableNotDefined = 55,
    QuantizationTableNotDefined = 56,
    SpectralSelectionOutOfRange = 57,
    ProgressiveScanMixesDcAndAc = 58,
    // The ICC_PROFILE segments do not make one profile: a chunk number outside
    // its count, counts that disagree, a chunk repeated or missing. Only ever
    // a warning (every decode): the picture is decoded without its profile.
    IccProfileDamaged = 59,
    BadHuffmanCodeLength = 60,
    CoefficientIndexOutOfRange = 61,
    DataOutOfRange = 62,
    ProgressiveScanError = 63,
    InvalidValueInStream = 64,
    InvalidDcDifferenceCategory = 65,
    ImageTooLarge = 70,
    TooManyScans = 71,
    TooManyBlockVisits = 72,
    MemoryLimitExceeded = 73,  // DecodeOptions::maxMemory
    NotReadingAnImage = 80,
    QuantizationTableNotAssigned = 81,
    ScaleNotSupported = 82,  // a scale above 1, or any scale with Pixels::Exact
    RegionOutsidePicture = 83,
    BufferTooSmall = 84,           // DecodeJpegInto's buffer cannot hold the rows
    PitchTooSmall = 85,            // a row pitch below the bytes of a row
    OptionsSizeNotSupported = 86,  // DecodeOptions::structSize below 4
};

// The fixed message of a code ("" for Other).
TESSERA_API const char* ErrorMessage(ErrorCode code) noexcept;
// The code of a message; Other for a text that is none of them.
TESSERA_API ErrorCode ErrorCodeOf(const char* message) noexcept;

// Base of every error about a picture's content.
class TESSERA_API GraphicsException : public std::exception {
  public:
    explicit GraphicsException(std::string message);
    const char* what() const noexcept override;
    ErrorCode Code() const noexcept { return code_; }

  private:
    std::string message_;
    ErrorCode code_;
};

// Misuse of the decoder, and some checks of a picture's tables.
class TESSERA_API JpegError : public GraphicsException {
  public:
    explicit JpegError(std::string message) : GraphicsException(std::move(message)) {}
};

// A corrupt stream, or one that uses a feature this decoder does not support.
class TESSERA_API JpegBadStream : public JpegError {
  public:
    explicit JpegBadStream(std::string message) : JpegError(std::move(message)) {}
};

// The compressed data ended early or holds a marker where data must be. Not a
// GraphicsException: a caller catching those does not see it.
class TESSERA_API StreamError : public std::logic_error {
  public:
    explicit StreamError(const std::string& message);
    ErrorCode Code() const noexcept { return code_; }

  private:
    ErrorCode code_;
};

// The code of any exception this library throws; Other for any other exception.
TESSERA_API ErrorCode ErrorCodeOf(const std::exception& error) noexcept;

// Pixel layouts of decoded rows: bytes in memory order, 8 bits each.
enum class PixelFormat {
    Bgra,  // blue, green, red, alpha (255): the decoder's own order
    Rgba,
    Rgb,
    Grey,  // grey pictures as they are; colour ones as their luma
    // Cyan, magenta, yellow, black: four-component pictures as their inks
    // are stored (Adobe files store them inverted, 255 no ink), YCCK ones
    // converted to those inks; other pictures as red, green, blue and 255,
    // which the same conversion takes back to their colours.
    Cmyk,
    Bgr,   // blue, green, red (24-bit bitmaps)
    Bgrx,  // blue, green, red, 255
    Rgbx,  // red, green, blue, 255
};

constexpr std::size_t BytesPerPixel(PixelFormat format) {
    switch (format) {
        case PixelFormat::Grey:
            return 1;
        case PixelFormat::Rgb:
        case PixelFormat::Bgr:
            return 3;
        default:
            return 4;
    }
}

// How the components' samples become pixels.
enum class Pixels : std::uint8_t {
    // libjpeg-turbo's pixels, byte for byte what djpeg gives with its
    // defaults: its accurate integer inverse DCT, chroma up-sampled smoothly
    // (a triangle filter) where libjpeg does so, and its colour conversion.
    Smooth,
    // The same transform and colours with chroma samples repeated (djpeg
    // -nosmooth).
    Replicated,
    // The screen saver's own arithmetic: its transform and repeated chroma.
    // Strict decodes always give these.
    Exact,
};

// A decode at M/8 of the picture's size: numerator/denominator is taken up
// to the next eighth (as libjpeg does), for M = 1..8. The transform itself
// makes the smaller blocks, so a smaller scale decodes faster and in less
// memory; the pixels are djpeg -scale M/8's.
struct Scale {
    unsigned numerator = 1;
    unsigned denominator = 1;
};

// A rectangle of the decoded picture (at its scale, before any orientation
// is applied); width or height 0: the whole picture.
struct Region {
    unsigned x = 0;
    unsigned y = 0;
    unsigned width = 0;
    unsigned height = 0;
};

struct DecodeOptions {
    // sizeof(DecodeOptions) as the caller's header has it; below 4 the
    // options are refused (OptionsSizeNotSupported).
    std::uint32_t structSize = sizeof(DecodeOptions);
    // false: accept the files cameras, phones and other encoders write, as
    // libjpeg reads them: any APPn segments before the frame (Exif, ICC,
    // Adobe) with JFIF optional; RGB (Adobe transform 0, or components
    // 'R', 'G', 'B'), CMYK and YCCK as well as grey and YCbCr; components
    // that share an identifier; 16-bit quantization tables in extended and
    // progressive frames. What is damaged is repaired and reported
    // (warnings): a damaged restart interval decoded as blocks without data
    // (mid-grey) and the picture resumed at the next restart marker; data
    // that ends inside a scan (the rest without data) or without EOI;
    // anything after EOI; the standard Huffman tables where a frame uses
    // tables it does not define (motion-JPEG); a quantization value of 0.
    // true: exactly the JFIF decoder inside the screen saver, outcome, bytes
    // and message alike.
    bool strict = false;
    PixelFormat format = PixelFormat::Bgra;
    // Larger frames are refused before anything is allocated ("Image Too Large").
    std::uint64_t maxPixels = std::uint64_t{1} << 28;
    // At most this many scans ("Too Many Scans").
    std::uint32_t maxScans = 1000;
    // Tolerant decodes repair what they can and report it as warnings; with
    // this set, the first repair throws the error it stands for instead.
    bool failOnWarning = false;
    // Ignored by strict decodes, which give Pixels::Exact.
    Pixels pixels = Pixels::Smooth;
    // Rows come out upright by the Exif orientation (JpegInfo::orientation):
    // mirrored, turned by 180, 90 or 270 degrees, transposed or transversed,
    // so that orientations 5 to 8 swap width and height. Orientation 2 is
    // mirrored row by row; the others make JpegReader decode the whole
    // picture into a buffer of its own (width × height × BytesPerPixel) at
    // the first ReadRows.
    bool applyOrientation = false;
    // Refused (ScaleNotSupported) above 1 and with Pixels::Exact.
    Scale scale{};
    // Only these rows and columns are decoded, transformed and converted as
    // far as the stream's order allows; refused (RegionOutsidePicture) where
    // it does not lie inside the picture.
    Region region{};
    // Bytes the decode may hold for the picture; 0: no limit besides
    // maxPixels. What the frame needs is worked out from its header and a
    // larger need refused before anything is allocated ("Memory Limit
    // Exceeded"): a progressive frame holds every coefficient (2 bytes × 64
    // a block of each component), a sequential one of several scans its
    // whole sample planes, one whose single scan codes every component a row
    // of MCUs; DecodeJpeg adds its Image, an orientation that needs the whole
    // picture adds it once more. A caller's own buffers do not count.
    std::uint64_t maxMemory = 0;
    // Threads the decode may use, the caller's own included: 1 decodes on
    // the calling thread alone; 0 uses every core the machine has. Other
    // threads work only inside a call; between calls they wait, parked, for
    // the next decode of any thread, and leave after a few idle seconds.
    // The pixels are the same bytes for every count. Strict decodes use one.
    std::uint32_t threads = 1;
    // Keeps the end of the struct free of padding, so that a field added
    // later never lies where an older caller's struct had padding.
    std::uint32_t reserved = 0;
};

// What a tolerant decode repaired: the error a strict decode reports there
// (its code), and what was done about it.
struct Warning {
    ErrorCode code = ErrorCode::Other;
    std::string text;
};

// How the components' samples become colours.
enum class ColourSpace { Grey, YCbCr, Rgb, Cmyk, Ycck };

struct ComponentInfo {
    unsigned id = 0;                  // the identifier the frame header gives
    unsigned horizontalSampling = 0;  // 1..4
    unsigned verticalSampling = 0;    // 1..4
};

// What the headers up to the first scan say.
struct JpegInfo {
    unsigned width = 0;
    unsigned height = 0;
    unsigned components = 0;  // 1, 3 or 4
    bool progressive = false;
    bool extended = false;  // an extended sequential frame (SOF1)
    ColourSpace colourSpace = ColourSpace::Grey;
    std::array<ComponentInfo, 4> sampling{};  // the first `components` entries
    unsigned restartInterval = 0;             // MCUs per interval at the first scan; 0: none
    bool jfif = false;                        // a JFIF APP0 segment
    unsigned orientation = 0;                 // Exif orientation 1..8; 0 when there is none
    bool hasIccProfile = false;               // an ICC_PROFILE APP2 segment, whole or not
    bool arithmetic = false;                  // arithmetic-coded (SOF9, SOF10)
    // The size of the rows a decode with the options given gives (oriented
    // with applyOrientation); width and height otherwise.
    unsigned outputWidth = 0;
    unsigned outputHeight = 0;
    std::uint32_t reserved[8] = {};  // for later fields (see the top of this header)
};

// A decoded picture: rows from the top, no padding between them; width and
// height are the output's (JpegInfo::outputWidth and outputHeight).
struct Image {
    unsigned width = 0;
    unsigned height = 0;
    PixelFormat format = PixelFormat::Bgra;
    std::vector<std::uint8_t> pixels;  // width × height × BytesPerPixel(format)
    std::vector<Warning> warnings;     // what the decode repaired, in order
    // The ICC profile of the ICC_PROFILE APP2 segments before the first scan,
    // its chunks put together in their sequence order; empty without one
    // and when they are damaged (a Warning, IccProfileDamaged, says so).
    std::vector<std::uint8_t> iccProfile;
    std::uint32_t reserved[8] = {};  // for later fields (see the top of this header)
};

// Reads the headers up to the first scan (nothing is decoded), as a decode
// with these options reads them (by default with strict = false), and gives
// the size of the rows that decode gives. A stream that ends properly without
// a frame gives width and height 0.
TESSERA_API JpegInfo ReadJpegInfo(const std::uint8_t* data, std::size_t size);
TESSERA_API JpegInfo ReadJpegInfo(const std::uint8_t* data, std::size_t size,
                                  const DecodeOptions& options);

// Decodes a whole picture. A stream that ends properly without a frame gives
// an empty image (width and height 0).
TESSERA_API Image DecodeJpeg(const std::uint8_t* data, std::size_t size,
                             const DecodeOptions& options = {});

// What DecodeJpegInto tells besides the pixels it wrote.
struct DecodeReport {
    unsigned width = 0;  // of the rows written
    unsigned height = 0;
    PixelFormat format = PixelFormat::Bgra;
    std::vector<Warning> warnings;
    std::vector<std::uint8_t> iccProfile;
    std::uint32_t reserved[8] = {};  // for later fields (see the top of this header)
};

// Decodes a whole picture into the caller's buffer: row y at buffer + y ×
// pitch, each RowBytes long (the bytes between rows are left alone). The
// buffer must hold pitch × (height − 1) + width × BytesPerPixel bytes, the
// size ReadJpegInfo with the same options gives; a pitch below a row's bytes
// (PitchTooSmall) or a smaller buffer (BufferTooSmall) is refused as a
// JpegError before anything is decoded.
TESSERA_API DecodeReport DecodeJpegInto(const std::uint8_t* data, std::size_t size,
                                        std::uint8_t* buffer, std::size_t bufferSize,
                                        std::size_t pitch, const DecodeOptions& options = {});

// Decodes a picture row by row. A sequential picture whose first and only
// scan codes every component is decoded as its rows are read, holding only
// the samples of the MCU row in flight; other pictures are decoded at the
// first ReadRows (a progressive one then holds its coefficients and the
// samples of one MCU row, a sequential one its samples). An orientation
// applied (other than a mirror) holds the whole picture's rows as well. The
// data must outlive the reader.
class TESSERA_API JpegReader {
  public:
    // Reads the headers up to the first scan. Throws when they fail before the
    // frame header; a failure after it is thrown by the first ReadRows.
    JpegReader(const std::uint8_t* data, std::size_t size, const DecodeOptions& options = {});
    ~JpegReader();
    JpegReader(JpegReader&&) noexcept;
    JpegReader& operator=(JpegReader&&) noexcept;

    const JpegInfo& Info() const;
    PixelFormat Format() const;
    // The size of the rows ReadRows gives (Info().outputWidth and
    // outputHeight): the frame's at the decode's scale, or the region's,
    // turned by applyOrientation.
    unsigned Width() const;
    unsigned Height() const;
    // Bytes of one row: Width() × BytesPerPixel(format).
    std::size_t RowBytes() const;

    // Writes up to maxRows rows, top-down, into out (maxRows × RowBytes()
    // bytes) and returns how many it wrote; 0 once every row has been read.
    // A failure is thrown by the call that meets it when it has written no
    // row yet, else by the next call. The last rows come only once the rest
    // of the stream has been read, so every failure comes before the picture
    // is complete. After ReadRows has thrown, further calls do not throw:
    // they hand out the remaining rows as far as the picture was decoded
    // (what a block without data gives below that), for callers that keep
    // damaged pictures.
    std::size_t ReadRows(std::uint8_t* out, std::size_t maxRows);
    // The same with row i at out + i × pitch (pitch ≥ RowBytes(), else
    // PitchTooSmall is thrown); the bytes between rows are left alone.
    std::size_t ReadRows(std::uint8_t* out, std::size_t maxRows, std::size_t pitch);

    // What the decode has repaired so far (complete once every row is read),
    // after a damaged ICC profile's warning, which the constructor finds.
    const std::vector<Warning>& Warnings() const;
    // The picture's ICC profile as Image::iccProfile has it, from the
    // constructor on.
    const std::vector<std::uint8_t>& IccProfile() const;

  private:
    class State;
    std::unique_ptr<State> state;
};

}  // namespace Tessera
