// The library's exceptions and the one list of their messages and codes.
#include <cstring>
#include <utility>

#include "tessera/jpeg.h"

namespace Tessera {

namespace {

struct CodedMessage {
    ErrorCode code;
    const char* message;
};

constexpr CodedMessage kMessages[] = {
    {ErrorCode::MissingSoiMarker, "Missing SOI Marker"},
    {ErrorCode::MissingJfifApp0Marker, "Missing JFIF APP0 Marker"},
    {ErrorCode::NotAJfifFile, "Not a JFIF file"},
    {ErrorCode::PrematureEndOfFile, "Premature end of file"},
    {ErrorCode::PrematureEndOfStream, "Premature end of stream"},
    {ErrorCode::EndOfImageMarkerNotFound, "End of Image Marker Not Found"},
    {ErrorCode::ExtraDataAfterEndOfImage, "Extra Data After End of Image Marker"},
    {ErrorCode::UnknownMarker, "Unknown, unsupported, or reserved marker encountered"},
    {ErrorCode::InvalidMarkerInCompressedStream, "Invalid Marker in Compressed Stream"},
    {ErrorCode::InvalidMarkerInCompressedData, "Invalid Marker in Compressed Data"},
    {ErrorCode::MissingRestartMarker, "Missing Restart Marker"},
    {ErrorCode::IncorrectRestartMarker, "Incorrect Restart Marker"},
    {ErrorCode::LosslessNotSupported, "Lossless Huffman Coding Not Supported"},
    {ErrorCode::DifferentialSequentialNotSupported,
     "Differential Sequential Huffman Coding Not Supported"},
    {ErrorCode::DifferentialProgressiveNotSupported,
     "Differential Progressive Huffman Coding Not Supported"},
    {ErrorCode::DifferentialLosslessNotSupported,
     "Differential Lossless Huffman Coding Not Supported"},
    {ErrorCode::ArithmeticCodingNotSupported,
     "Cannot read image - Arithmetic Coding covered by patents"},
    {ErrorCode::DhpMarkerNotSupported, "DHP marker not supported"},
    {ErrorCode::SamplePrecisionNotSupported, "Only 8-bit data supported"},
    {ErrorCode::QuantizationPrecisionNotSupported, "Only 8-bit Data is Supported"},
    {ErrorCode::ComponentCountNotSupported, "JFIF only supports 1 and 3 component streams"},
    {ErrorCode::MultipleFrameHeadersNotSupported, "Multiple Frame Headers Not Supported"},
    {ErrorCode::SamplingFactorsNotSupported, "Unsupported Sampling Factors"},
    {ErrorCode::ColourTransformNotSupported, "Unsupported Adobe Colour Transform"},
    {ErrorCode::HuffmanTableIndexOutOfRange, "Huffman Table Index outside range [0..3]"},
    {ErrorCode::QuantizationTableIndexTooLarge, "Quantization Table Index Too Large"},
    {ErrorCode::InvalidFrameSize, "Invalid Frame Size"},
    {ErrorCode::BadQuantizationTableIndex, "Bad Quantization Table Index"},
    {ErrorCode::ScanBeforeFrame, "Scan found before frame defined"},
    {ErrorCode::InvalidScanComponentCount, "Invalid component count in scan"},
    {ErrorCode::ComponentNotDefined, "Component Not Defined"},
    {ErrorCode::InvalidComponentIdentifier, "Invalid Component Identifier"},
    {ErrorCode::HuffmanCountTooLarge, "Huffman count > 256"},
    {ErrorCode::BadHuffmanTable, "Bad Huffman Table"},
    {ErrorCode::ZeroQuantizationValue, "Zero value in quantization table"},
    {ErrorCode::InvalidQuantizationPrecision, "Invalid Quantization Table Precision"},
    {ErrorCode::HorizontalSamplingOutOfRange, "Sampling Frequency Outside the Range 1-4"},
    {ErrorCode::VerticalSamplingOutOfRange, "Vertical Sampling Frequency Outside the Range 1-4"},
    {ErrorCode::AcTableNotDefined, "AC Table Not Defined"},
    {ErrorCode::DcTableNotDefined, "DC Table Not Defined"},
    {ErrorCode::QuantizationTableNotDefined, "Quantization Table Not Defined"},
    {ErrorCode::SpectralSelectionOutOfRange, "Spectral Selection Outside the Range 0-63"},
    {ErrorCode::ProgressiveScanMixesDcAndAc, "Progressive scan contains DC and AC data"},
    {ErrorCode::IccProfileDamaged, "Damaged ICC Profile Chunks"},
    {ErrorCode::BadHuffmanCodeLength, "Bad Huffman Code Length"},
    {ErrorCode::CoefficientIndexOutOfRange, "Coefficient Index out of Range"},
    {ErrorCode::DataOutOfRange, "Data out of range"},
    {ErrorCode::ProgressiveScanError, "Error in progressive scan"},
    {ErrorCode::InvalidValueInStream, "Invalid value in input stream"},
    {ErrorCode::InvalidDcDifferenceCategory, "Invalid DC Difference Category"},
    {ErrorCode::ImageTooLarge, "Image Too Large"},
    {ErrorCode::TooManyScans, "Too Many Scans"},
    {ErrorCode::TooManyBlockVisits, "Scans Visit the Picture Too Many Times"},
    {ErrorCode::MemoryLimitExceeded, "Memory Limit Exceeded"},
    {ErrorCode::NotReadingAnImage, "Not reading an image"},
    {ErrorCode::QuantizationTableNotAssigned, "INTERNAL ERROR - Quantization Table Not Assigned"},
    {ErrorCode::ScaleNotSupported, "Scale Not Supported"},
    {ErrorCode::RegionOutsidePicture, "Region Outside the Picture"},
    {ErrorCode::BufferTooSmall, "Output Buffer Too Small"},
    {ErrorCode::PitchTooSmall, "Row Pitch Smaller Than a Row"},
    {ErrorCode::OptionsSizeNotSupported, "Unsupported Options Size"},
};

}  // namespace

const char* ErrorMessage(ErrorCode code) noexcept {
    for (const CodedMessage& entry : kMessages)
        if (entry.code == code) return entry.message;
    return "";
}

ErrorCode ErrorCodeOf(const char* message) noexcept {
    for (const CodedMessage& entry : kMessages)
        if (std::strcmp(entry.message, message) == 0) return entry.code;
    return ErrorCode::Other;
}

ErrorCode ErrorCodeOf(const std::exception& error) noexcept {
    if (const auto* graphics = dynamic_cast<const GraphicsException*>(&error))
        return graphics->Code();
    if (const auto* stream = dynamic_cast<const StreamError*>(&error)) return stream->Code();
    return ErrorCode::Other;
}

// Each exception finds its code by its message, so a message always carries
// the same code, wherever it is raised.
GraphicsException::GraphicsException(std::string message)
    : message_(std::move(message)), code_(ErrorCodeOf(message_.c_str())) {}

const char* GraphicsException::what() const noexcept {
    return message_.c_str();
}

StreamError::StreamError(const std::string& message)
    : std::logic_error(message), code_(ErrorCodeOf(message.c_str())) {}

}  // namespace Tessera
