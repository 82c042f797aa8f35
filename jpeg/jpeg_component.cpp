#include "jpeg_component.h"

#include <algorithm>

#include "coefficient_block.h"
#include "frame_header.h"
#include "quant_table.h"
#include "write_prefetch.h"

namespace Tessera {

namespace {

// How far ahead of the block being decoded into the ring of deferred
// transforms its lines are asked for (see BlockToDecode).
constexpr unsigned kPrefetchMcus = 4;

// ⌈a ÷ b⌉ in unsigned arithmetic.
unsigned DivideRoundingUp(unsigned a, unsigned b) {
    return (a + b - 1) / b;
}

// Makes room for `capacity` elements. A buffer kept from an earlier picture
// is used again, unless it is more than twice as large as needed: the memory
// a decoder keeps between pictures follows what its last picture needed.
// True when that took fresh memory, which the allocator hands out zeroed: the
// elements past the buffer's size are then zero until written.
template <typename Buffer>
bool Reserve(Buffer& buffer, std::size_t capacity) {
    if (buffer.capacity() / 2 > capacity) buffer = Buffer();
    if (capacity <= buffer.capacity()) return false;
    buffer.reserve(capacity);
    return true;
}

// Grows the buffer to `size` elements, the new ones `value`. The buffers'
// allocator leaves new elements unwritten, so this writes them once, unless
// they are zeros in memory that is still `zeroed` (see Reserve).
template <typename Buffer>
void Grow(Buffer& buffer, std::size_t size, typename Buffer::value_type value,
          bool zeroed = false) {
    const std::size_t old = buffer.size();
    if (size <= old) return;
    buffer.resize(size);
    if (zeroed && value == 0) return;
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
    window = {};
    storeRows = {};
}

void JpegComponent::SetTransformWindow(unsigned firstRow, unsigned lastRow, unsigned firstColumn,
                                       unsigned lastColumn) {
    window = {firstRow, lastRow, firstColumn, lastColumn};
    storeRows = {};
}

void JpegComponent::AllocateBuffers(bool progressive, bool band) {
    if (prepared) return;
    // Address space only: the rows are constructed as scans reach them,
    // within this capacity, so the buffers never move.
    holdsCoefficients = progressive;
    sampleBand = progressive || band;
    bandSampleRows = std::size_t{BandBlockRows()} * setup.blockSize;
    bandReciprocal = ((std::uint64_t{1} << 32) + bandSampleRows - 1) / bandSampleRows;
    bandSlotReciprocal = ((std::uint64_t{1} << 32) + BandBlockRows() - 1) / BandBlockRows();
    if (holdsCoefficients) {
        // Coefficients start at zero: in fresh memory they already are.
        coefficientsZeroed = Reserve(coefficients, BlockValues(blockRows));
        dcCoefficientsZeroed = Reserve(dcCoefficients, Blocks(blockRows));
    }
    Reserve(samples, SampleValues(SampleBlockRows(blockRows)));
    prepared = true;
}

void JpegComponent::GrowBlockRows(unsigned rows) {
    storeRows = {};
    const std::uint8_t unreached = setup.unreachedSample;
    if (holdsCoefficients) {
        Grow(coefficients, BlockValues(rows), std::int16_t{0}, coefficientsZeroed);
        Grow(dcCoefficients, Blocks(rows), std::int16_t{0}, dcCoefficientsZeroed);
    }
    Grow(samples, SampleValues(SampleBlockRows(rows)), unreached);
    if (sampleBand && !holdsCoefficients) {
        // A row that a sequential band reaches starts unreached, as a row
        // of a whole plane does, also where its blocks get no data. Filled
        // as the blocks come when it can be (see FillsLazily).
        const unsigned bandRows = BandBlockRows();
        if (bandFilled.size() != bandRows) bandFilled.assign(bandRows, 0);
        for (unsigned r = std::max(allocatedRows, rows - std::min(rows, bandRows)); r < rows; ++r) {
            bandFilled[r % bandRows] = 0;
            if (!FillsLazily()) FillUnreached(r, 0, blockColumns);
        }
    }
    allocatedRows = rows;
}

void JpegComponent::FillUnreached(unsigned row, unsigned firstColumn, unsigned endColumn) {
    const unsigned slot = BandSlot(row);
    const std::size_t stride = SampleStride(), size = setup.blockSize;
    std::uint8_t* first = samples.data() + slot * size * stride + firstColumn * size;
    const std::size_t width = (endColumn - firstColumn) * size;
    if (width == stride) {  // whole sample rows: one stretch
        std::fill_n(first, size * stride, setup.unreachedSample);
    } else {
        for (std::size_t y = 0; y < size; ++y)
            std::fill_n(first + y * stride, width, setup.unreachedSample);
    }
    bandFilled[slot] = std::max(bandFilled[slot], endColumn);
}

void JpegComponent::NoteTransformed(unsigned& filled, unsigned row, unsigned col) {
    if (col > filled) FillUnreached(row, filled, col);
    filled = std::max(filled, col + 1);
}

void JpegComponent::FinishBandRows() {
    if (!FillsLazily()) return;
    for (unsigned r = allocatedRows - std::min(allocatedRows, BandBlockRows()); r < allocatedRows;
         ++r)
        if (bandFilled[r % BandBlockRows()] < blockColumns)
            FillUnreached(r, bandFilled[r % BandBlockRows()], blockColumns);
}

void JpegComponent::ReleaseBuffers(bool keepMemory) {
    if (keepMemory) {
        samples.clear();
        coefficients.clear();
        dcCoefficients.clear();
    } else {
        samples = SampleBuffer();  // frees the memory (assigning {} would keep it)
        coefficients = CoefficientBuffer();
        dcCoefficients = CoefficientBuffer();
    }
    coefficientsZeroed = dcCoefficientsZeroed = false;  // kept memory holds old values
    storeRows = {};
    deferredMcuRows = 0;
    bandFilled.clear();
    pending = CoefficientBuffer();
    pendingColumns.clear();
    prepared = false;
    holdsCoefficients = false;
    sampleBand = false;
    allocatedRows = 0;
}

void JpegComponent::Transform(unsigned row, unsigned col, const std::int16_t* natural) {
    if (!InTransformWindow(row, col)) {
        EnsureBlockRows(row + 1);
        return;
    }
    std::uint8_t* out = BlockSamples(row, col);
    if (FillsLazily()) NoteTransformed(bandFilled[BandSlot(row)], row, col);
    TransformInto(out, natural);
}

void JpegComponent::TransformInto(std::uint8_t* out, const std::int16_t* natural) {
    const auto stride = static_cast<std::ptrdiff_t>(SampleStride());
    if (setup.accurateDct != nullptr)
        return setup.accurateDct(out, stride, natural, setup.quantTable->natural.data());
    setup.inverseDct(out, stride, natural, setup.quantTable->multipliers);
}

std::int16_t* JpegComponent::BlockToDecode(unsigned row, unsigned col, std::int16_t* scratch) {
    if (deferredMcuRows == 0) return scratch;
    // Decoded straight into the ring: copying a block there after decoding
    // would read back what the decoder has just written, narrow store by
    // narrow store, which the processor cannot forward to wide loads.
    std::int16_t* block = PendingBlock(PendingSlot(row), col);
    // The other thread's core read the ring's lines last: this block's
    // column four MCUs on is asked for now, so that taking its two lines
    // over overlaps with decoding (on a 2-core virtual machine the
    // decoding thread of an 18-megapixel picture took 25.1 ms without,
    // 21.0 with; 2 or 8 MCUs ahead do as well).
    const unsigned ahead = kPrefetchMcus * horizontalSampling;
    if (prefetchesRing && col + ahead < blockColumns) {
        const std::int16_t* later = block + ahead * 64;
        PrefetchForWriting(later);
        PrefetchForWriting(later + 32);  // 64 coefficients: two lines of 64 bytes
    }
    return block;
}

JpegComponent::StoreRow& JpegComponent::AimStoreRow(unsigned row) {
    EnsureBlockRows(row + 1);  // may forget every row's entry
    StoreRow& entry = StoreRowOf(row);
    entry.row = row;
    entry.samples = BlockSamples(row, 0);
    entry.filled = FillsLazily() ? &bandFilled[BandSlot(row)] : nullptr;
    entry.inWindow = row >= window.firstRow && row < window.lastRow;
    return entry;
}

void JpegComponent::TransformAsStored(unsigned row, unsigned col, const std::int16_t* natural) {
    StoreRow* entry = &StoreRowOf(row);
    if (row != entry->row) entry = &AimStoreRow(row);
    if (!entry->inWindow || !InWindowColumns(col)) return;
    if (entry->filled != nullptr) NoteTransformed(*entry->filled, row, col);
    TransformInto(entry->samples + std::size_t{col} * setup.blockSize, natural);
}

// Called once per block: the usual cases (on one thread, the row's entry
// worked out and no gap before the block; on two, a block decoded in its
// ring place) make no call but the transform, the last step, so that they
// need no registers saved; everything else goes on in StoreBlockSlowly.
void JpegComponent::StoreBlock(unsigned row, unsigned col, const std::int16_t* natural) {
    if (deferredMcuRows != 0) {
        // Kept for the other thread; the block was decoded in place (see
        // BlockToDecode), unless it is a filled one.
        const unsigned slot = PendingSlot(row);
        if (natural != PendingBlock(slot, col)) [[unlikely]]
            return StoreBlockSlowly(row, col, natural);
        pendingColumns[slot] = col + 1;
        return;
    }
    StoreRow& entry = StoreRowOf(row);
    if (row != entry.row) [[unlikely]]
        return StoreBlockSlowly(row, col, natural);
    if (!entry.inWindow || !InWindowColumns(col)) return;
    if (entry.filled != nullptr) {
        if (col > *entry.filled) [[unlikely]]
            return StoreBlockSlowly(row, col, natural);
        *entry.filled = std::max(*entry.filled, col + 1);
    }
    TransformInto(entry.samples + std::size_t{col} * setup.blockSize, natural);
}

void JpegComponent::StoreBlockSlowly(unsigned row, unsigned col, const std::int16_t* natural) {
    if (deferredMcuRows == 0) return TransformAsStored(row, col, natural);
    const unsigned slot = PendingSlot(row);
    std::int16_t* block = PendingBlock(slot, col);
    if (natural != block) std::copy_n(natural, 64, block);
    pendingColumns[slot] = col + 1;
}

void JpegComponent::TransformPair(unsigned row, unsigned col, const std::int16_t* left,
                                  const std::int16_t* right) {
    setup.accurateDctPair(BlockSamples(row, col), static_cast<std::ptrdiff_t>(SampleStride()), left,
                          right, setup.quantTable->natural.data());
}

void JpegComponent::FillBlock(unsigned row, unsigned col) {
    if (holdsCoefficients) return;  // progressive blocks keep what earlier scans gave
    alignas(16) std::int16_t zero[64];
    ClearBlock(zero);
    StoreBlock(row, col, zero);
}

void JpegComponent::DeferTransforms(unsigned mcuRows) {
    FinishBandRows();
    storeRows = {};
    deferredMcuRows = mcuRows;
    if (mcuRows == 0) {
        pending.clear();
        pendingColumns.clear();
        return;
    }
    const unsigned rows = verticalSampling * mcuRows;
    pendingSlotReciprocal = ((std::uint64_t{1} << 32) + rows - 1) / rows;
    prefetchesRing = CanPrefetchForWriting();
    pending.resize(BlockValues(rows));
    pendingColumns.assign(rows, 0);
}

void JpegComponent::TransformStoredMcuRow(unsigned mcuRow) {
    if (deferredMcuRows == 0) return;  // transformed as they were stored
    for (unsigned row = mcuRow * verticalSampling; row < (mcuRow + 1) * verticalSampling; ++row) {
        const unsigned slot = PendingSlot(row);
        const std::int16_t* block = PendingBlock(slot, 0);
        // Read once: the decoding thread writes the neighbouring slots' counts
        // block by block, and a read per block would pull their cache line
        // across cores each time.
        const unsigned columns = pendingColumns[slot];
        unsigned col = 0;
        // Neighbours lie side by side in the ring: two at a time where the
        // kernel can (ring blocks never fill a band lazily).
        if (setup.accurateDctPair != nullptr)
            for (; col + 1 < columns; col += 2, block += 128) {
                if (InTransformWindow(row, col) && InTransformWindow(row, col + 1)) {
                    TransformPair(row, col, block, block + 64);
                } else {
                    Transform(row, col, block);
                    Transform(row, col + 1, block + 64);
                }
            }
        for (; col < columns; ++col, block += 64) Transform(row, col, block);
        pendingColumns[slot] = 0;
    }
}

inline void JpegComponent::TransformZigzag(unsigned row, unsigned col, const std::int16_t* zigzag,
                                           std::int16_t dc) {
    if (!InTransformWindow(row, col)) return;
    alignas(16) std::int16_t natural[64];
    setup.zigzagToNatural(zigzag, dc, natural);
    Transform(row, col, natural);
}

void JpegComponent::TransformMcuRow(unsigned mcuRow, const CoefficientBits* smoothing) {
    if (samples.empty() || coefficients.empty()) return;
    const unsigned first = mcuRow * verticalSampling;
    unsigned last = std::min(first + verticalSampling, allocatedRows);
    if (smoothing != nullptr) {
        // Estimates reach two block rows past the last row that data
        // reached: its DC values shape the blocks below it.
        constexpr unsigned kReach = 2;
        last = std::min({first + verticalSampling, blockRows, allocatedRows + kReach});
        for (unsigned r = first; r < last; ++r) TransformSmoothedRow(mcuRow, r, *smoothing);
        return;
    }
    for (unsigned r = first; r < last; ++r) {
        const std::int16_t* block = coefficients.data() + BlockIndex(r, 0) * 64;
        const std::int16_t* dc = dcCoefficients.data() + BlockIndex(r, 0);
        unsigned c = 0;
        if (setup.accurateDctPair != nullptr)
            for (; c + 1 < blockColumns; c += 2, block += 128) {
                if (!InTransformWindow(r, c) || !InTransformWindow(r, c + 1)) {
                    TransformZigzag(r, c, block, dc[c]);
                    TransformZigzag(r, c + 1, block + 64, dc[c + 1]);
                    continue;
                }
                alignas(32) std::int16_t natural[2][64];
                setup.zigzagToNatural(block, dc[c], natural[0]);
                setup.zigzagToNatural(block + 64, dc[c + 1], natural[1]);
                TransformPair(r, c, natural[0], natural[1]);
            }
        for (; c < blockColumns; ++c, block += 64) TransformZigzag(r, c, block, dc[c]);
    }
}

void JpegComponent::TransformSmoothedRow(unsigned mcuRow, unsigned row,
                                         const CoefficientBits& bits) {
    EnsureBlockRows(row + 1);
    DcWindow window(SmoothingRows(mcuRow, row), scanBlockColumns);
    alignas(16) std::int16_t smoothed[64];
    const std::int16_t* block = coefficients.data() + BlockIndex(row, 0) * 64;
    const std::int16_t* dc = dcCoefficients.data() + BlockIndex(row, 0);
    for (unsigned c = 0; c < blockColumns; ++c, block += 64) {
        std::copy_n(block, 64, smoothed);
        smoothed[0] = dc[c];
        SmoothBlock(window.At(c), bits, *setup.quantTable, smoothed);
        TransformZigzag(row, c, smoothed, smoothed[0]);
    }
}

// libjpeg's choice, which the neighbourhood follows so that pictures smooth
// as djpeg shows them: rows outside the picture replicate its edge rows, and
// so do rows two away from a block in the first two and last two rows of
// MCUs where the block lies at the wrong end of its MCU row.
std::array<const std::int16_t*, 5> JpegComponent::SmoothingRows(unsigned mcuRow,
                                                                unsigned row) const {
    const unsigned lastMcuRow = blockRows / verticalSampling - 1;
    const unsigned inMcu = row - mcuRow * verticalSampling;
    const unsigned lastRowRows = scanBlockRows % verticalSampling;
    const unsigned rowsHere =
        mcuRow < lastMcuRow || lastRowRows == 0 ? verticalSampling : lastRowRows;
    const unsigned above = inMcu > 0 || mcuRow > 0 ? row - 1 : row;
    const unsigned twoAbove = inMcu > 1 || mcuRow > 1 ? row - 2 : above;
    const unsigned below = inMcu + 1 < rowsHere || mcuRow < lastMcuRow ? row + 1 : row;
    const unsigned twoBelow = inMcu + 2 < rowsHere || mcuRow + 1 < lastMcuRow ? row + 2 : below;
    std::array<const std::int16_t*, 5> rows{};
    const std::array<unsigned, 5> picked = {twoAbove, above, row, below, twoBelow};
    for (unsigned i = 0; i < 5; ++i)
        if (picked[i] < allocatedRows) rows[i] = dcCoefficients.data() + BlockIndex(picked[i], 0);
    return rows;
}

}  // namespace Tessera
