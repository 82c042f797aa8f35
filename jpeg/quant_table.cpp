#include "quant_table.h"

#include "input_byte_stream.h"
#include "tessera/jpeg.h"

namespace Tessera {

namespace {

// S(u,v) = 1 / (8 · c(u) · c(v)) with c(0) = 1 and c(k) = √2 · cos(kπ/16), so that
// c(4) = 1 exactly. Each entry is the double nearest to the exact value, worked
// out in 60-digit decimal arithmetic; with these, the truncated double product
// q · S · 4096 is the exact integer part for every q from 1 to 255. (Forming
// c(4) as √2 · cos(π/4) in doubles lands just above 1 and loses one unit in
// rows and columns 4.)
constexpr double kScale[64] = {
    0.125,
    0.09011997775086848,
    0.09567085809127245,
    0.10630376184590705,
    0.125,
    0.15909482257160423,
    0.23096988312782168,
    0.45306372317644394,
    0.09011997775086848,
    0.06497288311853625,
    0.06897484482073575,
    0.07664074121909413,
    0.09011997775086848,
    0.11470097496345076,
    0.1665200058287999,
    0.32664074121909414,
    0.09567085809127245,
    0.06897484482073575,
    0.07322330470336312,
    0.08136137691302557,
    0.09567085809127245,
    0.12176590554643293,
    0.1767766952966369,
    0.3467599613305369,
    0.10630376184590705,
    0.07664074121909413,
    0.08136137691302557,
    0.0904039182607306,
    0.10630376184590705,
    0.13529902503654925,
    0.19642373959677553,
    0.3852990250365492,
    0.125,
    0.09011997775086848,
    0.09567085809127245,
    0.10630376184590705,
    0.125,
    0.15909482257160423,
    0.23096988312782168,
    0.45306372317644394,
    0.15909482257160423,
    0.11470097496345076,
    0.12176590554643293,
    0.13529902503654925,
    0.15909482257160423,
    0.20248930055272188,
    0.29396890060483966,
    0.5766407412190941,
    0.23096988312782168,
    0.1665200058287999,
    0.1767766952966369,
    0.19642373959677553,
    0.23096988312782168,
    0.29396890060483966,
    0.42677669529663687,
    0.8371526015321521,
    0.45306372317644394,
    0.32664074121909414,
    0.3467599613305369,
    0.3852990250365492,
    0.45306372317644394,
    0.5766407412190941,
    0.8371526015321521,
    1.6421338980680114,
};

constexpr double kFractionScale = 4096.0;  // 12 fraction bits

}  // namespace

void QuantTable::LoadTable(InputByteStream& stream, unsigned precision, bool lenient) {
    if (precision == 1 && !lenient) throw JpegBadStream("Only 8-bit Data is Supported");
    if (precision > 1) throw JpegBadStream("Invalid Quantization Table Precision");
    bool zero = false;
    for (auto& value : values) {
        value = precision == 0 ? stream.ReadByte() : stream.ReadBigEndian16();
        if (value == 0 && !lenient) throw JpegBadStream("Zero value in quantization table");
        zero = zero || value == 0;
    }
    hasZero = zero;
    // Up to 65535 × 1.64 × 4096: well within 32 bits.
    ComputeMultipliers();
    defined = true;
    sixteenBit = precision == 1;
}

void QuantTable::ComputeMultipliers() {
    std::array<std::int32_t, 64> scaled{};
    for (int n = 0; n < 64; ++n) {
        natural[n] = values[NaturalToZigzag[n]];
        scaled[n] = static_cast<std::int32_t>(natural[n] * kScale[n] * kFractionScale);
    }
    multipliers = SplitMultipliers(scaled);
}

}  // namespace Tessera
