#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "image/zeroed_memory.h"
#include "inverse_dct.h"

namespace Tessera {

class BitReader;
class HuffmanTable;
class JpegDecoder;
struct QuantTable;

// Everything the decoder knows about one colour component of the picture being
// decoded: sampling, bound tables, entropy-decoding state, the geometry of its
// block grid and its two per-picture buffers: the samples, one plane of the
// component's own resolution in which block (r, c) occupies rows 8r..8r+7 and
// columns 8c..8c+7, and the coefficients of progressive frames.
class JpegComponent {
  public:
    using SampleBuffer = std::vector<std::uint8_t, LargeBufferAllocator<std::uint8_t>>;
    using CoefficientBuffer = std::vector<std::int16_t, LargeBufferAllocator<std::int16_t>>;

    // --- set-up from the frame and scan headers ---

    // Factors 1..4; anything else is refused and leaves the factor unchanged.
    unsigned SetHorizontalSampling(unsigned factor);
    unsigned SetVerticalSampling(unsigned factor);
    void SetQuantTable(const QuantTable& table) { quantTable = &table; }
    void SetHuffmanTables(const HuffmanTable& dc, const HuffmanTable& ac) {
        dcTable = &dc;
        acTable = &ac;
    }
    void CheckQuantTable() const;
    void CheckDcTable() const;
    void CheckAcTable() const;
    bool QuantTableIsSixteenBit() const;

    // Sizes the grid from the decoder's frame (only the first call of a
    // picture does) and reserves the buffers; block rows come into being only
    // when a block of theirs is written (EnsureBlockRows), so memory and the
    // work at the end of the picture follow the data that actually arrived,
    // not the frame size that a header declared.
    void AllocateBuffers(const JpegDecoder& decoder);
    // Makes block rows 0 .. rows − 1 exist (zero samples and coefficients).
    void EnsureBlockRows(unsigned rows) {
        if (rows > allocatedRows) GrowBlockRows(rows);
    }
    // Releases the buffers and the end-of-band run that a cut-short
    // picture may have left; geometry, factors and table bindings stay.
    // keepMemory keeps the buffers' memory (not their contents) for the
    // next picture, which saves the system handing out megabytes of fresh
    // pages again for every picture of a series.
    void ReleaseBuffers(bool keepMemory = false);

    // --- per-block coefficient decoding ---

    void DecodeFullBlock(BitReader& bits, int row, int col);
    // A sequential block that lost its data (a damaged restart interval):
    // the samples of zero coefficients, as a block without data.
    void FillBlock(int row, int col);
    void DecodeDcInitial(BitReader& bits, int row, int col, unsigned al);
    void RefineDcBlock(BitReader& bits, int row, int col, unsigned al);
    void DecodeAcBand(BitReader& bits, int row, int col, unsigned ss, unsigned se, unsigned al);
    void RefineAcBand(BitReader& bits, int row, int col, unsigned ss, unsigned se, unsigned al);

    // --- the end of the picture ---

    // Progressive frames: dequantizes and transforms the coefficients of the
    // existing blocks of one row of MCUs into the samples, which hold one
    // such row at a time.
    void TransformMcuRow(unsigned mcuRow);

    // --- state read by the scan drivers and the conversions ---

    unsigned HorizontalSampling() const { return horizontalSampling; }
    unsigned VerticalSampling() const { return verticalSampling; }
    unsigned HorizontalUpsampling() const { return horizontalUpsampling; }
    unsigned VerticalUpsampling() const { return verticalUpsampling; }
    unsigned ScanBlockRows() const { return scanBlockRows; }
    unsigned ScanBlockColumns() const { return scanBlockColumns; }
    unsigned BlockRows() const { return blockRows; }
    unsigned BlockColumns() const { return blockColumns; }
    int DcPredictor() const { return dcPredictor; }
    void SetDcPredictor(int value) { dcPredictor = value; }
    unsigned EobRun() const { return eobRun; }
    void SetEobRun(unsigned value) { eobRun = value; }

    // True from AllocateBuffers to ReleaseBuffers: a scan
    // has named this component, so it takes part in the picture.
    bool Prepared() const { return prepared; }
    // The sample value of a block that no data reached: zero samples in
    // sequential frames, the transform of zero coefficients (mid-grey, 128,
    // after the level shift of T.81 A.3.1) in progressive ones.
    std::uint8_t UnreachedSample() const { return holdsCoefficients ? 128 : 0; }
    bool HasSamples() const { return !samples.empty(); }
    bool HasCoefficients() const { return !coefficients.empty(); }
    SampleBuffer& Samples() { return samples; }
    // Progressive frames: 64 coefficients per block in zigzag order.
    CoefficientBuffer& Coefficients() { return coefficients; }
    // Samples per row of the sample plane.
    std::size_t SampleStride() const { return std::size_t{blockColumns} * 8; }
    // Rows of the sample plane that scans reached (whole block rows).
    std::size_t ReachedSampleRows() const { return std::size_t{allocatedRows} * 8; }
    // A row of samples; in progressive frames one of the MCU row last transformed.
    const std::uint8_t* SampleRow(std::size_t row) const {
        return samples.data() + SampleBandRow(row) * SampleStride();
    }
    // Width of the component up-sampled to the frame's resolution.
    std::size_t UpsampledWidth() const { return SampleStride() * horizontalUpsampling; }

  private:
    std::size_t BlockIndex(std::size_t row, std::size_t col) const {
        return row * blockColumns + col;
    }
    std::int16_t* BlockCoefficients(int row, int col) {
        EnsureBlockRows(static_cast<unsigned>(row) + 1);
        return coefficients.data() + BlockIndex(row, col) * 64;
    }
    std::uint8_t* BlockSamples(int row, int col) {
        EnsureBlockRows(static_cast<unsigned>(row) + 1);
        return samples.data() + SampleBandRow(std::size_t(row) * 8) * SampleStride() +
               static_cast<std::size_t>(col) * 8;
    }
    // Samples or coefficients in the given number of block rows.
    std::size_t BlockValues(unsigned rows) const { return std::size_t{rows} * blockColumns * 64; }
    // Block rows of samples held for the given block rows: a progressive
    // picture is transformed one row of MCUs at a time at its end, right
    // before that row is converted, and a sequential one read row by row is
    // converted as each row of MCUs is decoded, so their samples need only
    // that band.
    unsigned SampleBlockRows(unsigned rows) const { return sampleBand ? verticalSampling : rows; }
    // Where a row of samples lies in the samples buffer.
    std::size_t SampleBandRow(std::size_t row) const {
        return sampleBand ? row % (std::size_t{verticalSampling} * 8) : row;
    }
    void Transform(int row, int col, const std::int16_t* blockCoefficients);
    void GrowBlockRows(unsigned rows);
    bool RowReached(int row) const { return static_cast<unsigned>(row) < allocatedRows; }
    // Adds a DC difference; the predictor wraps to 16 bits like the
    // coefficients it feeds, which keeps a hostile run of differences defined.
    void AddToDcPredictor(int difference);
    // A correction bit of successive-approximation refinement on a non-zero coefficient.
    static void RefineCoefficient(BitReader& bits, std::int16_t& coefficient, int bit);

    unsigned horizontalSampling = 0;
    unsigned verticalSampling = 0;
    unsigned verticalUpsampling = 0;
    unsigned horizontalUpsampling = 0;
    int dcPredictor = 0;
    const HuffmanTable* acTable = nullptr;
    const HuffmanTable* dcTable = nullptr;
    const QuantTable* quantTable = nullptr;
    InverseDctKernel inverseDct = InverseDctPortable;
    unsigned eobRun = 0;
    unsigned scanBlockRows = 0;
    unsigned scanBlockColumns = 0;
    unsigned blockRows = 0;
    unsigned blockColumns = 0;
    bool prepared = false;
    // Progressive frame: coefficient storage in use.
    bool holdsCoefficients = false;
    // Samples of one MCU row only (progressive frames, and sequential ones
    // whose rows are taken as they are decoded).
    bool sampleBand = false;
    unsigned allocatedRows = 0;
    SampleBuffer samples;
    CoefficientBuffer coefficients;
};

}  // namespace Tessera
