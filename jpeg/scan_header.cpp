#include "scan_header.h"

#include "input_byte_stream.h"

namespace Tessera {

namespace {

constexpr unsigned kTableSlots = 4;
constexpr unsigned kMaxSpectralIndex = 63;
// Strict frames have one or three components, so their scans do too.
constexpr unsigned kMaxStrictScanComponents = 3;

bool TakenEarlier(const ScanHeader& earlier, unsigned index, unsigned position) {
    for (unsigned i = 0; i < index; ++i)
        if (earlier.components[i].position == position) return true;
    return false;
}

// The first position from `from` on with the identifier that no earlier
// component of the scan took; -1 when there is none.
int FreePositionFrom(const FrameHeader& frame, unsigned id, unsigned from, unsigned index,
                     const ScanHeader& earlier) {
    for (unsigned p = from; p < frame.componentCount; ++p)
        if (frame.components[p].id == id && !TakenEarlier(earlier, index, p))
            return static_cast<int>(p);
    return -1;
}

// Strict decodes bind tables to a component, not to its naming in the scan: a
// scan that names one component twice decodes both with the last selectors.
void ShareTableSelectors(ScanHeader& scan) {
    for (unsigned i = 0; i < scan.componentCount; ++i)
        for (unsigned j = scan.componentCount; j-- > i;)
            if (scan.components[j].position == scan.components[i].position) {
                scan.components[i] = scan.components[j];
                break;
            }
}

}  // namespace

int PositionOfComponent(const FrameHeader& frame, unsigned id, unsigned index,
                        const ScanHeader& earlier, bool tolerant) {
    if (!tolerant) {
        // One component per identifier: the position that stands for all.
        for (unsigned p = 0; p < frame.componentCount; ++p)
            if (frame.components[p].id == id) return static_cast<int>(frame.sharedWith[p]);
        return -1;
    }
    // Frames that repeat an identifier (some old encoders write them) bind
    // the scan's components to the frame's in order, as libjpeg does: the
    // first free position at or after the component's own index, else any
    // free one (which keeps scans that list components out of frame order).
    const int position = FreePositionFrom(frame, id, index, index, earlier);
    return position >= 0 ? position : FreePositionFrom(frame, id, 0, index, earlier);
}

ScanHeader ReadScanHeader(InputByteStream& stream, const FrameHeader& frame, bool tolerant) {
    ScanHeader scan;
    stream.ReadBigEndian16();  // the length is implied by the component count
    scan.componentCount = stream.ReadByte();
    const unsigned most = tolerant ? kMaxScanComponents : kMaxStrictScanComponents;
    if (scan.componentCount == 0 || scan.componentCount > most)
        throw JpegBadStream("Invalid component count in scan");
    for (unsigned i = 0; i < scan.componentCount; ++i) {
        const unsigned id = stream.ReadByte();
        // Only the current frame's components.
        const int position = PositionOfComponent(frame, id, i, scan, tolerant);
        if (position < 0) throw JpegBadStream("Component Not Defined");
        ScanComponent& component = scan.components[i];
        component.position = static_cast<unsigned>(position);
        const std::uint8_t selectors = stream.ReadByte();
        component.dcTable = selectors >> 4;
        component.acTable = selectors & 0x0F;
        if (component.dcTable >= kTableSlots || component.acTable >= kTableSlots)
            throw JpegBadStream("Huffman Table Index outside range [0..3]");
    }
    if (!tolerant) ShareTableSelectors(scan);
    scan.ss = stream.ReadByte();
    scan.se = stream.ReadByte();
    const std::uint8_t approximation = stream.ReadByte();
    scan.ah = approximation >> 4;
    scan.al = approximation & 0x0F;
    // Progressive bands address coefficients up to Se; a block has 64.
    if (frame.Progressive() && scan.se > kMaxSpectralIndex)
        throw JpegBadStream("Spectral Selection Outside the Range 0-63");
    return scan;
}

}  // namespace Tessera
