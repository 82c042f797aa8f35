#pragma once

#include <array>
#include <cstdint>

#include "arithmetic_coding_models.h"
#include "arithmetic_decoder.h"
#include "frame_header.h"
#include "jpeg_component.h"
#include "scan_header.h"
#include "scan_walk.h"

namespace Tessera {

class InputByteStream;

// Decodes the entropy-coded data of one arithmetic-coded scan (T.81 F.1.4,
// F.2.4, G.1.3, G.2), made for each SOS and dropped at its end, with the
// interface and walk of HuffmanScanDecoder. It owns the entropy state: the
// arithmetic decoder, the statistics areas of the table slots the scan
// uses and the DC predictors and contexts; all start afresh with each
// scan and each restart interval (T.81 F.1.4.4.1, D.2).
//
// The data is read in byte mode. A marker inside an interval's data, and
// the end of the data, read as zero bytes (T.81 D.2.6), so a cut-off scan
// decodes to its end from zeros. A failure (a magnitude or coefficient index
// out of range) fills the rest of its interval with blocks without data and
// resumes at the next restart marker; without restart intervals, the rest
// of the scan.
class ArithmeticScanDecoder {
  public:
    struct Context {
        const FrameHeader* frame = nullptr;
        const ArithmeticConditioning* conditioning = nullptr;
        // By frame position.
        std::array<JpegComponent, kMaxFrameComponents>* components = nullptr;
        unsigned restartInterval = 0;
        // Go on after damage (tolerant decodes that take repairs).
        bool repair = true;
    };

    // The stream is in byte mode at the scan's data.
    ArithmeticScanDecoder(const Context& context, const ScanHeader& scan, InputByteStream& stream);

    std::uint64_t Units() const { return walk.Units(); }
    std::uint64_t UnitsPerMcuRow() const { return walk.UnitsPerMcuRow(); }
    std::uint64_t DecodedUnits() const { return walk.Next(); }
    // Decodes units up to `end` (at most Units()); at the scan's end the
    // stream stands at the marker after its data.
    void Decode(InputByteStream& stream, std::uint64_t end);
    // Arithmetic coding has no end-of-band runs.
    unsigned EobRun() const { return 0; }
    const ScanWalk::Repairs& Repaired() const { return walk.Repaired(); }

  private:
    void Walk(std::uint64_t end);
    template <typename BlockOperation>
    void Run(std::uint64_t end, BlockOperation operation);
    void RunSequential(std::uint64_t end);
    void RunDcFirst(std::uint64_t end);
    void RunDcRefinement(std::uint64_t end);
    void RunAcFirst(std::uint64_t end);
    void RunAcRefinement(std::uint64_t end);

    void StartInterval();
    void TakeRestartMarker();
    // True when the decode can go on after a failure in the data.
    bool Recover(ErrorCode error);
    static void SkipToMarker(InputByteStream& stream);
    DcConditioning DcConditioningOf(unsigned index) const;

    Context context;
    ScanHeader scan;
    ScanWalk walk;
    InputByteStream& stream;
    ArithmeticDecoder decoder;
    // By table slot.
    std::array<DcStatistics, ArithmeticConditioning::kSlots> dcStatistics{};
    std::array<AcStatistics, ArithmeticConditioning::kSlots> acStatistics{};
    // By frame position.
    std::array<DcState, kMaxFrameComponents> dcStates{};
};

}  // namespace Tessera
