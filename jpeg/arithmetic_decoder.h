#pragma once

#include <cstdint>

namespace Tessera {

class InputByteStream;

// A state of T.81 Table D.2, the probability estimation state machine: Qe,
// the state after an MPS and after an LPS, and whether an LPS exchanges the
// sense of the MPS.
struct EstimationState {
    std::uint16_t qe;
    std::uint8_t nextMps;
    std::uint8_t nextLps;
    std::uint8_t switchMps;
};
// States 0 .. 112 of Table D.2, and 113: the fixed estimate.
const EstimationState& EstimationStateAt(unsigned index);
inline constexpr std::uint8_t kFixedEstimationState = 113;

// One statistics bin of an adaptive binary model (T.81 D.1.2): where in the
// probability estimation state machine (Table D.2) it stands and which
// decision is currently the more probable one. Zero is the initial state.
struct ArithmeticBin {
    std::uint8_t state = 0;
    std::uint8_t mps = 0;
};

// The binary arithmetic decoder of T.81 D.2: the interval register A, the
// code register C and the bit counter CT, fed with the scan's bytes in byte
// mode. At a marker, and past the end of the data, it is fed zero bytes and
// leaves the marker unread (the convention other decoders follow, so data
// that ends early decodes as zeros rather than failing).
class ArithmeticDecoder {
  public:
    explicit ArithmeticDecoder(InputByteStream& stream) : stream(stream) {}

    // INITDEC (T.81 D.2.7): at the start of a scan and after each restart
    // marker.
    void Start();
    // DECODE (T.81 D.2.4, D.2.5): one decision, adapting the bin.
    int Decode(ArithmeticBin& bin);
    // A decision under the fixed estimate (Qe 0x5A1D, never adapted) that
    // T.81 uses for AC signs and successive approximation bits.
    int DecodeFixed();
    // Whether the data ended (a marker or the end of the stream was met).
    bool DataEnded() const { return ended; }

  private:
    void Renormalise();
    void ByteIn();

    InputByteStream& stream;
    // A holds the interval's size; 0x10000 stands for 1.0 (T.81 D.2.7
    // sets A to 0 in a 16-bit register, which is the same).
    std::uint32_t a = 0;
    // C: the code register; its upper 16 bits (Cx) are compared with A and
    // the data bytes enter below them.
    std::uint32_t c = 0;
    int ct = 0;
    bool ended = false;
    ArithmeticBin fixed{};
};

}  // namespace Tessera
