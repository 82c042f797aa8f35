#include "huffman_scan_decoder.h"

#include <algorithm>

#include "bit_reader.h"
#include "coefficient_decoding.h"
#include "input_byte_stream.h"
#include "jpeg_component.h"
#include "marker_codes.h"
#include "memory_stream.h"
#include "table_segments.h"

namespace Tessera {

HuffmanScanDecoder::HuffmanScanDecoder(const Context& context, const ScanHeader& scan,
                                       const InputByteStream& stream, unsigned eobRun)
    : context(context),
      scan(scan),
      progressive(context.frame->Progressive()),
      interleaved(scan.Interleaved(progressive)),
      eobRun(eobRun),
      intervalStart(stream.ReadPointer()) {
    const FrameHeader& frame = *context.frame;
    if (interleaved) {
        units = std::uint64_t{frame.mcuRows} * frame.mcuColumns;
        unitsPerMcuRow = frame.mcuColumns;
    } else {
        // One component's blocks (every AC scan codes one, T.81 G.1.1.1.1).
        const JpegComponent& first = ComponentOf(0);
        units = std::uint64_t{first.ScanBlockRows()} * first.ScanBlockColumns();
        unitsPerMcuRow = std::uint64_t{first.VerticalSampling()} * first.ScanBlockColumns();
    }
}

void HuffmanScanDecoder::Decode(InputByteStream& stream, std::uint64_t end) {
    BitReader bits(stream);
    while (next < end) {
        if (next < resumeAt) {
            const std::uint64_t filled = std::min(end, resumeAt);
            FillUnits(next, filled);
            next = filled;
            continue;
        }
        try {
            Walk(bits, end);
        } catch (const JpegError& error) {
            if (!RecoverFromDamage(bits, error.Code())) throw;
        } catch (const StreamError& error) {
            if (!RecoverFromDamage(bits, error.Code())) throw;
        }
    }
}

void HuffmanScanDecoder::Walk(BitReader& bits, std::uint64_t end) {
    if (!progressive) return RunSequential(bits, end);
    if (scan.ss != 0) return scan.ah != 0 ? RunAcRefinement(bits, end) : RunAcFirst(bits, end);
    return scan.ah != 0 ? RunDcRefinement(bits, end) : RunDcFirst(bits, end);
}

void HuffmanScanDecoder::RunSequential(BitReader& bits, std::uint64_t end) {
    std::array<const HuffmanTable*, kMaxScanComponents> dc{}, ac{};
    for (unsigned i = 0; i < scan.componentCount; ++i) {
        dc[i] = &context.tables->dc[scan.components[i].dcTable];
        ac[i] = &context.tables->ac[scan.components[i].acTable];
    }
    const auto block = [&](unsigned i, JpegComponent& c, BitReader& b, unsigned row, unsigned col) {
        alignas(16) std::int16_t natural[64];
        DecodeSequentialBlock(b, *dc[i], *ac[i], PredictorOf(i), natural);
        c.StoreBlock(row, col, natural);
    };
    if (interleaved)
        WalkInterleaved(bits, block, end);
    else
        WalkNonInterleaved(bits, block, end);
}

void HuffmanScanDecoder::RunDcFirst(BitReader& bits, std::uint64_t end) {
    std::array<const HuffmanTable*, kMaxScanComponents> dc{};
    for (unsigned i = 0; i < scan.componentCount; ++i)
        dc[i] = &context.tables->dc[scan.components[i].dcTable];
    const auto block = [&](unsigned i, JpegComponent& c, BitReader& b, unsigned row, unsigned col) {
        const std::int16_t value = DecodeDcFirst(b, *dc[i], PredictorOf(i), scan.al);
        c.BlockCoefficients(row, col)[0] = value;
    };
    if (interleaved)
        WalkInterleaved(bits, block, end);
    else
        WalkNonInterleaved(bits, block, end);
}

void HuffmanScanDecoder::RunDcRefinement(BitReader& bits, std::uint64_t end) {
    const auto block = [&](unsigned, JpegComponent& c, BitReader& b, unsigned row, unsigned col) {
        if (b.ReadBit() == 0) return;  // a 0 changes nothing: the block need not exist
        std::int16_t& dc = c.BlockCoefficients(row, col)[0];
        dc = static_cast<std::int16_t>(static_cast<std::uint16_t>(dc) | (1u << scan.al));
    };
    if (interleaved)
        WalkInterleaved(bits, block, end);
    else
        WalkNonInterleaved(bits, block, end);
}

void HuffmanScanDecoder::RunAcFirst(BitReader& bits, std::uint64_t end) {
    const HuffmanTable& ac = context.tables->ac[scan.components[0].acTable];
    const auto block = [&](unsigned, JpegComponent& c, BitReader& b, unsigned row, unsigned col) {
        if (eobRun > 0) {
            --eobRun;  // a block of the run: nothing to read or store
            return;
        }
        DecodeAcFirst(b, ac, eobRun, c.BlockCoefficients(row, col), scan.ss, scan.se, scan.al);
    };
    WalkNonInterleaved(bits, block, end);
}

void HuffmanScanDecoder::RunAcRefinement(BitReader& bits, std::uint64_t end) {
    const HuffmanTable& ac = context.tables->ac[scan.components[0].acTable];
    const auto block = [&](unsigned, JpegComponent& c, BitReader& b, unsigned row, unsigned col) {
        if (scan.ss > scan.se) return;
        // A block that no earlier scan reached holds only zero coefficients, so
        // an end-of-band run passes it without correction bits; leaving it
        // unreached keeps a run of empty blocks from allocating them.
        if (eobRun != 0 && !c.RowReached(row)) {
            --eobRun;
            return;
        }
        RefineAc(b, ac, eobRun, c.BlockCoefficients(row, col), scan.ss, scan.se, scan.al);
    };
    WalkNonInterleaved(bits, block, end);
}

template <typename BlockOperation>
void HuffmanScanDecoder::WalkInterleaved(BitReader& bits, BlockOperation operation,
                                         std::uint64_t end) {
    const unsigned columns = context.frame->mcuColumns;
    auto r = static_cast<unsigned>(next / columns);
    auto k = static_cast<unsigned>(next % columns);
    while (next < end) {
        RestartCheck(bits);
        for (unsigned i = 0; i < scan.componentCount; ++i) {
            JpegComponent& component = ComponentOf(i);
            const unsigned v = component.VerticalSampling();
            const unsigned h = component.HorizontalSampling();
            for (unsigned m = 0; m < v; ++m)
                for (unsigned d = 0; d < h; ++d)
                    operation(i, component, bits, v * r + m, h * k + d);
        }
        ++counter;
        ++next;
        if (++k == columns) {
            k = 0;
            ++r;
        }
    }
}

template <typename BlockOperation>
void HuffmanScanDecoder::WalkNonInterleaved(BitReader& bits, BlockOperation operation,
                                            std::uint64_t end) {
    JpegComponent& component = ComponentOf(0);
    const unsigned columns = component.ScanBlockColumns();
    auto r = static_cast<unsigned>(next / columns);
    auto k = static_cast<unsigned>(next % columns);
    while (next < end) {
        RestartCheck(bits);
        operation(0, component, bits, r, k);
        ++counter;
        ++next;
        if (++k == columns) {
            k = 0;
            ++r;
        }
    }
}

void HuffmanScanDecoder::RestartCheck(BitReader& bits) {
    if (context.restartInterval == 0 || counter != context.restartInterval) return;
    ExpectRestartMarker(bits);
}

void HuffmanScanDecoder::StartInterval() {
    counter = 0;
    predictors = {};
    if (context.tolerant) eobRun = 0;
}

void HuffmanScanDecoder::ExpectRestartMarker(BitReader& bits) {
    bits.Detach();
    InputByteStream& stream = bits.Stream();
    stream.StopBitReading();
    if (stream.ReadByte() != kMarkerPrefix) throw JpegBadStream("Missing Restart Marker");
    std::uint8_t code = stream.ReadByte();
    // Fill bytes may precede the marker code; the end of the data reads as 0
    // and so ends this loop too.
    while (code == kMarkerPrefix) code = stream.ReadByte();
    if (!IsRestartMarker(code)) throw JpegBadStream("Missing Restart Marker");
    if ((code & 0x0F) != nextRestartNumber) throw JpegBadStream("Incorrect Restart Marker");
    nextRestartNumber = (nextRestartNumber + 1) % kRestartCycle;
    intervalStart = stream.ReadPointer();
    StartInterval();
    stream.StartBitReading();
    bits.Attach();
}

// A damaged restart interval: the data of the unit being decoded (or the
// marker that should have ended the interval) was wrong. The rest of the
// interval gets blocks without data, and decoding resumes after the next
// restart marker in the data; its number says how many intervals lie between
// (T.81 B.2.1: RSTm counts modulo 8), and those are filled too. Without a
// restart marker before the next other marker the rest of the scan is
// filled and the marker loop goes on from that marker. Without any marker
// the data has ended (a cut-off file): the rest of the scan is filled.
// Damage in a scan without restart intervals has nowhere to resume.
bool HuffmanScanDecoder::RecoverFromDamage(BitReader& bits, ErrorCode error) {
    if (!context.repair) return false;
    const std::uint64_t interval = context.restartInterval;
    bits.Detach();
    InputByteStream& stream = bits.Stream();
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
    if (repairs.firstError == ErrorCode::Other) repairs.firstError = error;
    for (;;) {
        const int code = stream.SkipToMarker(from);
        from = stream.ReadPointer();
        if (code < 0) {
            CutOff(stream);
            return true;
        }
        if (interval == 0) return false;
        if (!IsRestartMarker(static_cast<unsigned>(code))) break;  // the scan's data ends here
        const unsigned number = static_cast<unsigned>(code) & 0x0F;
        const std::uint64_t at =
            boundary + ((number + kRestartCycle - nextRestartNumber) % kRestartCycle) * interval;
        if (at < units) {
            resume = at;
            nextRestartNumber = (number + 1) % kRestartCycle;
            break;
        }
        // A restart marker past the scan's end is stray data; look further.
    }
    // Decode fills the units up to there as the walk reaches them (a
    // sequential picture read row by row holds one row of MCUs at a time).
    ++repairs.damagedIntervals;
    resumeAt = resume;
    StartInterval();
    eobRun = 0;
    if (resume < units) {
        intervalStart = stream.ReadPointer();
        stream.StartBitReading();
        bits.Attach();
    }
    return true;
}

void HuffmanScanDecoder::CutOff(const InputByteStream& stream) {
    repairs.cutOff = true;
    repairs.cutOffUnit = next;
    DecodeLastUnitPadded(stream);
    resumeAt = units;
    eobRun = 0;
}

void HuffmanScanDecoder::MarkCutOff() {
    repairs.firstError = ErrorCode::PrematureEndOfFile;
    repairs.cutOff = true;
    resumeAt = units;
}

// Where the data ends inside a unit, other decoders (libjpeg among them)
// read zero bits after the end to finish it, and leave the rest of the scan
// without data. The same here: the interval is decoded again from its start
// over its data and zeros, up to and including the unit that failed. Only
// passes that store what they decode can be repeated; AC refinement, which
// adds to what is there, leaves that unit without its correction instead.
void HuffmanScanDecoder::DecodeLastUnitPadded(const InputByteStream& stream) {
    const std::uint64_t failed = next;
    const bool repeatable = !(progressive && scan.ss != 0 && scan.ah != 0);
    const bool atMarker = context.restartInterval != 0 && counter == context.restartInterval;
    if (!repeatable || atMarker) return;
    // One unit of zero bits: up to 10 blocks of 64 codes of up to 16 bits
    // and 16 extra bits each, 4 KB, rounded up.
    constexpr std::size_t kZeroBytes = 8192;
    std::vector<std::uint8_t> padded(intervalStart, stream.BufferEnd());
    padded.resize(padded.size() + kZeroBytes, 0);
    MemoryStream copy(padded);
    copy.StartBitReading();
    next = failed - counter;
    StartInterval();
    eobRun = 0;
    try {
        BitReader bits(copy);
        Walk(bits, failed + 1);
    } catch (const JpegError&) {
        next = failed;  // the zeros do not make a unit: it stays without data
    } catch (const StreamError&) {
        next = failed;
    }
}

void HuffmanScanDecoder::FillUnits(std::uint64_t from, std::uint64_t to) {
    if (progressive) return;  // the blocks keep what earlier scans gave them
    const unsigned mcuColumns = context.frame->mcuColumns;
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
        for (unsigned i = 0; i < scan.componentCount; ++i) {
            JpegComponent& component = ComponentOf(i);
            const unsigned v = component.VerticalSampling();
            const unsigned h = component.HorizontalSampling();
            for (unsigned m = 0; m < v; ++m)
                for (unsigned d = 0; d < h; ++d) component.FillBlock(v * r + m, h * k + d);
        }
    }
}

}  // namespace Tessera
