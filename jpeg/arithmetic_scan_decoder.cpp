#include "arithmetic_scan_decoder.h"

#include <algorithm>

#include "input_byte_stream.h"
#include "quant_table.h"

namespace Tessera {

namespace {

constexpr unsigned kBlockCoefficients = 64;
constexpr unsigned kLastIndex = kBlockCoefficients - 1;

}  // namespace

ArithmeticScanDecoder::ArithmeticScanDecoder(const Context& context, const ScanHeader& scan,
                                             InputByteStream& stream)
    : context(context),
      scan(scan),
      walk(*context.frame, scan, *context.components, context.restartInterval,
           stream.ReadPointer()),
      stream(stream),
      decoder(stream) {
    StartInterval();
}

void ArithmeticScanDecoder::Decode(InputByteStream&, std::uint64_t end) {
    while (walk.Next() < end) {
        if (walk.FillDamaged(end)) continue;
        try {
            Walk(end);
        } catch (const JpegError& error) {
            if (!Recover(error.Code())) throw;
        } catch (const StreamError& error) {
            if (!Recover(error.Code())) throw;
        }
    }
    // The data after the last decision, up to the marker that ends it.
    if (walk.Next() == walk.Units()) SkipToMarker(stream);
}

// Statistics, predictors and contexts start afresh, and the decoder reads
// the interval's first bytes.
void ArithmeticScanDecoder::StartInterval() {
    dcStatistics = {};
    acStatistics = {};
    dcStates = {};
    decoder.Start();
}

void ArithmeticScanDecoder::TakeRestartMarker() {
    SkipToMarker(stream);
    walk.TakeRestartMarker(stream);
    StartInterval();
}

// Bytes the decoder did not need, up to the next marker, which stays unread.
void ArithmeticScanDecoder::SkipToMarker(InputByteStream& stream) {
    while (stream.ReadCodedByte() >= 0) {
    }
}

bool ArithmeticScanDecoder::Recover(ErrorCode error) {
    if (!context.repair) return false;
    walk.NoteFailure(error);
    if (walk.RestartInterval() == 0) {
        walk.SkipRest();
        SkipToMarker(stream);
        return true;
    }
    if (!walk.SkipDamage(stream)) {
        walk.CutOff(walk.Next());  // no marker follows: the data has ended
        return true;
    }
    if (walk.Resumes()) StartInterval();
    return true;
}

void ArithmeticScanDecoder::Walk(std::uint64_t end) {
    if (!walk.Progressive()) return RunSequential(end);
    if (scan.ss != 0) return scan.ah != 0 ? RunAcRefinement(end) : RunAcFirst(end);
    return scan.ah != 0 ? RunDcRefinement(end) : RunDcFirst(end);
}

template <typename BlockOperation>
void ArithmeticScanDecoder::Run(std::uint64_t end, BlockOperation operation) {
    walk.Run(
        end, [&] { TakeRestartMarker(); }, operation);
}

DcConditioning ArithmeticScanDecoder::DcConditioningOf(unsigned index) const {
    const unsigned slot = scan.components[index].dcTable;
    return {context.conditioning->dcLower[slot], context.conditioning->dcUpper[slot]};
}

void ArithmeticScanDecoder::RunSequential(std::uint64_t end) {
    const auto block = [&](unsigned i, JpegComponent& c, unsigned row, unsigned col) {
        const ScanComponent& selectors = scan.components[i];
        std::int16_t zigzag[kBlockCoefficients] = {};
        zigzag[0] = static_cast<std::int16_t>(
            DecodeArithmeticDc(decoder, dcStatistics[selectors.dcTable],
                               dcStates[selectors.position], DcConditioningOf(i)));
        DecodeArithmeticAc(decoder, acStatistics[selectors.acTable],
                           context.conditioning->acKx[selectors.acTable], zigzag, 1, kLastIndex, 0);
        alignas(16) std::int16_t natural[kBlockCoefficients];
        for (unsigned k = 0; k < kBlockCoefficients; ++k) natural[ZigzagToNatural[k]] = zigzag[k];
        c.StoreBlock(row, col, natural);
    };
    Run(end, block);
}

void ArithmeticScanDecoder::RunDcFirst(std::uint64_t end) {
    const auto block = [&](unsigned i, JpegComponent& c, unsigned row, unsigned col) {
        const ScanComponent& selectors = scan.components[i];
        const int dc = DecodeArithmeticDc(decoder, dcStatistics[selectors.dcTable],
                                          dcStates[selectors.position], DcConditioningOf(i));
        c.DcCoefficient(row, col) = static_cast<std::int16_t>(
            static_cast<std::uint16_t>(static_cast<unsigned>(dc) << scan.al));
    };
    Run(end, block);
}

void ArithmeticScanDecoder::RunDcRefinement(std::uint64_t end) {
    const auto block = [&](unsigned, JpegComponent& c, unsigned row, unsigned col) {
        if (decoder.DecodeFixed() == 0) return;  // a 0 changes nothing: the block need not exist
        std::int16_t& dc = c.DcCoefficient(row, col);
        dc = static_cast<std::int16_t>(static_cast<std::uint16_t>(dc) | (1u << scan.al));
    };
    Run(end, block);
}

void ArithmeticScanDecoder::RunAcFirst(std::uint64_t end) {
    const unsigned slot = scan.components[0].acTable;
    const auto block = [&](unsigned, JpegComponent& c, unsigned row, unsigned col) {
        DecodeArithmeticAc(decoder, acStatistics[slot], context.conditioning->acKx[slot],
                           c.BlockCoefficients(row, col), scan.ss, scan.se, scan.al);
    };
    Run(end, block);
}

void ArithmeticScanDecoder::RunAcRefinement(std::uint64_t end) {
    const unsigned slot = scan.components[0].acTable;
    const auto block = [&](unsigned, JpegComponent& c, unsigned row, unsigned col) {
        if (scan.ss > scan.se) return;
        RefineArithmeticAc(decoder, acStatistics[slot], c.BlockCoefficients(row, col), scan.ss,
                           scan.se, scan.al);
    };
    Run(end, block);
}

}  // namespace Tessera
