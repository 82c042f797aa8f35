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
      walk(*context.frame, scan, *context.components, context.restartInterval,
           stream.ReadPointer()),
      eobRun(eobRun) {}

void HuffmanScanDecoder::Decode(InputByteStream& stream, std::uint64_t end) {
    BitReader bits(stream);
    while (walk.Next() < end) {
        if (walk.FillDamaged(end)) continue;
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
    if (!walk.Progressive()) return RunSequential(bits, end);
    if (scan.ss != 0) return scan.ah != 0 ? RunAcRefinement(bits, end) : RunAcFirst(bits, end);
    return scan.ah != 0 ? RunDcRefinement(bits, end) : RunDcFirst(bits, end);
}

void HuffmanScanDecoder::RunSequential(BitReader& bits, std::uint64_t end) {
    std::array<const HuffmanTable*, kMaxScanComponents> dc{}, ac{};
    for (unsigned i = 0; i < scan.componentCount; ++i) {
        dc[i] = &context.tables->dc[scan.components[i].dcTable];
        ac[i] = &context.tables->ac[scan.components[i].acTable];
    }
    // Each block is stored (transformed, on one thread) once the next one is
    // decoded: the transform's wide loads of a block just written
    // coefficient by coefficient would wait for those narrow stores to
    // complete, which they do meanwhile. A failure stores the block held.
    alignas(32) std::int16_t scratch[2][64];
    unsigned parity = 0;
    struct Held {
        JpegComponent* component = nullptr;
        unsigned row = 0, col = 0;
        const std::int16_t* natural = nullptr;
    } held;
    const auto store = [&] {
        if (held.component == nullptr) return;
        held.component->StoreBlock(held.row, held.col, held.natural);
        held.component = nullptr;
    };
    const auto block = [&](unsigned i, JpegComponent& c, unsigned row, unsigned col) {
        parity ^= 1;
        std::int16_t* natural = c.BlockToDecode(row, col, scratch[parity]);
        DecodeSequentialBlock(bits, *dc[i], *ac[i], PredictorOf(i), natural);
        store();
        held = {&c, row, col, natural};
    };
    try {
        Run(bits, end, block);
    } catch (...) {
        store();
        throw;
    }
    store();
}

void HuffmanScanDecoder::RunDcFirst(BitReader& bits, std::uint64_t end) {
    std::array<const HuffmanTable*, kMaxScanComponents> dc{};
    for (unsigned i = 0; i < scan.componentCount; ++i)
        dc[i] = &context.tables->dc[scan.components[i].dcTable];
    const auto block = [&](unsigned i, JpegComponent& c, unsigned row, unsigned col) {
        const std::int16_t value = DecodeDcFirst(bits, *dc[i], PredictorOf(i), scan.al);
        c.DcCoefficient(row, col) = value;
    };
    Run(bits, end, block);
}

void HuffmanScanDecoder::RunDcRefinement(BitReader& bits, std::uint64_t end) {
    const auto block = [&](unsigned, JpegComponent& c, unsigned row, unsigned col) {
        if (bits.ReadBit() == 0) return;  // a 0 changes nothing: the block need not exist
        std::int16_t& dc = c.DcCoefficient(row, col);
        dc = static_cast<std::int16_t>(static_cast<std::uint16_t>(dc) | (1u << scan.al));
    };
    Run(bits, end, block);
}

void HuffmanScanDecoder::RunAcFirst(BitReader& bits, std::uint64_t end) {
    const HuffmanTable& ac = context.tables->ac[scan.components[0].acTable];
    const auto block = [&](unsigned, JpegComponent& c, unsigned row, unsigned col) {
        if (eobRun > 0) {
            --eobRun;  // a block of the run: nothing to read or store
            return;
        }
        DecodeAcFirst(bits, ac, eobRun, c.BlockCoefficients(row, col), scan.ss, scan.se, scan.al);
    };
    Run(bits, end, block);
}

void HuffmanScanDecoder::RunAcRefinement(BitReader& bits, std::uint64_t end) {
    const HuffmanTable& ac = context.tables->ac[scan.components[0].acTable];
    const auto block = [&](unsigned, JpegComponent& c, unsigned row, unsigned col) {
        if (scan.ss > scan.se) return;
        // A block that no earlier scan reached holds only zero coefficients, so
        // an end-of-band run passes it without correction bits; leaving it
        // unreached keeps a run of empty blocks from allocating them.
        if (eobRun != 0 && !c.RowReached(row)) {
            --eobRun;
            return;
        }
        RefineAc(bits, ac, eobRun, c.BlockCoefficients(row, col), scan.ss, scan.se, scan.al);
    };
    Run(bits, end, block);
}

template <typename BlockOperation>
void HuffmanScanDecoder::Run(BitReader& bits, std::uint64_t end, BlockOperation operation) {
    walk.Run(
        end, [&] { ExpectRestartMarker(bits); }, operation);
}

void HuffmanScanDecoder::StartInterval() {
    predictors = {};
    if (context.tolerant) eobRun = 0;
}

void HuffmanScanDecoder::ExpectRestartMarker(BitReader& bits) {
    bits.Detach();
    InputByteStream& stream = bits.Stream();
    stream.StopBitReading();
    walk.TakeRestartMarker(stream);
    StartInterval();
    stream.StartBitReading();
    bits.Attach();
}

// A damaged restart interval (see ScanWalk::SkipDamage): the walk resumes
// with a fresh entropy state after the next restart marker. Damage in a
// scan without restart intervals fills the rest of the scan, and the
// marker loop goes on from the next marker; data that ends inside the scan
// (no marker follows) is a cut-off file.
bool HuffmanScanDecoder::RecoverFromDamage(BitReader& bits, ErrorCode error) {
    if (!context.repair) return false;
    bits.Detach();
    InputByteStream& stream = bits.Stream();
    walk.NoteFailure(error);
    if (walk.RestartInterval() == 0 || !walk.SkipDamage(stream)) {
        // The failed read may have consumed the marker's 0xFF.
        const std::uint8_t* at = stream.ReadPointer();
        const std::uint8_t* from = at - walk.IntervalStart() >= 2 ? at - 2 : walk.IntervalStart();
        if (stream.SkipToMarker(from) < 0) {
            const std::uint64_t failed = walk.Next();
            DecodeLastUnitPadded(stream);
            walk.CutOff(failed);
        } else {
            walk.SkipRest();
        }
        eobRun = 0;
        return true;
    }
    StartInterval();
    eobRun = 0;
    if (walk.Resumes()) {
        stream.StartBitReading();
        bits.Attach();
    }
    return true;
}

// Where the data ends inside a unit, other decoders (libjpeg among them)
// read zero bits after the end to finish it, and leave the rest of the scan
// without data. The same here: the interval is decoded again from its start
// over its data and zeros, up to and including the unit that failed. Only
// passes that store what they decode can be repeated; AC refinement, which
// adds to what is there, leaves that unit without its correction instead.
void HuffmanScanDecoder::DecodeLastUnitPadded(const InputByteStream& stream) {
    const bool repeatable = !(walk.Progressive() && scan.ss != 0 && scan.ah != 0);
    if (!repeatable || walk.AtRestartMarker()) return;
    const std::uint64_t failed = walk.Next();
    // One unit of zero bits: up to 10 blocks of 64 codes of up to 16 bits
    // and 16 extra bits each, 4 KB, rounded up.
    constexpr std::size_t kZeroBytes = 8192;
    std::vector<std::uint8_t> padded(walk.IntervalStart(), stream.BufferEnd());
    padded.resize(padded.size() + kZeroBytes, 0);
    MemoryStream copy(padded);
    copy.StartBitReading();
    walk.RewindInterval();
    StartInterval();
    eobRun = 0;
    try {
        BitReader bits(copy);
        Walk(bits, failed + 1);
    } catch (const JpegError&) {
        walk.MoveTo(failed);  // the zeros do not make a unit: it stays without data
    } catch (const StreamError&) {
        walk.MoveTo(failed);
    }
}

}  // namespace Tessera
