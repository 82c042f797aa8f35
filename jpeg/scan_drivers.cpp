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

void JpegDecoder::RunSequentialScan(BitReader& bits) {
    nextRestartNumber = 0;
    WalkScan(bits, false, [](JpegComponent& c, BitReader& s, int row, int col) {
        c.DecodeFullBlock(s, row, col);
    });
}

void JpegDecoder::RunProgressiveScan(BitReader& bits, unsigned ss, unsigned se, unsigned ah,
                                     unsigned al) {
    nextRestartNumber = 0;
    if (ss != 0) {
        if (ah != 0)
            RunAcRefinementPass(bits, ss, se, al);
        else
            RunAcBandPass(bits, ss, se, al);
        return;
    }
    if (se != 0) throw JpegBadStream("Progressive scan contains DC and AC data");
    if (ah != 0)
        RunDcRefinementPass(bits, al);
    else
        RunDcInitialPass(bits, al);
}

void JpegDecoder::RunDcInitialPass(BitReader& bits, unsigned al) {
    WalkScan(bits, true, [al](JpegComponent& c, BitReader& s, int row, int col) {
        c.DecodeDcInitial(s, row, col, al);
    });
}

void JpegDecoder::RunDcRefinementPass(BitReader& bits, unsigned al) {
    WalkScan(bits, true, [al](JpegComponent& c, BitReader& s, int row, int col) {
        c.RefineDcBlock(s, row, col, al);
    });
}

// AC scans code one component only (T.81 G.1.1.1.1), so they always take the
// non-interleaved walk over the first scan component.
void JpegDecoder::RunAcBandPass(BitReader& bits, unsigned ss, unsigned se, unsigned al) {
    WalkNonInterleaved(bits, true, [ss, se, al](JpegComponent& c, BitReader& s, int row, int col) {
        c.DecodeAcBand(s, row, col, ss, se, al);
    });
}

void JpegDecoder::RunAcRefinementPass(BitReader& bits, unsigned ss, unsigned se, unsigned al) {
    WalkNonInterleaved(bits, true, [ss, se, al](JpegComponent& c, BitReader& s, int row, int col) {
        c.RefineAcBand(s, row, col, ss, se, al);
    });
}

template <typename BlockOperation>
void JpegDecoder::WalkScan(BitReader& bits, bool progressiveDriver, BlockOperation operation) {
    if (InterleavedScan())
        WalkInterleaved(bits, progressiveDriver, operation);
    else
        WalkNonInterleaved(bits, progressiveDriver, operation);
}

template <typename BlockOperation>
void JpegDecoder::WalkInterleaved(BitReader& bits, bool progressiveDriver,
                                  BlockOperation operation) {
    ClearDcPredictors();
    unsigned counter = 0;
    for (unsigned r = 0; r < mcuRows; ++r) {
        for (unsigned k = 0; k < mcuColumns; ++k) {
            RestartCheck(bits, counter, progressiveDriver);
            for (unsigned i = 0; i < scanComponentCount; ++i) {
                JpegComponent& component = *scanComponents[i];
                const unsigned v = component.VerticalSampling();
                const unsigned h = component.HorizontalSampling();
                for (unsigned m = 0; m < v; ++m)
                    for (unsigned d = 0; d < h; ++d)
                        operation(component, bits, static_cast<int>(v * r + m),
                                  static_cast<int>(h * k + d));
            }
            ++counter;
        }
        if (convertingWhileDecoding)
            ConvertFinishedRows((r + 1) * 8 * std::size_t{maxVerticalSampling});
    }
}

template <typename BlockOperation>
void JpegDecoder::WalkNonInterleaved(BitReader& bits, bool progressiveDriver,
                                     BlockOperation operation) {
    ClearDcPredictors();
    JpegComponent& component = *scanComponents[0];
    unsigned counter = 0;
    for (unsigned r = 0; r < component.ScanBlockRows(); ++r) {
        for (unsigned k = 0; k < component.ScanBlockColumns(); ++k) {
            RestartCheck(bits, counter, progressiveDriver);
            operation(component, bits, static_cast<int>(r), static_cast<int>(k));
            ++counter;
        }
        if (convertingWhileDecoding)
            ConvertFinishedRows((r + 1) * 8 * std::size_t{component.VerticalUpsampling()});
    }
}

void JpegDecoder::RestartCheck(BitReader& bits, unsigned& counter, bool progressiveDriver) {
    if (restartInterval == 0 || counter != restartInterval) return;
    if (progressiveDriver) ClearDcPredictors();
    ExpectRestartMarker(bits);
    counter = 0;
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
    ClearDcPredictors();
    stream.StartBitReading();
    bits.Attach();
}

}  // namespace Tessera
