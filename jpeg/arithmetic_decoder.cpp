#include "arithmetic_decoder.h"

#include <array>

#include "input_byte_stream.h"

namespace Tessera {

namespace {

// T.81 Table D.2.
// Four states a line, as the table reads.
// clang-format off
constexpr std::array<EstimationState, 114> kStates{{
    {0x5A1D, 1, 1, 1},    {0x2586, 2, 14, 0},   {0x1114, 3, 16, 0},   {0x080B, 4, 18, 0},
    {0x03D8, 5, 20, 0},   {0x01DA, 6, 23, 0},   {0x00E5, 7, 25, 0},   {0x006F, 8, 28, 0},
    {0x0036, 9, 30, 0},   {0x001A, 10, 33, 0},  {0x000D, 11, 35, 0},  {0x0006, 12, 9, 0},
    {0x0003, 13, 10, 0},  {0x0001, 13, 12, 0},  {0x5A7F, 15, 15, 1},  {0x3F25, 16, 36, 0},
    {0x2CF2, 17, 38, 0},  {0x207C, 18, 39, 0},  {0x17B9, 19, 40, 0},  {0x1182, 20, 42, 0},
    {0x0CEF, 21, 43, 0},  {0x09A1, 22, 45, 0},  {0x072F, 23, 46, 0},  {0x055C, 24, 48, 0},
    {0x0406, 25, 49, 0},  {0x0303, 26, 51, 0},  {0x0240, 27, 52, 0},  {0x01B1, 28, 54, 0},
    {0x0144, 29, 56, 0},  {0x00F5, 30, 57, 0},  {0x00B7, 31, 59, 0},  {0x008A, 32, 60, 0},
    {0x0068, 33, 62, 0},  {0x004E, 34, 63, 0},  {0x003B, 35, 32, 0},  {0x002C, 9, 33, 0},
    {0x5AE1, 37, 37, 1},  {0x484C, 38, 64, 0},  {0x3A0D, 39, 65, 0},  {0x2EF1, 40, 67, 0},
    {0x261F, 41, 68, 0},  {0x1F33, 42, 69, 0},  {0x19A8, 43, 70, 0},  {0x1518, 44, 72, 0},
    {0x1177, 45, 73, 0},  {0x0E74, 46, 74, 0},  {0x0BFB, 47, 75, 0},  {0x09F8, 48, 77, 0},
    {0x0861, 49, 78, 0},  {0x0706, 50, 79, 0},  {0x05CD, 51, 48, 0},  {0x04DE, 52, 50, 0},
    {0x040F, 53, 50, 0},  {0x0363, 54, 51, 0},  {0x02D4, 55, 52, 0},  {0x025C, 56, 53, 0},
    {0x01F8, 57, 54, 0},  {0x01A4, 58, 55, 0},  {0x0160, 59, 56, 0},  {0x0125, 60, 57, 0},
    {0x00F6, 61, 58, 0},  {0x00CB, 62, 59, 0},  {0x00AB, 63, 61, 0},  {0x008F, 32, 61, 0},
    {0x5B12, 65, 65, 1},  {0x4D04, 66, 80, 0},  {0x412C, 67, 81, 0},  {0x37D8, 68, 82, 0},
    {0x2FE8, 69, 83, 0},  {0x293C, 70, 84, 0},  {0x2379, 71, 86, 0},  {0x1EDF, 72, 87, 0},
    {0x1AA9, 73, 87, 0},  {0x174E, 74, 72, 0},  {0x1424, 75, 72, 0},  {0x119C, 76, 74, 0},
    {0x0F6B, 77, 74, 0},  {0x0D51, 78, 75, 0},  {0x0BB6, 79, 77, 0},  {0x0A40, 48, 77, 0},
    {0x5832, 81, 80, 1},  {0x4D1C, 82, 88, 0},  {0x438E, 83, 89, 0},  {0x3BDD, 84, 90, 0},
    {0x34EE, 85, 91, 0},  {0x2EAE, 86, 92, 0},  {0x299A, 87, 93, 0},  {0x2516, 71, 86, 0},
    {0x5570, 89, 88, 1},  {0x4CA9, 90, 95, 0},  {0x44D9, 91, 96, 0},  {0x3E22, 92, 97, 0},
    {0x3824, 93, 99, 0},  {0x32B4, 94, 99, 0},  {0x2E17, 86, 93, 0},  {0x56A8, 96, 95, 1},
    {0x4F46, 97, 101, 0}, {0x47E5, 98, 102, 0}, {0x41CF, 99, 103, 0}, {0x3C3D, 100, 104, 0},
    {0x375E, 93, 99, 0},  {0x5231, 102, 105, 0}, {0x4C0F, 103, 106, 0}, {0x4639, 104, 107, 0},
    {0x415E, 99, 103, 0}, {0x5627, 106, 105, 1}, {0x50E7, 107, 108, 0}, {0x4B85, 103, 109, 0},
    {0x5597, 109, 110, 0}, {0x504F, 107, 111, 0}, {0x5A10, 111, 110, 1}, {0x5522, 109, 112, 0},
    {0x59EB, 111, 112, 1},
    // Not in Table D.2: the fixed estimate, state 0's Qe with no way out.
    {0x5A1D, 113, 113, 0},
}};
// clang-format on

// A below this needs renormalisation (T.81 D.2.5: A stays at or above 0.75,
// 0x8000 in the 16-bit scale where 0x10000 is 1.5).
constexpr std::uint32_t kHalf = 0x8000;
constexpr int kBitsPerByte = 8;
// Cx: the 16 bits of C above the byte being shifted in.
constexpr int kCxShift = 16;

}  // namespace

const EstimationState& EstimationStateAt(unsigned index) {
    return kStates[index];
}

void ArithmeticDecoder::Start() {
    // T.81 Figure D.22: two bytes into C, A = 1.0.
    c = 0;
    ct = 0;
    ended = false;
    fixed = {kFixedEstimationState, 0};
    ByteIn();
    c <<= kBitsPerByte;
    ByteIn();
    c <<= kBitsPerByte;
    ct = 0;
    a = 0x10000;
}

// T.81 Figure D.24: the next byte enters C above the bits in flight; at a
// marker, or past the end of the data, the bytes are zero.
void ArithmeticDecoder::ByteIn() {
    int byte = ended ? -1 : stream.ReadCodedByte();
    if (byte < 0) {
        ended = true;
        byte = 0;
    }
    c += static_cast<std::uint32_t>(byte) << kBitsPerByte;
    ct = kBitsPerByte;
}

// T.81 Figure D.25.
void ArithmeticDecoder::Renormalise() {
    do {
        if (ct == 0) ByteIn();
        a <<= 1;
        c <<= 1;
        --ct;
    } while (a < kHalf);
}

// T.81 Figures D.20 (DECODE) and D.21 / D.22 (the conditional exchanges),
// with the estimate updates of D.2.5.
int ArithmeticDecoder::Decode(ArithmeticBin& bin) {
    const EstimationState& state = kStates[bin.state];
    const std::uint32_t qe = state.qe;
    a -= qe;
    int decision = bin.mps;
    bool lps = false;
    if ((c >> kCxShift) < a) {
        if (a >= kHalf) return decision;  // MPS, no renormalisation
        lps = a < qe;                     // conditional MPS exchange
    } else {
        lps = a >= qe;  // conditional LPS exchange: the MPS when A < Qe
        c -= a << kCxShift;
        a = qe;
    }
    if (lps) {
        decision = 1 - bin.mps;
        if (state.switchMps) bin.mps = static_cast<std::uint8_t>(1 - bin.mps);
        bin.state = state.nextLps;
    } else {
        bin.state = state.nextMps;
    }
    Renormalise();
    return decision;
}

int ArithmeticDecoder::DecodeFixed() {
    return Decode(fixed);
}

}  // namespace Tessera
