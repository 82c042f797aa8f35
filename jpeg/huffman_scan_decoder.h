#pragma once

#include <array>
#include <cstdint>

#include "frame_header.h"
#include "jpeg_component.h"
#include "scan_header.h"
#include "tessera/jpeg.h"

namespace Tessera {

class BitReader;
class InputByteStream;
struct TableSet;

// Decodes the entropy-coded data of one Huffman scan (T.81 F.2, G.1.2), made
// for each SOS and dropped at its end. It walks the scan's units in the
// order T.81 prescribes (A.2.2 non-interleaved: one component's blocks; A.2.3
// interleaved: MCUs), has each block decoded into its component, and reads
// the restart markers between restart intervals (B.2.1). It owns what the
// walk needs: its position, the restart counter and number, the DC
// predictors and the end-of-band run.
//
// Tolerant decodes start every restart interval with an end-of-band run of
// 0, as every scan starts (T.81 G.1.2.2: a run never crosses either), and go
// on after a damaged interval: its rest is filled with blocks without data
// and the walk resumes at the next restart marker in the data. Strict
// decodes carry a run on across restart markers.
class HuffmanScanDecoder {
  public:
    struct Context {
        const FrameHeader* frame = nullptr;
        const TableSet* tables = nullptr;
        // By frame position.
        std::array<JpegComponent, kMaxFrameComponents>* components = nullptr;
        unsigned restartInterval = 0;
        bool tolerant = false;
        // Go on after damage (tolerant decodes that take repairs).
        bool repair = false;
    };

    // What the decoder repaired: restart intervals filled after damage, and
    // whether the data ended inside the scan (its rest filled) and in which
    // unit; the error of the first repair.
    struct Repairs {
        unsigned damagedIntervals = 0;
        bool cutOff = false;
        std::uint64_t cutOffUnit = 0;
        ErrorCode firstError = ErrorCode::Other;
    };

    // The stream is in bit mode at the scan's data. eobRun: the run the
    // scan starts with (0 but where strict decodes carry one over).
    HuffmanScanDecoder(const Context& context, const ScanHeader& scan,
                       const InputByteStream& stream, unsigned eobRun);

    // Units of the scan: MCUs when interleaved, else its component's blocks.
    std::uint64_t Units() const { return units; }
    // Units of one row of MCUs.
    std::uint64_t UnitsPerMcuRow() const { return unitsPerMcuRow; }
    std::uint64_t DecodedUnits() const { return next; }
    // Decodes units up to `end` (at most Units()).
    void Decode(InputByteStream& stream, std::uint64_t end);
    // The end-of-band run pending after the units decoded.
    unsigned EobRun() const { return eobRun; }
    const Repairs& Repaired() const { return repairs; }
    // The scan's data is missing altogether: every unit is filled.
    void MarkCutOff();

  private:
    void Walk(BitReader& bits, std::uint64_t end);
    template <typename BlockOperation>
    void WalkInterleaved(BitReader& bits, BlockOperation operation, std::uint64_t end);
    template <typename BlockOperation>
    void WalkNonInterleaved(BitReader& bits, BlockOperation operation, std::uint64_t end);
    void RunDcFirst(BitReader& bits, std::uint64_t end);
    void RunDcRefinement(BitReader& bits, std::uint64_t end);
    void RunAcFirst(BitReader& bits, std::uint64_t end);
    void RunAcRefinement(BitReader& bits, std::uint64_t end);
    void RunSequential(BitReader& bits, std::uint64_t end);

    void RestartCheck(BitReader& bits);
    void ExpectRestartMarker(BitReader& bits);
    void StartInterval();
    // True when a tolerant decode can go on after a failure in the data.
    bool RecoverFromDamage(BitReader& bits, ErrorCode error);
    // The data ends inside the scan: the unit it ends in is decoded with
    // zero bits after the end, and the rest of the scan filled.
    void CutOff(const InputByteStream& stream);
    void DecodeLastUnitPadded(const InputByteStream& stream);
    void FillUnits(std::uint64_t from, std::uint64_t to);
    JpegComponent& ComponentOf(unsigned index) const {
        return (*context.components)[scan.components[index].position];
    }
    int& PredictorOf(unsigned index) { return predictors[scan.components[index].position]; }

    Context context;
    ScanHeader scan;
    bool progressive = false;
    bool interleaved = false;
    std::uint64_t units = 0;
    std::uint64_t unitsPerMcuRow = 0;
    // The unit to decode next; units before resumeAt lie in damaged intervals.
    std::uint64_t next = 0;
    std::uint64_t resumeAt = 0;
    // Units since the scan's start or the last restart marker.
    unsigned counter = 0;
    unsigned nextRestartNumber = 0;
    // By frame position (components that share one, share it).
    std::array<int, kMaxFrameComponents> predictors{};
    unsigned eobRun = 0;
    // Where the current interval's data began.
    const std::uint8_t* intervalStart = nullptr;
    Repairs repairs;
};

}  // namespace Tessera
