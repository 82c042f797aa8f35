// The arithmetic decoder against a small encoder written here from T.81
// Annex D's encoder (D.1: CODE_LPS, CODE_MPS, RENORM_E, with the carry into
// bytes already written and the byte stuffing of B.1.1.5 done at the end):
// decisions encoded with it decode to themselves, and the decoder stops at
// the marker after the data.
#include "jpeg/arithmetic_decoder.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "jpeg/memory_stream.h"

namespace Tessera {
namespace {

class ReferenceEncoder {
  public:
    void Encode(ArithmeticBin& bin, int decision) {
        const EstimationState& state = EstimationStateAt(bin.state);
        a -= state.qe;
        if (decision != bin.mps) {
            // The LPS takes the upper subinterval unless that is the smaller.
            if (a >= state.qe) {
                Add(a);
                a = state.qe;
            }
            if (state.switchMps) bin.mps = static_cast<std::uint8_t>(1 - bin.mps);
            bin.state = state.nextLps;
        } else {
            if (a >= 0x8000) return;
            if (a < state.qe) {
                Add(a);
                a = state.qe;
            }
            bin.state = state.nextMps;
        }
        while (a < 0x8000) Shift();
    }
    // The interval's lower end in full (the decoder reads zeros after it),
    // stuffed, then EOI.
    std::vector<std::uint8_t> Finish() {
        for (int i = 0; i < 24; ++i) Shift();
        std::vector<std::uint8_t> stuffed;
        for (std::uint8_t byte : out) {
            stuffed.push_back(byte);
            if (byte == 0xFF) stuffed.push_back(0x00);
        }
        stuffed.push_back(0xFF);
        stuffed.push_back(0xD9);
        return stuffed;
    }

  private:
    // C: 16 fraction bits, above them the bits of the byte being formed.
    void Add(std::uint32_t value) {
        c += value;
        const int formed = 16 + 8 - ct;
        if ((c >> formed) == 0) return;
        c &= (1u << formed) - 1;
        for (auto byte = out.rbegin(); byte != out.rend() && ++*byte == 0; ++byte) {
        }
    }
    void Shift() {
        a <<= 1;
        c <<= 1;
        if (--ct > 0) return;
        out.push_back(static_cast<std::uint8_t>(c >> 16));
        c &= 0xFFFF;
        ct = 8;
    }
    std::uint32_t a = 0x10000;
    std::uint32_t c = 0;
    int ct = 8;
    std::vector<std::uint8_t> out;
};

struct Decision {
    unsigned bin;  // 4: the fixed estimate
    int value;
};

std::vector<Decision> Sequence(unsigned count, unsigned oneInEvery, std::uint32_t seed) {
    std::vector<Decision> decisions;
    for (unsigned i = 0; i < count; ++i) {
        seed = seed * 1664525u + 1013904223u;
        const unsigned bin = (seed >> 8) % 5;
        decisions.push_back({bin, (seed >> 16) % oneInEvery == 0 ? 1 : 0});
    }
    return decisions;
}

struct RoundTripCase {
    const char* name;
    std::vector<Decision> decisions;
};

class ArithmeticRoundTrip : public ::testing::TestWithParam<RoundTripCase> {};

TEST_P(ArithmeticRoundTrip, DecodesWhatWasEncodedAndStopsAtTheMarker) {
    const std::vector<Decision>& decisions = GetParam().decisions;
    ReferenceEncoder encoder;
    ArithmeticBin encoding[5]{};
    encoding[4].state = kFixedEstimationState;
    for (const Decision& d : decisions) encoder.Encode(encoding[d.bin], d.value);
    const std::vector<std::uint8_t> bytes = encoder.Finish();

    MemoryStream stream(bytes);
    ArithmeticDecoder decoder(stream);
    decoder.Start();
    ArithmeticBin decoding[4]{};
    for (std::size_t i = 0; i < decisions.size(); ++i) {
        const Decision& d = decisions[i];
        const int value = d.bin == 4 ? decoder.DecodeFixed() : decoder.Decode(decoding[d.bin]);
        ASSERT_EQ(value, d.value) << "decision " << i;
    }
    // The marker stays unread: the stream stands at its 0xFF, or before it
    // when the last bytes were not needed.
    EXPECT_LE(stream.ReadPointer(), bytes.data() + bytes.size() - 2);
    while (stream.ReadCodedByte() >= 0) {
    }
    EXPECT_EQ(stream.ReadPointer(), bytes.data() + bytes.size() - 2);
}

std::vector<Decision> Repeated(Decision decision, unsigned count) {
    return std::vector<Decision>(count, decision);
}

const RoundTripCase kRoundTrips[] = {
    {"AllZeros", Repeated({0, 0}, 3000)},
    {"AllOnes", Repeated({1, 1}, 3000)},
    {"FixedEstimate", Sequence(3000, 2, 11)},
    {"Even", Sequence(5000, 2, 1)},
    {"Skewed", Sequence(5000, 10, 2)},
    {"RarelyOne", Sequence(20000, 300, 3)},
    {"Short", Sequence(3, 2, 4)},
};
INSTANTIATE_TEST_SUITE_P(Sequences, ArithmeticRoundTrip, ::testing::ValuesIn(kRoundTrips),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(ArithmeticDecoder, ReadsZerosPastTheEndOfTheData) {
    // Cut-off data decodes on as if zero bytes followed it.
    ReferenceEncoder encoder;
    ArithmeticBin bins[4]{};
    for (const Decision& d : Sequence(4000, 3, 5)) encoder.Encode(bins[d.bin % 4], d.value);
    std::vector<std::uint8_t> cut = encoder.Finish();
    cut.resize(cut.size() / 2);
    if (cut.back() == 0xFF) cut.pop_back();  // not half a stuffed pair
    std::vector<std::uint8_t> zeros = cut;
    zeros.resize(cut.size() + 8000, 0x00);
    std::vector<int> runs[2];
    for (int i = 0; i < 2; ++i) {
        MemoryStream stream(i == 0 ? cut : zeros);
        ArithmeticDecoder decoder(stream);
        decoder.Start();
        ArithmeticBin decoding[4]{};
        for (unsigned k = 0; k < 8000; ++k) runs[i].push_back(decoder.Decode(decoding[k % 4]));
        EXPECT_EQ(decoder.DataEnded(), i == 0);
    }
    EXPECT_EQ(runs[0], runs[1]);
}

}  // namespace
}  // namespace Tessera
