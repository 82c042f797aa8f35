#include "jpeg_component.h"

#include "huffman_table.h"
#include "inverse_dct.h"
#include "jpeg_decoder.h"
#include "quant_table.h"

namespace Tessera {

namespace {

constexpr unsigned kMinSampling = 1;
constexpr unsigned kMaxSampling = 4;

// ⌈a ÷ b⌉ in unsigned arithmetic.
unsigned DivideRoundingUp(unsigned a, unsigned b) {
    return (a + b - 1) / b;
}

}  // namespace

unsigned JpegComponent::SetHorizontalSampling(unsigned factor) {
    if (factor < kMinSampling || factor > kMaxSampling)
        throw JpegDecoder::JpegError("Sampling Frequency Outside the Range 1-4");
    horizontalSampling = factor;
    return factor;
}

unsigned JpegComponent::SetVerticalSampling(unsigned factor) {
    if (factor < kMinSampling || factor > kMaxSampling)
        throw JpegDecoder::JpegError("Vertical Sampling Frequency Outside the Range 1-4");
    verticalSampling = factor;
    return factor;
}

void JpegComponent::CheckQuantTable() const {
    if (quantTable == nullptr)
        throw JpegDecoder::JpegError("INTERNAL ERROR - Quantization Table Not Assigned");
    if (!quantTable->defined) throw JpegDecoder::JpegBadStream("Quantization Table Not Defined");
}

void JpegComponent::CheckDcTable() const {
    if (dcTable == nullptr || !dcTable->IsDefined())
        throw JpegDecoder::JpegError("DC Table Not Defined");
}

void JpegComponent::CheckAcTable() const {
    if (acTable == nullptr || !acTable->IsDefined())
        throw JpegDecoder::JpegBadStream("AC Table Not Defined");
}

void JpegComponent::AllocateBuffers(const JpegDecoder& decoder) {
    if (!prepared) {
        verticalUpsampling = decoder.MaxVerticalSampling() / verticalSampling;
        horizontalUpsampling = decoder.MaxHorizontalSampling() / horizontalSampling;
        scanBlockRows = DivideRoundingUp(decoder.PictureHeight(), 8 * verticalUpsampling);
        scanBlockColumns = DivideRoundingUp(decoder.PictureWidth(), 8 * horizontalUpsampling);
        blockRows = decoder.McuRowCount() * verticalSampling;
        blockColumns = decoder.McuColumnCount() * horizontalSampling;
        const std::size_t blocks = static_cast<std::size_t>(blockRows) * blockColumns;
        // Address space only: the rows are constructed as scans reach them,
        // within this capacity, so the blocks never move.
        sampleBlocks.reserve(blocks);
        prepared = true;
    }
    if (decoder.ProgressiveFrame() && !holdsCoefficients) {
        coefficients.reserve(static_cast<std::size_t>(blockRows) * blockColumns * 64);
        holdsCoefficients = true;
        coefficients.resize(sampleBlocks.size() * 64);
    }
}

void JpegComponent::EnsureBlockRows(unsigned rows) {
    if (rows <= allocatedRows) return;
    const std::size_t blocks = static_cast<std::size_t>(rows) * blockColumns;
    sampleBlocks.resize(blocks);
    if (holdsCoefficients) coefficients.resize(blocks * 64);
    allocatedRows = rows;
}

void JpegComponent::ReleaseBuffers() {
    sampleBlocks = {};
    coefficients = {};
    plane = {};
    eobRun = 0;
    prepared = false;
    holdsCoefficients = false;
    allocatedRows = 0;
}

void JpegComponent::TransformAllBlocks() {
    if (sampleBlocks.empty() || coefficients.empty()) return;
    for (std::size_t i = 0; i < sampleBlocks.size(); ++i)
        InverseDct(sampleBlocks[i], coefficients.data() + i * 64, *quantTable);
}

void JpegComponent::Upsample() {
    // Only the block rows that scans reached; the conversion supplies the
    // samples of the rest (UnreachedSample).
    const unsigned rows = allocatedRows;
    const std::size_t size = static_cast<std::size_t>(blockColumns) * rows * horizontalUpsampling *
                             verticalUpsampling * 64;
    if (size == 0 || sampleBlocks.empty()) return;
    plane.resize(size);

    std::uint8_t* out = plane.data();
    if (horizontalUpsampling == 1 && verticalUpsampling == 1) {
        for (unsigned r = 0; r < rows; ++r)
            for (int y = 0; y < 8; ++y)
                for (unsigned c = 0; c < blockColumns; ++c) {
                    const std::uint8_t* row = &sampleBlocks[BlockIndex(r, c)].samples[8 * y];
                    for (int x = 0; x < 8; ++x) *out++ = row[x];
                }
        return;
    }
    // Every sample becomes a horizontal × vertical up-sampling rectangle.
    for (unsigned r = 0; r < rows; ++r)
        for (int y = 0; y < 8; ++y)
            for (unsigned repeat = 0; repeat < verticalUpsampling; ++repeat)
                for (unsigned c = 0; c < blockColumns; ++c) {
                    const std::uint8_t* row = &sampleBlocks[BlockIndex(r, c)].samples[8 * y];
                    for (int x = 0; x < 8; ++x)
                        for (unsigned h = 0; h < horizontalUpsampling; ++h) *out++ = row[x];
                }
}

}  // namespace Tessera
