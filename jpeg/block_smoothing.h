#pragma once

// Block smoothing of progressive pictures whose scans stopped early, as
// libjpeg does it by default: the low-frequency AC coefficients that the
// scans have not brought yet are estimated from the DC values of the block's
// 5 × 5 neighbourhood, and where no AC coefficient arrived at all the DC
// value is interpolated too. A picture with every scan shows no seam between
// its blocks; one with only a few shows blocks of flat colour without this.

#include <array>
#include <cstdint>

#include "frame_header.h"
#include "scan_header.h"

namespace Tessera {

struct QuantTable;

// Smoothing looks at coefficients 0 .. 9 in zigzag order: the DC value and
// the AC coefficients of horizontal and vertical frequencies up to 3.
inline constexpr unsigned kSmoothedCoefficients = 10;
// How far the scans brought each of them: -1 never coded, else the point
// transform (Al) of the last scan that coded it, 0 being complete.
using CoefficientBits = std::array<int, kSmoothedCoefficients>;
inline constexpr int kNeverCoded = -1;

// The progression of each component's first coefficients, scan by scan:
// where they stand and where they stood before the component's last scan
// (what a scan that the data cut off has brought for certain).
class ScanProgress {
  public:
    void Reset();
    // At the start of a scan.
    void Record(const ScanHeader& scan, bool firstScan);
    const CoefficientBits& Current(unsigned position) const { return current[position]; }
    const CoefficientBits& BeforeLastScan(unsigned position) const { return before[position]; }

  private:
    std::array<CoefficientBits, kMaxFrameComponents> current{};
    std::array<CoefficientBits, kMaxFrameComponents> before{};
};

// What each component's blocks are smoothed with, decided once the scans
// have been read. Rows of MCUs after the one where the last scan's data
// ended take the progression from before that scan.
class SmoothingPlan {
  public:
    // Smoothing applies when every component has its DC value and some of
    // its first AC coefficients remain inexact. lastGoodMcuRow: the row of
    // MCUs where the last scan's data ended (its last row when it did not).
    static SmoothingPlan For(const ScanProgress& progress, unsigned componentCount,
                             unsigned scansDone, unsigned lastGoodMcuRow);
    // And when the table holds no zero among the values the estimates
    // divide by; asked as the blocks are transformed, since a DQT after
    // the last scan still changes the table.
    static bool TableAllows(const QuantTable& quant);

    bool Applies() const { return applies; }
    const CoefficientBits& BitsFor(unsigned position, unsigned mcuRow) const {
        return mcuRow > lastGoodMcuRow ? before[position] : current[position];
    }

  private:
    bool applies = false;
    unsigned lastGoodMcuRow = 0;
    std::array<CoefficientBits, kMaxFrameComponents> current{};
    std::array<CoefficientBits, kMaxFrameComponents> before{};
};

// The DC values around a block, [row][column], the block itself at [2][2].
using DcNeighbourhood = std::array<std::array<int, 5>, 5>;

// Fills in the estimates of one block, its 64 coefficients in zigzag order
// (a copy: the stored ones stay as the scans left them).
void SmoothBlock(const DcNeighbourhood& dc, const CoefficientBits& bits, const QuantTable& quant,
                 std::int16_t* zigzag);

// The neighbourhood as libjpeg gathers it, walking a row of blocks from left
// to right: five rows of DC values (rows above and below the picture's
// edges replicate the nearest, see JpegComponent::SmoothingRows) slide
// through a window of five columns; columns beyond the edges keep the
// values the window held.
class DcWindow {
  public:
    // rows: the DC coefficients of the five rows (one a block); columns: the
    // blocks of the component's own width.
    DcWindow(const std::array<const std::int16_t*, 5>& rows, unsigned columns);
    // The neighbourhood of the block at `column` (0, 1, 2, ... in turn).
    const DcNeighbourhood& At(unsigned column);

  private:
    void Load(unsigned slot, unsigned column);

    std::array<const std::int16_t*, 5> rows;
    unsigned lastColumn;
    DcNeighbourhood window{};
};

}  // namespace Tessera
