#include "jpeg_component.h"

#include <algorithm>
#include <bit>

#include "coefficient_block.h"
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

bool JpegComponent::QuantTableIsSixteenBit() const {
    return quantTable != nullptr && quantTable->sixteenBit;
}

namespace {

// Makes room for `capacity` elements. A buffer kept from an earlier picture
// is used again, unless it is more than twice as large as needed: the memory
// a decoder keeps between pictures follows what its last picture needed.
template <typename Buffer>
void Reserve(Buffer& buffer, std::size_t capacity) {
    if (buffer.capacity() / 2 > capacity) buffer = Buffer();
    buffer.reserve(capacity);
}

// Grows the buffer to `size` elements, the new ones zero. The buffers'
// allocator leaves new elements unwritten, so this writes them once.
template <typename Buffer>
void GrowZeroed(Buffer& buffer, std::size_t size) {
    const std::size_t old = buffer.size();
    if (size <= old) return;
    buffer.resize(size);
    std::fill(buffer.begin() + static_cast<std::ptrdiff_t>(old), buffer.end(), 0);
}

}  // namespace

void JpegComponent::AllocateBuffers(const JpegDecoder& decoder) {
    if (!prepared) {
        verticalUpsampling = decoder.MaxVerticalSampling() / verticalSampling;
        horizontalUpsampling = decoder.MaxHorizontalSampling() / horizontalSampling;
        scanBlockRows = DivideRoundingUp(decoder.PictureHeight(), 8 * verticalUpsampling);
        scanBlockColumns = DivideRoundingUp(decoder.PictureWidth(), 8 * horizontalUpsampling);
        blockRows = decoder.McuRowCount() * verticalSampling;
        blockColumns = decoder.McuColumnCount() * horizontalSampling;
        inverseDct = decoder.Kernels().inverseDct;
        // Address space only: the rows are constructed as scans reach them,
        // within this capacity, so the buffers never move.
        holdsCoefficients = decoder.ProgressiveFrame();
        sampleBand = holdsCoefficients || decoder.SampleBands();
        if (holdsCoefficients) Reserve(coefficients, BlockValues(blockRows));
        Reserve(samples, BlockValues(SampleBlockRows(blockRows)));
        prepared = true;
    }
}

void JpegComponent::GrowBlockRows(unsigned rows) {
    if (holdsCoefficients) GrowZeroed(coefficients, BlockValues(rows));
    GrowZeroed(samples, BlockValues(SampleBlockRows(rows)));
    if (sampleBand && !holdsCoefficients) {
        // A row that a sequential band reaches starts at zero samples, as a
        // row of a whole plane does, also where its blocks get no data.
        const std::size_t bandRows = verticalSampling;
        for (unsigned r = std::max(allocatedRows, rows - std::min(rows, verticalSampling));
             r < rows; ++r)
            std::fill_n(samples.begin() + static_cast<std::ptrdiff_t>(BlockValues(r % bandRows)),
                        BlockValues(1), std::uint8_t{0});
    }
    allocatedRows = rows;
}

void JpegComponent::ReleaseBuffers(bool keepMemory) {
    if (keepMemory) {
        samples.clear();
        coefficients.clear();
    } else {
        samples = SampleBuffer();  // frees the memory (assigning {} would keep it)
        coefficients = CoefficientBuffer();
    }
    eobRun = 0;
    prepared = false;
    holdsCoefficients = false;
    sampleBand = false;
    allocatedRows = 0;
}

void JpegComponent::Transform(int row, int col, const std::int16_t* blockCoefficients) {
    inverseDct(BlockSamples(row, col), static_cast<std::ptrdiff_t>(SampleStride()),
               blockCoefficients, quantTable->multipliers.data());
}

void JpegComponent::TransformMcuRow(unsigned mcuRow) {
    if (samples.empty() || coefficients.empty()) return;
    const unsigned first = mcuRow * verticalSampling;
    const unsigned last = std::min(first + verticalSampling, allocatedRows);
    // Progressive scans keep the coefficients in zigzag order, the order in
    // which their bands address them; the transform takes natural order.
    // Blocks are mostly zeros, so only the non-zero ones are moved.
    alignas(16) std::int16_t natural[64];
    for (unsigned r = first; r < last; ++r) {
        const std::int16_t* block = coefficients.data() + BlockIndex(r, 0) * 64;
        for (unsigned c = 0; c < blockColumns; ++c, block += 64) {
            ClearBlock(natural);
            for (std::uint64_t nonZero = NonZeroCoefficients(block); nonZero != 0;
                 nonZero &= nonZero - 1) {
                const int k = std::countr_zero(nonZero);
                natural[ZigzagToNatural[k]] = block[k];
            }
            Transform(static_cast<int>(r), static_cast<int>(c), natural);
        }
    }
}

}  // namespace Tessera

namespace Tessera {

void JpegComponent::FillBlock(int row, int col) {
    if (holdsCoefficients) return;  // progressive blocks keep what earlier scans gave
    alignas(16) std::int16_t zero[64];
    ClearBlock(zero);
    Transform(row, col, zero);
}

}  // namespace Tessera
