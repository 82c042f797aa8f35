#pragma once

#include <array>
#include <cstdint>

#include "frame_header.h"
#include "jpeg_component.h"
#include "scan_header.h"
#include "scan_walk.h"

namespace Tessera {

class BitReader;
class InputByteStream;
struct TableSet;

// Decodes the entropy-coded data of one Huffman scan (T.81 F.2, G.1.2), made
// for each SOS and dropped at its end. Its ScanWalk walks the scan's units
// and restart intervals; it has each block decoded into its component and
// owns the entropy state: the DC predictors and the end-of-band run.
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

    // The stream is in bit mode at the scan's data. eobRun: the run the
    // scan starts with (0 but where strict decodes carry one over).
    HuffmanScanDecoder(const Context& context, const ScanHeader& scan,
                       const InputByteStream& stream, unsigned eobRun);

    // Units of the scan: MCUs when interleaved, else its component's blocks.
    std::uint64_t Units() const { return walk.Units(); }
    // Units of one row of MCUs.
    std::uint64_t UnitsPerMcuRow() const { return walk.UnitsPerMcuRow(); }
    std::uint64_t DecodedUnits() const { return walk.Next(); }
    // Decodes units up to `end` (at most Units()).
    void Decode(InputByteStream& stream, std::uint64_t end);
    // The end-of-band run pending after the units decoded.
    unsigned EobRun() const { return eobRun; }
    const ScanWalk::Repairs& Repaired() const { return walk.Repaired(); }
    // The scan's data is missing altogether: every unit is filled.
    // Decodes on from the start of restart interval `interval`, whose data
    // begins at `data` (the stream stands there, in bit mode).
    void StartAtInterval(std::uint64_t interval, const std::uint8_t* data) {
        walk.StartAtInterval(interval, data);
        StartInterval();
        eobRun = 0;
    }
    void MarkCutOff() {
        walk.NoteFailure(ErrorCode::PrematureEndOfFile);
        walk.CutOff(0);
    }

  private:
    void Walk(BitReader& bits, std::uint64_t end);
    template <typename BlockOperation>
    void Run(BitReader& bits, std::uint64_t end, BlockOperation operation);
    void RunDcFirst(BitReader& bits, std::uint64_t end);
    void RunDcRefinement(BitReader& bits, std::uint64_t end);
    void RunAcFirst(BitReader& bits, std::uint64_t end);
    void RunAcRefinement(BitReader& bits, std::uint64_t end);
    void RunSequential(BitReader& bits, std::uint64_t end);

    void ExpectRestartMarker(BitReader& bits);
    void StartInterval();
    // True when a tolerant decode can go on after a failure in the data.
    bool RecoverFromDamage(BitReader& bits, ErrorCode error);
    void DecodeLastUnitPadded(const InputByteStream& stream);
    int& PredictorOf(unsigned index) { return predictors[scan.components[index].position]; }

    Context context;
    ScanHeader scan;
    ScanWalk walk;
    // By frame position (components that share one, share it).
    std::array<int, kMaxFrameComponents> predictors{};
    unsigned eobRun = 0;
};

}  // namespace Tessera
