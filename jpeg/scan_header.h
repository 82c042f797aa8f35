#pragma once

// The scan header (T.81 B.2.3) as a value: which of the frame's components a
// scan codes, with which tables, and which part of their coefficients.

#include <array>
#include <cstdint>

#include "frame_header.h"

namespace Tessera {

class InputByteStream;

inline constexpr unsigned kMaxScanComponents = 4;

struct ScanComponent {
    unsigned position = 0;  // in the frame
    unsigned dcTable = 0;   // the DHT slots, 0..3
    unsigned acTable = 0;
};

struct ScanHeader {
    unsigned componentCount = 0;
    std::array<ScanComponent, kMaxScanComponents> components{};
    // Spectral selection and successive approximation (T.81 G.1.1.1).
    unsigned ss = 0;
    unsigned se = 0;
    unsigned ah = 0;
    unsigned al = 0;

    // MCUs of several components (T.81 A.2.3) rather than one component's
    // blocks; progressive AC scans code one component whatever they list
    // (T.81 G.1.1.1.1).
    bool Interleaved(bool progressive) const {
        return componentCount != 1 && !(progressive && ss != 0);
    }
};

// Reads the segment after an SOS marker and checks it against the frame;
// throws the decoder's messages for what it refuses.
ScanHeader ReadScanHeader(InputByteStream& stream, const FrameHeader& frame, bool tolerant);

// The frame position that the scan's component `index` names by `id`, given
// the positions its earlier components took; -1 when the frame has none.
int PositionOfComponent(const FrameHeader& frame, unsigned id, unsigned index,
                        const ScanHeader& earlier, bool tolerant);

}  // namespace Tessera
