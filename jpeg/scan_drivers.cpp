// The scan drivers: they walk a scan's blocks in the order T.81 prescribes
// (A.2.2 non-interleaved, A.2.3 interleaved), have the components decode each
// block, and read the restart markers between restart intervals (B.2.1).
#include "bit_reader.h"
#include "input_byte_stream.h"
#include "jpeg_decoder.h"

namespace Tessera {

namespace {

constexpr std::uint8_t kMarkerPrefix = 0xFF;
constexpr std::uint8_t kFirstRestart = 0xD0;  // RST0 .. RST7
constexpr std::uint8_t kLastRestart = 0xD7;
constexpr unsigned kRestartCycle = 8;

}  // namespace

void JpegDecoder::StartScanWalk(unsigned ss, unsigned se, unsigned ah, unsigned al) {
    walk = ScanWalk{};
    walk.ss = ss;
    walk.se = se;
    walk.ah = ah;
    walk.al = al;
    nextRestartNumber = 0;
    // Interleaved scans walk MCUs; others (and every AC scan, which codes one
    // component, T.81 G.1.1.1.1) the blocks of their first component.
    const bool acScan = progressive && ss != 0;
    const JpegComponent& first = *scanComponents[0];
    if (InterleavedScan() && !acScan) {
        walk.units = std::uint64_t{mcuRows} * mcuColumns;
        walk.unitsPerMcuRow = mcuColumns;
    } else {
        walk.units = std::uint64_t{first.ScanBlockRows()} * first.ScanBlockColumns();
        walk.unitsPerMcuRow = std::uint64_t{first.VerticalSampling()} * first.ScanBlockColumns();
    }
    ClearDcPredictors();
}

void JpegDecoder::WalkUnits(BitReader& bits, std::uint64_t end) {
    while (walk.next < end) {
        if (walk.next < walk.resumeAt) {
            const std::uint64_t filled = std::min(end, walk.resumeAt);
            FillUnits(walk.next, filled);
            walk.next = filled;
            continue;
        }
        try {
            RunDriver(bits, end);
        } catch (const JpegError&) {
            if (!RecoverFromDamage(bits)) throw;
        } catch (const StreamError&) {
            if (!RecoverFromDamage(bits)) throw;
        }
    }
}

void JpegDecoder::RunDriver(BitReader& bits, std::uint64_t end) {
    if (progressive)
        RunProgressiveScan(bits, end);
    else
        RunSequentialScan(bits, end);
}

void JpegDecoder::RunSequentialScan(BitReader& bits, std::uint64_t end) {
    WalkScan(
        bits, false,
        [](JpegComponent& c, BitReader& s, int row, int col) { c.DecodeFullBlock(s, row, col); },
        end);
}

void JpegDecoder::RunProgressiveScan(BitReader& bits, std::uint64_t end) {
    if (walk.ss != 0) {
        if (walk.ah != 0)
            RunAcRefinementPass(bits, end);
        else
            RunAcBandPass(bits, end);
        return;
    }
    if (walk.ah != 0)
        RunDcRefinementPass(bits, end);
    else
        RunDcInitialPass(bits, end);
}

void JpegDecoder::RunDcInitialPass(BitReader& bits, std::uint64_t end) {
    WalkScan(
        bits, true,
        [al = walk.al](JpegComponent& c, BitReader& s, int row, int col) {
            c.DecodeDcInitial(s, row, col, al);
        },
        end);
}

void JpegDecoder::RunDcRefinementPass(BitReader& bits, std::uint64_t end) {
    WalkScan(
        bits, true,
        [al = walk.al](JpegComponent& c, BitReader& s, int row, int col) {
            c.RefineDcBlock(s, row, col, al);
        },
        end);
}

// AC scans code one component only (T.81 G.1.1.1.1), so they always take the
// non-interleaved walk over the first scan component.
void JpegDecoder::RunAcBandPass(BitReader& bits, std::uint64_t end) {
    WalkNonInterleaved(
        bits, true,
        [ss = walk.ss, se = walk.se, al = walk.al](JpegComponent& c, BitReader& s, int row,
                                                   int col) {
            c.DecodeAcBand(s, row, col, ss, se, al);
        },
        end);
}

void JpegDecoder::RunAcRefinementPass(BitReader& bits, std::uint64_t end) {
    WalkNonInterleaved(
        bits, true,
        [ss = walk.ss, se = walk.se, al = walk.al](JpegComponent& c, BitReader& s, int row,
                                                   int col) {
            c.RefineAcBand(s, row, col, ss, se, al);
        },
        end);
}

template <typename BlockOperation>
void JpegDecoder::WalkScan(BitReader& bits, bool progressiveDriver, BlockOperation operation,
                           std::uint64_t end) {
    if (InterleavedScan())
        WalkInterleaved(bits, progressiveDriver, operation, end);
    else
        WalkNonInterleaved(bits, progressiveDriver, operation, end);
}

template <typename BlockOperation>
void JpegDecoder::WalkInterleaved(BitReader& bits, bool progressiveDriver, BlockOperation operation,
                                  std::uint64_t end) {
    if (walk.next >= end) return;
    unsigned r = static_cast<unsigned>(walk.next / mcuColumns);
    unsigned k = static_cast<unsigned>(walk.next % mcuColumns);
    while (walk.next < end) {
        RestartCheck(bits, progressiveDriver);
        for (unsigned i = 0; i < scanComponentCount; ++i) {
            JpegComponent& component = *scanComponents[i];
            const unsigned v = component.VerticalSampling();
            const unsigned h = component.HorizontalSampling();
            for (unsigned m = 0; m < v; ++m)
                for (unsigned d = 0; d < h; ++d)
                    operation(component, bits, static_cast<int>(v * r + m),
                              static_cast<int>(h * k + d));
        }
        ++walk.counter;
        ++walk.next;
        if (++k == mcuColumns) {
            k = 0;
            ++r;
            if (convertingWhileDecoding)
                ConvertFinishedRows(r * 8 * std::size_t{maxVerticalSampling});
        }
    }
}

template <typename BlockOperation>
void JpegDecoder::WalkNonInterleaved(BitReader& bits, bool progressiveDriver,
                                     BlockOperation operation, std::uint64_t end) {
    if (walk.next >= end) return;
    JpegComponent& component = *scanComponents[0];
    const unsigned columns = component.ScanBlockColumns();
    unsigned r = static_cast<unsigned>(walk.next / columns);
    unsigned k = static_cast<unsigned>(walk.next % columns);
    while (walk.next < end) {
        RestartCheck(bits, progressiveDriver);
        operation(component, bits, static_cast<int>(r), static_cast<int>(k));
        ++walk.counter;
        ++walk.next;
        if (++k == columns) {
            k = 0;
            ++r;
            if (convertingWhileDecoding)
                ConvertFinishedRows(r * 8 * std::size_t{component.VerticalUpsampling()});
        }
    }
}

void JpegDecoder::RestartCheck(BitReader& bits, bool progressiveDriver) {
    if (restartInterval == 0 || walk.counter != restartInterval) return;
    if (progressiveDriver) ClearDcPredictors();
    ExpectRestartMarker(bits);
    walk.counter = 0;
}

void JpegDecoder::ClearDcPredictors() {
    for (unsigned i = 0; i < scanComponentCount; ++i) scanComponents[i]->SetDcPredictor(0);
}

void JpegDecoder::ExpectRestartMarker(BitReader& bits) {
    bits.Detach();
    InputByteStream& stream = bits.Stream();
    stream.StopBitReading();
    if (stream.ReadByte() != kMarkerPrefix) throw JpegBadStream("Missing Restart Marker");
    std::uint8_t code = stream.ReadByte();
    // Fill bytes may precede the marker code; the end of the data reads as 0
    // and so ends this loop too.
    while (code == kMarkerPrefix) code = stream.ReadByte();
    if (code < kFirstRestart || code > kLastRestart) throw JpegBadStream("Missing Restart Marker");
    if ((code & 0x0F) != nextRestartNumber) throw JpegBadStream("Incorrect Restart Marker");
    nextRestartNumber = (nextRestartNumber + 1) % kRestartCycle;
    restartMark = stream.ReadPointer();
    ClearDcPredictors();
    stream.StartBitReading();
    bits.Attach();
}

// A damaged restart interval: the data of the unit being decoded (or the
// marker that should have ended the interval) was wrong. The rest of the
// interval gets blocks without data, and decoding resumes after the next
// restart marker in the data; its number says how many intervals lie between
// (T.81 B.2.1: RSTm counts modulo 8), and those are filled too. Without a
// restart marker before the next other marker the rest of the scan is
// filled and the marker loop goes on from that marker; without any marker
// the picture cannot go on.
bool JpegDecoder::RecoverFromDamage(BitReader& bits) {
    if (!settings.tolerant || restartInterval == 0) return false;
    bits.Detach();
    InputByteStream& stream = bits.Stream();
    const std::uint64_t interval = restartInterval;
    // The boundary whose marker was due next: this unit's own when the marker
    // before it failed, else the end of this unit's interval.
    const std::uint64_t boundary =
        walk.counter == restartInterval ? walk.next : (walk.next - walk.counter) + interval;
    std::uint64_t resumeAt = walk.units;
    // The failed read may have consumed the marker that tells where the data
    // goes on (the one it met in the data, or a restart marker of the wrong
    // number): the search starts up to two bytes back, though never before
    // the data that follows the last restart marker taken.
    const std::uint8_t* from = stream.ReadPointer();
    from = from - restartMark >= 2 ? from - 2 : restartMark;
    for (;;) {
        const int code = stream.SkipToMarker(from);
        from = stream.ReadPointer();
        if (code < 0) return false;
        if (code < kFirstRestart || code > kLastRestart) break;  // the scan's data ends here
        const unsigned number = static_cast<unsigned>(code) & 0x0F;
        const std::uint64_t at =
            boundary + ((number + kRestartCycle - nextRestartNumber) % kRestartCycle) * interval;
        if (at < walk.units) {
            resumeAt = at;
            nextRestartNumber = (number + 1) % kRestartCycle;
            break;
        }
        // A restart marker past the scan's end is stray data; look further.
    }
    // WalkUnits fills the units up to there as the walk reaches them (a
    // sequential picture read row by row holds one row of MCUs at a time).
    walk.resumeAt = resumeAt;
    walk.counter = 0;
    ClearDcPredictors();
    for (unsigned i = 0; i < scanComponentCount; ++i) scanComponents[i]->SetEobRun(0);
    if (resumeAt < walk.units) {
        restartMark = stream.ReadPointer();
        stream.StartBitReading();
        bits.Attach();
    }
    return true;
}

void JpegDecoder::FillUnits(std::uint64_t from, std::uint64_t to) {
    if (progressive) return;  // the blocks keep what earlier scans gave them
    for (std::uint64_t unit = from; unit < to; ++unit) {
        if (InterleavedScan()) {
            const auto r = static_cast<unsigned>(unit / mcuColumns);
            const auto k = static_cast<unsigned>(unit % mcuColumns);
            for (unsigned i = 0; i < scanComponentCount; ++i) {
                JpegComponent& component = *scanComponents[i];
                const unsigned v = component.VerticalSampling();
                const unsigned h = component.HorizontalSampling();
                for (unsigned m = 0; m < v; ++m)
                    for (unsigned d = 0; d < h; ++d)
                        component.FillBlock(static_cast<int>(v * r + m),
                                            static_cast<int>(h * k + d));
            }
        } else {
            JpegComponent& component = *scanComponents[0];
            component.FillBlock(static_cast<int>(unit / component.ScanBlockColumns()),
                                static_cast<int>(unit % component.ScanBlockColumns()));
        }
    }
}

}  // namespace Tessera
