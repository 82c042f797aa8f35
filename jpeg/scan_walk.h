#pragma once

#include <array>
#include <cstdint>

#include "frame_header.h"
#include "jpeg_component.h"
#include "marker_codes.h"
#include "scan_header.h"
#include "tessera/jpeg.h"

namespace Tessera {

class InputByteStream;

// The walk through one scan's units that every scan decoder shares,
// whatever its entropy coding: the order T.81 prescribes (A.2.2
// non-interleaved: one component's blocks; A.2.3 interleaved: MCUs), the
// restart intervals between restart markers (B.2.1), and the tolerant
// recovery from a damaged interval: its rest, and the intervals up to the
// next restart marker in the data, are filled with blocks without data.
class ScanWalk {
  public:
    using Components = std::array<JpegComponent, kMaxFrameComponents>;

    ScanWalk(const FrameHeader& frame, const ScanHeader& scan, Components& components,
             unsigned restartInterval, const std::uint8_t* dataStart);

    // What a tolerant decode repaired in the scan: intervals (or, without
    // restart intervals, the rest of the scan) filled after damage, whether
    // the data ended inside it, and the error of the first repair.
    struct Repairs {
        unsigned damagedIntervals = 0;
        bool cutOff = false;
        std::uint64_t cutOffUnit = 0;  // the unit the data ended in
        ErrorCode firstError = ErrorCode::Other;
    };
    const Repairs& Repaired() const { return repairs; }
    void NoteFailure(ErrorCode error) {
        if (repairs.firstError == ErrorCode::Other) repairs.firstError = error;
    }
    // The data ends inside the scan, in the given unit: the rest of the
    // scan is filled.
    void CutOff(std::uint64_t unit) {
        repairs.cutOff = true;
        repairs.cutOffUnit = unit;
        resumeAt = units;
    }

    // Units of the scan: MCUs when interleaved, else its component's blocks.
    std::uint64_t Units() const { return units; }
    std::uint64_t UnitsPerMcuRow() const { return unitsPerMcuRow; }
    // The unit to decode next.
    std::uint64_t Next() const { return next; }
    bool Progressive() const { return progressive; }
    unsigned RestartInterval() const { return restartInterval; }
    JpegComponent& ComponentOf(unsigned index) const {
        return (*components)[scan.components[index].position];
    }

    // Fills the units before `end` that lie in damaged intervals; false
    // when the next unit is to be decoded.
    bool FillDamaged(std::uint64_t end);

    // Visits the units from Next() to `end`: at a restart boundary first
    // atRestart() (which takes the marker, see TakeRestartMarker), then
    // block(index in the scan, component, block row, block column) for each
    // block of the unit.
    template <typename AtRestart, typename Block>
    void Run(std::uint64_t end, AtRestart atRestart, Block block) {
        if (interleaved)
            RunInterleaved(end, atRestart, block);
        else
            RunNonInterleaved(end, atRestart, block);
    }

    // Reads the restart marker due where the stream stands (byte mode),
    // checks its number and starts the next interval.
    void TakeRestartMarker(InputByteStream& stream);
    // After a failure in the data of the current interval: finds the next
    // restart marker (or other marker) in the data and arranges for the
    // units up to there to be filled. False when the data holds no marker.
    // The stream then stands after the restart marker (bit mode to be
    // entered again) or, when the rest of the scan is filled, at the other
    // marker.
    bool SkipDamage(InputByteStream& stream);
    // Fills the rest of the scan (a failure without restart intervals).
    void SkipRest() {
        ++repairs.damagedIntervals;
        resumeAt = units;
    }
    // Whether the walk resumes in the scan's data after SkipDamage.
    bool Resumes() const { return resumeAt < units; }

    // Where the current interval began, in the data and in units; whether
    // the walk stands at its end, before the restart marker.
    const std::uint8_t* IntervalStart() const { return intervalStart; }
    bool AtRestartMarker() const { return RestartDue(); }
    // Goes back to the start of the current interval, or forth again to a
    // unit of it, for decoding its units once more.
    void RewindInterval() {
        next -= counter;
        counter = 0;
    }
    // Starts the walk at the first unit of restart interval `interval`,
    // whose data begins at `data` (after its restart marker), as if the
    // intervals before it had been decoded.
    void StartAtInterval(std::uint64_t interval, const std::uint8_t* data) {
        next = resumeAt = interval * restartInterval;
        counter = 0;
        nextRestartNumber = static_cast<unsigned>(interval % kRestartCycle);
        intervalStart = data;
    }
    void MoveTo(std::uint64_t unit) {
        counter += static_cast<unsigned>(unit - next);
        next = unit;
    }

  private:
    template <typename AtRestart, typename Block>
    void RunInterleaved(std::uint64_t end, AtRestart& atRestart, Block& block) {
        const unsigned columns = mcuColumns;
        auto r = static_cast<unsigned>(next / columns);
        auto k = static_cast<unsigned>(next % columns);
        const McuBlock* const first = mcuBlocks.data();
        const McuBlock* const last = first + mcuBlockCount;
        while (next < end) {
            if (RestartDue()) atRestart();
            for (const McuBlock* b = first; b != last; ++b)
                block(unsigned{b->index}, *b->component, b->rows * r + b->row,
                      b->columns * k + b->column);
            Advance(k, r, columns);
        }
    }
    template <typename AtRestart, typename Block>
    void RunNonInterleaved(std::uint64_t end, AtRestart& atRestart, Block& block) {
        JpegComponent& component = ComponentOf(0);
        const unsigned columns = component.ScanBlockColumns();
        auto r = static_cast<unsigned>(next / columns);
        auto k = static_cast<unsigned>(next % columns);
        while (next < end) {
            if (RestartDue()) atRestart();
            block(0u, component, r, k);
            Advance(k, r, columns);
        }
    }
    bool RestartDue() const { return restartInterval != 0 && counter == restartInterval; }
    void Advance(unsigned& k, unsigned& r, unsigned columns) {
        ++counter;
        ++next;
        if (++k == columns) {
            k = 0;
            ++r;
        }
    }
    void FillUnits(std::uint64_t from, std::uint64_t to);

    // The blocks of an interleaved scan's MCU in their order (T.81 A.2.3):
    // block (rows * r + row, columns * k + column) of the scan's component
    // `index` in MCU (r, k). Worked out once, so that the walk does not read
    // each component's sampling again for every MCU.
    struct McuBlock {
        JpegComponent* component = nullptr;
        std::uint8_t index = 0, rows = 0, row = 0, columns = 0, column = 0;
    };
    // Four components of up to 4 × 4 blocks each.
    static constexpr unsigned kMaxMcuBlocks = kMaxScanComponents * 16;
    std::array<McuBlock, kMaxMcuBlocks> mcuBlocks{};
    unsigned mcuBlockCount = 0;

    Components* components;
    ScanHeader scan;
    unsigned mcuColumns = 0;
    bool progressive = false;
    bool interleaved = false;
    std::uint64_t units = 0;
    std::uint64_t unitsPerMcuRow = 0;
    // The unit to decode next; units before resumeAt lie in damaged intervals.
    std::uint64_t next = 0;
    std::uint64_t resumeAt = 0;
    // MCUs per restart interval; 0: no restart markers.
    unsigned restartInterval = 0;
    // Units since the scan's start or the last restart marker.
    unsigned counter = 0;
    unsigned nextRestartNumber = 0;
    // Where the current interval's data began.
    const std::uint8_t* intervalStart = nullptr;
    Repairs repairs;
};

}  // namespace Tessera
