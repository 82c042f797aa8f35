#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "accurate_inverse_dct.h"
#include "block_smoothing.h"
#include "image/zeroed_memory.h"
#include "inverse_dct.h"
#include "zigzag_order.h"

namespace Tessera {

struct FrameComponent;
struct FrameHeader;
struct QuantTable;

// The storage of one colour component of the picture being decoded: the
// geometry of its block grid, its quantization table and its two
// per-picture buffers: the samples, one plane of the component's own
// resolution in which block (r, c) occupies rows 8r..8r+7 and columns
// 8c..8c+7, and the coefficients of progressive frames. Entropy decoding
// (tables, predictors, end-of-band runs) belongs to the scan decoder, which
// hands each block here.
class JpegComponent {
  public:
    using SampleBuffer = std::vector<std::uint8_t, LargeBufferAllocator<std::uint8_t>>;
    using CoefficientBuffer = std::vector<std::int16_t, LargeBufferAllocator<std::int16_t>>;

    // What the frame header fixes: the grid, the table (bound by reference, so
    // that a later DQT for its slot takes effect) and the transform.
    struct Setup {
        const QuantTable* quantTable = nullptr;
        // The saver's transform, or (when set) libjpeg's accurate one of
        // blockSize × blockSize samples a block, which takes the table's
        // natural-order values rather than its multipliers.
        InverseDctKernel inverseDct = InverseDctPortable;
        AccurateInverseDctKernel accurateDct = nullptr;
        // With accurateDct at 8 × 8: two neighbouring blocks at once, for
        // progressive frames (transformed row by row once their scans are read).
        AccurateInverseDctPairKernel accurateDctPair = nullptr;
        // Progressive blocks into natural order for the transforms.
        ZigzagToNaturalKernel zigzagToNatural = ZigzagToNaturalPortable;
        unsigned blockSize = 8;
        // Sample bands are held for this many rows of MCUs, the rows a band's
        // conversion reads around it (smooth vertical up-sampling: 3).
        unsigned bandMcuRows = 1;
        // The sample value of a block that no data reached: zero samples in
        // strict sequential frames, the transform of zero coefficients
        // (mid-grey, 128, after the level shift of T.81 A.3.1) otherwise.
        std::uint8_t unreachedSample = 128;
        // Conversions take a component that no scan coded as all unreached
        // (tolerant decodes) rather than refusing it.
        bool convertibleUnprepared = false;
    };
    void SetGeometry(const FrameComponent& component, const FrameHeader& frame, const Setup& setup);
    // Only blocks of rows [firstRow, lastRow) and columns [firstColumn,
    // lastColumn) are transformed (a cropped decode); the others keep
    // unreached samples. By default every block.
    void SetTransformWindow(unsigned firstRow, unsigned lastRow, unsigned firstColumn,
                            unsigned lastColumn);

    // Reserves the buffers when a scan first names the component; block rows
    // come into being only when a block of theirs is written, so memory and
    // the work at the end of the picture follow the data that actually
    // arrived, not the frame size that a header declared. sampleBand: hold
    // one row of MCUs of samples at a time (progressive frames, transformed
    // row by row at the end, and sequential ones whose rows are converted as
    // they are decoded).
    void AllocateBuffers(bool progressive, bool sampleBand);
    // Makes block rows 0 .. rows − 1 exist (zero coefficients, unreached samples).
    void EnsureBlockRows(unsigned rows) {
        if (rows > allocatedRows) GrowBlockRows(rows);
    }
    // Releases the buffers; keepMemory keeps their memory (not their
    // contents) for the next picture, which saves the system handing out
    // megabytes of fresh pages again for every picture of a series.
    void ReleaseBuffers(bool keepMemory = false);

    // --- the blocks, as the scan decoder hands them over ---

    // Progressive frames: 64 coefficients in zigzag order, of which the AC
    // ones (1 to 63) are used: the DC coefficients live apart.
    std::int16_t* BlockCoefficients(unsigned row, unsigned col) {
        EnsureBlockRows(row + 1);
        return coefficients.data() + BlockIndex(row, col) * 64;
    }
    // Progressive frames: a block's DC coefficient. A DC scan visits every
    // block for this one value; in a plane of their own, the values of a
    // whole picture fit in the cache, where inside the blocks each would
    // cost a pass over every block's memory.
    std::int16_t& DcCoefficient(unsigned row, unsigned col) {
        EnsureBlockRows(row + 1);
        return dcCoefficients[BlockIndex(row, col)];
    }
    bool RowReached(unsigned row) const { return row < allocatedRows; }
    // Sequential frames: where the scan decoder should put a block's
    // coefficients (natural order): `scratch`, or the ring of deferred
    // blocks; then StoreBlock makes them samples, or keeps them.
    std::int16_t* BlockToDecode(unsigned row, unsigned col, std::int16_t* scratch);
    void StoreBlock(unsigned row, unsigned col, const std::int16_t* natural);
    // A sequential block that lost its data (a damaged restart interval):
    // the samples of zero coefficients, as a block without data.
    void FillBlock(unsigned row, unsigned col);
    // Sequential frames decoded on two threads: StoreBlock and FillBlock keep
    // each block's coefficients in a ring of `mcuRows` rows of MCUs, and
    // TransformStoredMcuRow (on the other thread) transforms them once the
    // row is decoded. 0: blocks are transformed as they are stored.
    void DeferTransforms(unsigned mcuRows);
    // Makes the unreached blocks of a sequential band's rows unreached
    // samples; due before the rows are read, when blocks are transformed as
    // they are stored (the decoder calls it after each stretch of a scan).
    void FinishBandRows();
    void TransformStoredMcuRow(unsigned mcuRow);
    // Progressive frames: dequantizes and transforms the coefficients of the
    // existing blocks of one row of MCUs into the samples; with `smoothing`,
    // from copies of them with the estimates of block smoothing.
    void TransformMcuRow(unsigned mcuRow, const CoefficientBits* smoothing = nullptr);

    // --- geometry and samples, for the scan decoder and the conversions ---

    unsigned HorizontalSampling() const { return horizontalSampling; }
    unsigned VerticalSampling() const { return verticalSampling; }
    unsigned HorizontalUpsampling() const { return horizontalUpsampling; }
    unsigned VerticalUpsampling() const { return verticalUpsampling; }
    // The blocks that cover the component's own samples: a non-interleaved
    // scan's grid (T.81 A.2.2).
    unsigned ScanBlockRows() const { return scanBlockRows; }
    unsigned ScanBlockColumns() const { return scanBlockColumns; }
    // The blocks of whole MCUs.
    unsigned BlockRows() const { return blockRows; }
    unsigned BlockColumns() const { return blockColumns; }
    const QuantTable& Quant() const { return *setup.quantTable; }

    // True from AllocateBuffers to ReleaseBuffers: a scan has named this
    // component, so it takes part in the picture.
    bool Prepared() const { return prepared; }
    // Whether conversions can take the component's rows.
    bool Convertible() const { return prepared || setup.convertibleUnprepared; }
    std::uint8_t UnreachedSample() const { return setup.unreachedSample; }
    bool HasSamples() const { return !samples.empty(); }
    bool HasCoefficients() const { return !coefficients.empty(); }
    const SampleBuffer& Samples() const { return samples; }
    SampleBuffer& Samples() { return samples; }
    const CoefficientBuffer& Coefficients() const { return coefficients; }
    // Samples per block side: 8, or fewer (or more) in a scaled decode.
    unsigned BlockSize() const { return setup.blockSize; }
    // Samples per row of the sample plane.
    std::size_t SampleStride() const { return std::size_t{blockColumns} * setup.blockSize; }
    // Rows of the sample plane that scans reached (whole block rows).
    std::size_t ReachedSampleRows() const { return std::size_t{allocatedRows} * setup.blockSize; }
    // A row of samples; in a band, one of the MCU row last decoded or transformed.
    const std::uint8_t* SampleRow(std::size_t row) const {
        return samples.data() + SampleBandRow(row) * SampleStride();
    }
    // Width of the component up-sampled to the frame's resolution.
    std::size_t UpsampledWidth() const { return SampleStride() * horizontalUpsampling; }

  private:
    std::size_t BlockIndex(std::size_t row, std::size_t col) const {
        return row * blockColumns + col;
    }
    std::uint8_t* BlockSamples(unsigned row, unsigned col) {
        EnsureBlockRows(row + 1);
        return samples.data() + SampleBandRow(std::size_t{row} * setup.blockSize) * SampleStride() +
               std::size_t{col} * setup.blockSize;
    }
    bool InTransformWindow(unsigned row, unsigned col) const {
        return row >= window.firstRow && row < window.lastRow && InWindowColumns(col);
    }
    bool InWindowColumns(unsigned col) const {
        return col >= window.firstColumn && col < window.lastColumn;
    }
    // Blocks, and their coefficients, in the given number of block rows.
    std::size_t Blocks(unsigned rows) const { return std::size_t{rows} * blockColumns; }
    std::size_t BlockValues(unsigned rows) const { return Blocks(rows) * 64; }
    // Samples in the given number of block rows.
    std::size_t SampleValues(unsigned rows) const {
        return std::size_t{rows} * blockColumns * setup.blockSize * setup.blockSize;
    }
    // Block rows of samples a band holds.
    unsigned BandBlockRows() const { return verticalSampling * setup.bandMcuRows; }
    // Block rows of samples held for the given block rows.
    unsigned SampleBlockRows(unsigned rows) const { return sampleBand ? BandBlockRows() : rows; }
    // Where a row of samples lies in the samples buffer.
    // Every block asks for this, so the remainder comes from a reciprocal:
    // with r = ⌈2^32 ÷ n⌉, (row × r) >> 32 is ⌊row ÷ n⌋ while row × n < 2^32,
    // and rows (under 2^18: 65535 lines, blocks of up to 16 samples) times
    // the band's rows (at most 4 × 3 × 16) stay far below that.
    std::size_t SampleBandRow(std::size_t row) const {
        if (!sampleBand) return row;
        return row - bandSampleRows * ((row * bandReciprocal) >> 32);
    }
    // The slot of a block row in a band: row mod BandBlockRows(), the same
    // way (block rows stay under 2^16).
    unsigned BandSlot(unsigned row) const {
        return row - BandBlockRows() *
                         static_cast<unsigned>((std::uint64_t{row} * bandSlotReciprocal) >> 32);
    }
    void Transform(unsigned row, unsigned col, const std::int16_t* natural);
    // The component's transform of one block to `out`.
    void TransformInto(std::uint8_t* out, const std::int16_t* natural);
    // A block row TransformAsStored writes: its samples and, where the band
    // is filled lazily, its slot's count of filled blocks. Forgotten whenever
    // rows grow or the geometry changes.
    struct StoreRow {
        unsigned row = UINT32_MAX;
        std::uint8_t* samples = nullptr;
        unsigned* filled = nullptr;
        bool inWindow = false;
    };
    // Transform for blocks stored as they are decoded: one thread, block rows
    // in order, so what a row needs is worked out once (storeRows).
    void TransformAsStored(unsigned row, unsigned col, const std::int16_t* natural);
    StoreRow& AimStoreRow(unsigned row);
    // StoreBlock's rarer cases: filled blocks kept for the other thread, a
    // row not yet worked out, blocks left out before this one.
    [[gnu::noinline]] void StoreBlockSlowly(unsigned row, unsigned col,
                                            const std::int16_t* natural);
    // Blocks col and col + 1 of a row (natural order), both in the window.
    void TransformPair(unsigned row, unsigned col, const std::int16_t* left,
                       const std::int16_t* right);
    // Transforms a block of zigzag-ordered AC coefficients and its DC one.
    void TransformZigzag(unsigned row, unsigned col, const std::int16_t* zigzag, std::int16_t dc);
    void TransformSmoothedRow(unsigned mcuRow, unsigned row, const CoefficientBits& bits);
    // The DC values of the five block rows that smoothing takes for block
    // row `row` of MCU row `mcuRow`; null where no scan reached.
    std::array<const std::int16_t*, 5> SmoothingRows(unsigned mcuRow, unsigned row) const;
    void GrowBlockRows(unsigned rows);

    unsigned horizontalSampling = 0;
    unsigned verticalSampling = 0;
    unsigned verticalUpsampling = 0;
    unsigned horizontalUpsampling = 0;
    unsigned scanBlockRows = 0;
    unsigned scanBlockColumns = 0;
    unsigned blockRows = 0;
    unsigned blockColumns = 0;
    Setup setup;
    struct {
        unsigned firstRow = 0, lastRow = UINT32_MAX, firstColumn = 0, lastColumn = UINT32_MAX;
    } window;
    bool prepared = false;
    // Progressive frame: coefficient storage in use.
    bool holdsCoefficients = false;
    bool sampleBand = false;
    // The rows of samples a band holds, and ⌈2^32 ÷ those rows⌉.
    std::size_t bandSampleRows = 1;
    std::uint64_t bandReciprocal = std::uint64_t{1} << 32;
    std::uint64_t bandSlotReciprocal = std::uint64_t{1} << 32;  // ⌈2^32 ÷ BandBlockRows()⌉
    unsigned allocatedRows = 0;
    SampleBuffer samples;
    CoefficientBuffer coefficients;
    CoefficientBuffer dcCoefficients;  // one a block, in the blocks' order
    // The coefficient buffers' memory past their sizes is zero as the
    // allocator gave it (see Reserve): growing them writes nothing.
    bool coefficientsZeroed = false;
    bool dcCoefficientsZeroed = false;
    // Deferred transforms: the ring of blocks (natural order) and, per block
    // row of the ring, the columns stored (a scan stores a row's blocks
    // left to right; a non-interleaved scan leaves the MCUs' padding out).
    unsigned deferredMcuRows = 0;
    CoefficientBuffer pending;
    // A sequential band's rows, per slot: blocks 0 .. n − 1 hold their final
    // samples (transformed, or unreached). Where blocks are transformed as
    // they come (left to right in every row), a new row is filled with
    // unreached samples only where no block reaches: in the gaps a block
    // leaves behind it, and by FinishBandRows after the last one, instead
    // of the whole row before its blocks overwrite it.
    std::vector<unsigned> bandFilled;
    bool FillsLazily() const { return sampleBand && !holdsCoefficients && deferredMcuRows == 0; }
    void FillUnreached(unsigned row, unsigned firstColumn, unsigned endColumn);
    // Block col of a lazily filled row is transformed; `filled` is its slot's count.
    void NoteTransformed(unsigned& filled, unsigned row, unsigned col);
    std::vector<unsigned> pendingColumns;
    // The MCU's block rows (up to four) take turns, so each keeps its own,
    // at row mod 4.
    std::array<StoreRow, 4> storeRows{};
    StoreRow& StoreRowOf(unsigned row) { return storeRows[row % storeRows.size()]; }
    std::uint64_t pendingSlotReciprocal = std::uint64_t{1} << 32;  // ⌈2^32 ÷ ring rows⌉
    bool prefetchesRing = false;                                   // see BlockToDecode
    // The ring's slot of a block row: row mod its rows, as BandSlot.
    unsigned PendingSlot(unsigned row) const {
        const unsigned rows = verticalSampling * deferredMcuRows;
        return row -
               rows * static_cast<unsigned>((std::uint64_t{row} * pendingSlotReciprocal) >> 32);
    }
    std::int16_t* PendingBlock(unsigned slot, unsigned col) {
        return pending.data() + (std::size_t{slot} * blockColumns + col) * 64;
    }
};

}  // namespace Tessera
