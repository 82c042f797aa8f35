#include "scan_walk.h"

#include <algorithm>

#include "input_byte_stream.h"
#include "marker_codes.h"

namespace Tessera {

ScanWalk::ScanWalk(const FrameHeader& frame, const ScanHeader& scan, Components& components,
                   unsigned restartInterval, const std::uint8_t* dataStart)
    : components(&components),
      scan(scan),
      mcuColumns(frame.mcuColumns),
      progressive(frame.Progressive()),
      interleaved(scan.Interleaved(progressive)),
      restartInterval(restartInterval),
      intervalStart(dataStart) {
    if (interleaved) {
        units = std::uint64_t{frame.mcuRows} * frame.mcuColumns;
        unitsPerMcuRow = frame.mcuColumns;
        const auto byte = [](unsigned value) { return static_cast<std::uint8_t>(value); };
        for (unsigned i = 0; i < scan.componentCount; ++i) {
            JpegComponent& component = ComponentOf(i);
            const unsigned v = component.VerticalSampling();
            const unsigned h = component.HorizontalSampling();
            for (unsigned m = 0; m < v; ++m)
                for (unsigned d = 0; d < h; ++d)
                    mcuBlocks[mcuBlockCount++] = {&component, byte(i), byte(v),
                                                  byte(m),    byte(h), byte(d)};
        }
    } else {
        // One component's blocks (every AC scan codes one, T.81 G.1.1.1.1).
        const JpegComponent& first = ComponentOf(0);
        units = std::uint64_t{first.ScanBlockRows()} * first.ScanBlockColumns();
        unitsPerMcuRow = std::uint64_t{first.VerticalSampling()} * first.ScanBlockColumns();
    }
}

bool ScanWalk::FillDamaged(std::uint64_t end) {
    if (next >= resumeAt) return false;
    const std::uint64_t filled = std::min(end, resumeAt);
    FillUnits(next, filled);
    next = filled;
    return true;
}

void ScanWalk::TakeRestartMarker(InputByteStream& stream) {
    if (stream.ReadByte() != kMarkerPrefix) throw JpegBadStream("Missing Restart Marker");
    std::uint8_t code = stream.ReadByte();
    // Fill bytes may precede the marker code; the end of the data reads as 0
    // and so ends this loop too.
    while (code == kMarkerPrefix) code = stream.ReadByte();
    if (!IsRestartMarker(code)) throw JpegBadStream("Missing Restart Marker");
    if ((code & 0x0F) != nextRestartNumber) throw JpegBadStream("Incorrect Restart Marker");
    nextRestartNumber = (nextRestartNumber + 1) % kRestartCycle;
    intervalStart = stream.ReadPointer();
    counter = 0;
}

// A damaged restart interval: the data of the unit being decoded (or the
// marker that should have ended the interval) was wrong. The rest of the
// interval gets blocks without data, and decoding resumes after the next
// restart marker in the data; its number (T.81 B.2.1: RSTm counts modulo 8)
// says how many intervals lie between, and those are filled too, or that
// it belongs to one already passed (see below). Without a
// restart marker before the next other marker the rest of the scan is
// filled and the marker loop goes on from that marker; without any marker
// the picture cannot go on.
bool ScanWalk::SkipDamage(InputByteStream& stream) {
    const std::uint64_t interval = restartInterval;
    // The boundary whose marker was due next: this unit's own when the marker
    // before it failed, else the end of this unit's interval.
    const std::uint64_t boundary = counter == interval ? next : (next - counter) + interval;
    std::uint64_t resume = units;
    // The failed read may have consumed the marker that tells where the data
    // goes on (the one it met in the data, or a restart marker of the wrong
    // number): the search starts up to two bytes back, though never before
    // the data that follows the last restart marker taken.
    const std::uint8_t* from = stream.ReadPointer();
    from = from - intervalStart >= 2 ? from - 2 : intervalStart;
    for (;;) {
        const int code = stream.SkipToMarker(from);
        from = stream.ReadPointer();
        if (code < 0) return false;
        if (!IsRestartMarker(static_cast<unsigned>(code))) break;  // the scan's data ends here
        // How far the marker's number lies ahead of the one due, as libjpeg
        // reads it: one or two ahead, that many intervals were lost; one or
        // two behind, it ends an interval already passed, and the search
        // goes on; further off either way, it is taken as the one due.
        const unsigned ahead =
            ((static_cast<unsigned>(code) & 0x0F) + kRestartCycle - nextRestartNumber) %
            kRestartCycle;
        if (ahead >= kRestartCycle - 2) continue;
        const std::uint64_t skipped = ahead <= 2 ? ahead : 0;
        const std::uint64_t at = boundary + skipped * interval;
        if (at < units) {
            resume = at;
            nextRestartNumber =
                static_cast<unsigned>((nextRestartNumber + skipped + 1) % kRestartCycle);
            break;
        }
        // A restart marker past the scan's end is stray data; look further.
    }
    // The units up to there are filled as the walk reaches them (a
    // sequential picture read row by row holds one row of MCUs at a time).
    ++repairs.damagedIntervals;
    resumeAt = resume;
    counter = 0;
    if (resume < units) intervalStart = stream.ReadPointer();
    return true;
}

void ScanWalk::FillUnits(std::uint64_t from, std::uint64_t to) {
    if (progressive) return;  // the blocks keep what earlier scans gave them
    for (std::uint64_t unit = from; unit < to; ++unit) {
        if (!interleaved) {
            JpegComponent& component = ComponentOf(0);
            const unsigned columns = component.ScanBlockColumns();
            component.FillBlock(static_cast<unsigned>(unit / columns),
                                static_cast<unsigned>(unit % columns));
            continue;
        }
        const auto r = static_cast<unsigned>(unit / mcuColumns);
        const auto k = static_cast<unsigned>(unit % mcuColumns);
        for (unsigned b = 0; b < mcuBlockCount; ++b) {
            const McuBlock& block = mcuBlocks[b];
            block.component->FillBlock(block.rows * r + block.row,
                                       block.columns * k + block.column);
        }
    }
}

}  // namespace Tessera
