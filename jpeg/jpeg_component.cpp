#include "jpeg_component.h"

#include <algorithm>
#include <bit>

#include "coefficient_block.h"
#include "frame_header.h"
#include "quant_table.h"

namespace Tessera {

namespace {

// ⌈a ÷ b⌉ in unsigned arithmetic.
unsigned DivideRoundingUp(unsigned a, unsigned b) {
    return (a + b - 1) / b;
}

// Makes room for `capacity` elements. A buffer kept from an earlier picture
// is used again, unless it is more than twice as large as needed: the memory
// a decoder keeps between pictures follows what its last picture needed.
template <typename Buffer>
void Reserve(Buffer& buffer, std::size_t capacity) {
    if (buffer.capacity() / 2 > capacity) buffer = Buffer();
    buffer.reserve(capacity);
}

// Grows the buffer to `size` elements, the new ones `value`. The buffers'
// allocator leaves new elements unwritten, so this writes them once.
template <typename Buffer>
void Grow(Buffer& buffer, std::size_t size, typename Buffer::value_type value) {
    const std::size_t old = buffer.size();
    if (size <= old) return;
    buffer.resize(size);
    std::fill(buffer.begin() + static_cast<std::ptrdiff_t>(old), buffer.end(), value);
}

}  // namespace

void JpegComponent::SetGeometry(const FrameComponent& component, const FrameHeader& frame,
                                const Setup& value) {
    horizontalSampling = component.horizontalSampling;
    verticalSampling = component.verticalSampling;
    verticalUpsampling = frame.maxVerticalSampling / verticalSampling;
    horizontalUpsampling = frame.maxHorizontalSampling / horizontalSampling;
    scanBlockRows = DivideRoundingUp(frame.height, 8 * verticalUpsampling);
    scanBlockColumns = DivideRoundingUp(frame.width, 8 * horizontalUpsampling);
    blockRows = frame.mcuRows * verticalSampling;
    blockColumns = frame.mcuColumns * horizontalSampling;
    setup = value;
}

void JpegComponent::AllocateBuffers(bool progressive, bool band) {
    if (prepared) return;
    // Address space only: the rows are constructed as scans reach them,
    // within this capacity, so the buffers never move.
    holdsCoefficients = progressive;
    sampleBand = progressive || band;
    if (holdsCoefficients) Reserve(coefficients, BlockValues(blockRows));
    Reserve(samples, BlockValues(SampleBlockRows(blockRows)));
    prepared = true;
}

void JpegComponent::GrowBlockRows(unsigned rows) {
    const std::uint8_t unreached = setup.unreachedSample;
    if (holdsCoefficients) Grow(coefficients, BlockValues(rows), std::int16_t{0});
    Grow(samples, BlockValues(SampleBlockRows(rows)), unreached);
    if (sampleBand && !holdsCoefficients) {
        // A row that a sequential band reaches starts unreached, as a row
        // of a whole plane does, also where its blocks get no data.
        const std::size_t bandRows = verticalSampling;
        for (unsigned r = std::max(allocatedRows, rows - std::min(rows, verticalSampling));
             r < rows; ++r)
            std::fill_n(samples.begin() + static_cast<std::ptrdiff_t>(BlockValues(r % bandRows)),
                        BlockValues(1), unreached);
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
    prepared = false;
    holdsCoefficients = false;
    sampleBand = false;
    allocatedRows = 0;
}

void JpegComponent::Transform(unsigned row, unsigned col, const std::int16_t* natural) {
    setup.inverseDct(BlockSamples(row, col), static_cast<std::ptrdiff_t>(SampleStride()), natural,
                     setup.quantTable->multipliers.data());
}

void JpegComponent::StoreBlock(unsigned row, unsigned col, const std::int16_t* natural) {
    Transform(row, col, natural);
}

void JpegComponent::FillBlock(unsigned row, unsigned col) {
    if (holdsCoefficients) return;  // progressive blocks keep what earlier scans gave
    alignas(16) std::int16_t zero[64];
    ClearBlock(zero);
    Transform(row, col, zero);
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
            Transform(r, c, natural);
        }
    }
}

}  // namespace Tessera
