#include "block_smoothing.h"

#include <algorithm>
#include <cstdlib>

#include "quant_table.h"

namespace Tessera {

namespace {

using Kernel = std::array<std::array<int, 5>, 5>;

// One estimate: the coefficient (zigzag index) and the weights of the DC
// values around the block; the weighted sum over 256 is the coefficient
// times its quantizer in DC quantizer steps (the weights are libjpeg's, so
// that pictures smooth as djpeg shows them).
struct Estimate {
    unsigned index;
    Kernel weights;
};

// Some AC coefficients arrived: K.8 of T.81's smoothing widened to 5 × 5,
// for the first two frequencies of each direction.
constexpr std::array<Estimate, 5> kWithAc = {{
    {1,
     {{{0, 0, 0, 0, 0}, {0, 0, 0, 0, 0}, {-7, 50, 0, -50, 7}, {0, 0, 0, 0, 0}, {0, 0, 0, 0, 0}}}},
    {2,
     {{{0, 0, -7, 0, 0}, {0, 0, 50, 0, 0}, {0, 0, 0, 0, 0}, {0, 0, -50, 0, 0}, {0, 0, 7, 0, 0}}}},
    {3,
     {{{0, 0, -1, 0, 0}, {0, 0, 13, 0, 0}, {0, 0, -24, 0, 0}, {0, 0, 13, 0, 0}, {0, 0, -1, 0, 0}}}},
    {4,
     {{{0, -1, 0, 1, 0},
       {-1, 10, 0, -10, 1},
       {0, 0, 0, 0, 0},
       {1, -10, 0, 10, -1},
       {0, 1, 0, -1, 0}}}},
    {5,
     {{{0, 0, 0, 0, 0}, {0, 0, 0, 0, 0}, {-1, 13, -24, 13, -1}, {0, 0, 0, 0, 0}, {0, 0, 0, 0, 0}}}},
}};

// No AC coefficient arrived: a smoother interpolation of the DC values,
// which also estimates the frequencies of order 3 (and the DC value itself,
// kDcKernel).
constexpr std::array<Estimate, 9> kDcOnly = {{
    {1,
     {{{-1, -1, 0, 1, 1},
       {-3, 13, 0, -13, 3},
       {-3, 38, 0, -38, 3},
       {-3, 13, 0, -13, 3},
       {-1, -1, 0, 1, 1}}}},
    {2,
     {{{-1, -3, -3, -3, -1},
       {-1, 13, 38, 13, -1},
       {0, 0, 0, 0, 0},
       {1, -13, -38, -13, 1},
       {1, 3, 3, 3, 1}}}},
    {3,
     {{{0, 0, 1, 0, 0}, {0, 2, 7, 2, 0}, {0, -5, -14, -5, 0}, {0, 2, 7, 2, 0}, {0, 0, 1, 0, 0}}}},
    {4,
     {{{-1, 0, 0, 0, 1}, {0, 9, 0, -9, 0}, {0, 0, 0, 0, 0}, {0, -9, 0, 9, 0}, {1, 0, 0, 0, -1}}}},
    {5,
     {{{0, 0, 0, 0, 0}, {0, 2, -5, 2, 0}, {1, 7, -14, 7, 1}, {0, 2, -5, 2, 0}, {0, 0, 0, 0, 0}}}},
    {6, {{{0, 0, 0, 0, 0}, {0, 1, 0, -1, 0}, {0, 2, 0, -2, 0}, {0, 1, 0, -1, 0}, {0, 0, 0, 0, 0}}}},
    {7, {{{0, 0, 0, 0, 0}, {0, 1, -3, 1, 0}, {0, 0, 0, 0, 0}, {0, -1, 3, -1, 0}, {0, 0, 0, 0, 0}}}},
    {8, {{{0, 0, 0, 0, 0}, {0, 1, 0, -1, 0}, {0, -3, 0, 3, 0}, {0, 1, 0, -1, 0}, {0, 0, 0, 0, 0}}}},
    {9, {{{0, 0, 0, 0, 0}, {0, 1, 2, 1, 0}, {0, 0, 0, 0, 0}, {0, -1, -2, -1, 0}, {0, 0, 0, 0, 0}}}},
}};

// Its weights sum to 256: a flat neighbourhood keeps its DC value.
constexpr Kernel kDcKernel = {{{-2, -6, -8, -6, -2},
                               {-6, 6, 42, 6, -6},
                               {-8, 42, 152, 42, -8},
                               {-6, 6, 42, 6, -6},
                               {-2, -6, -8, -6, -2}}};

// The weights carry 8 fraction bits.
constexpr int kWeightBits = 8;

std::int64_t Weighted(const Kernel& weights, const DcNeighbourhood& dc) {
    std::int64_t sum = 0;
    for (unsigned r = 0; r < 5; ++r)
        for (unsigned c = 0; c < 5; ++c) sum += std::int64_t{weights[r][c]} * dc[r][c];
    return sum;
}

// The weighted sum in DC quantizer steps, as a coefficient in steps of its
// own quantizer: rounded half away from zero, and where the scans have
// brought the bits above Al (all zero, since the coefficient is), kept
// below 2^Al.
std::int16_t Predicted(std::int64_t sum, std::int64_t dcQuantizer, std::int64_t quantizer, int al) {
    const std::int64_t scaled = dcQuantizer * sum;
    const std::int64_t divisor = quantizer << kWeightBits;
    std::int64_t magnitude = (std::abs(scaled) + divisor / 2) / divisor;
    if (al > 0) magnitude = std::min(magnitude, (std::int64_t{1} << al) - 1);
    return static_cast<std::int16_t>(scaled < 0 ? -magnitude : magnitude);
}

// Whether no AC coefficient among the smoothed ones has arrived.
bool DcOnly(const CoefficientBits& bits) {
    return std::all_of(bits.begin() + 1, bits.end(), [](int b) { return b == kNeverCoded; });
}

}  // namespace

void ScanProgress::Reset() {
    for (CoefficientBits& bits : current) bits.fill(kNeverCoded);
    for (CoefficientBits& bits : before) bits.fill(kNeverCoded);
}

void ScanProgress::Record(const ScanHeader& scan, bool firstScan) {
    const unsigned last = kSmoothedCoefficients - 1;
    for (unsigned i = 0; i < scan.componentCount; ++i) {
        const unsigned position = scan.components[i].position;
        // libjpeg keeps the earlier state of the AC coefficients 1 .. 9 at
        // every scan of the component, and of the DC value at its DC scans.
        for (unsigned k = std::min(scan.ss, 1u); k <= last; ++k)
            before[position][k] = firstScan ? 0 : current[position][k];
        for (unsigned k = scan.ss; k <= std::min(scan.se, last); ++k)
            current[position][k] = static_cast<int>(scan.al);
    }
}

SmoothingPlan SmoothingPlan::For(const ScanProgress& progress, unsigned componentCount,
                                 unsigned scansDone, unsigned lastGoodMcuRow) {
    SmoothingPlan plan;
    plan.lastGoodMcuRow = lastGoodMcuRow;
    bool useful = false;
    for (unsigned i = 0; i < componentCount; ++i) {
        const CoefficientBits& bits = progress.Current(i);
        if (bits[0] == kNeverCoded) return {};
        plan.current[i] = bits;
        // After a single scan nothing stood before it.
        plan.before[i] = progress.BeforeLastScan(i);
        if (scansDone <= 1) plan.before[i].fill(kNeverCoded);
        useful = useful || std::any_of(bits.begin() + 1, bits.end(), [](int b) { return b != 0; });
    }
    plan.applies = useful;
    return plan;
}

bool SmoothingPlan::TableAllows(const QuantTable& quant) {
    return std::none_of(quant.values.begin(), quant.values.begin() + kSmoothedCoefficients,
                        [](std::uint16_t v) { return v == 0; });
}

void SmoothBlock(const DcNeighbourhood& dc, const CoefficientBits& bits, const QuantTable& quant,
                 std::int16_t* zigzag) {
    const bool dcOnly = DcOnly(bits);
    const std::int64_t dcQuantizer = quant.values[0];
    const auto estimate = [&](const Estimate& e) {
        // Only coefficients still zero and not known to be exact.
        if (bits[e.index] == 0 || zigzag[e.index] != 0) return;
        zigzag[e.index] =
            Predicted(Weighted(e.weights, dc), dcQuantizer, quant.values[e.index], bits[e.index]);
    };
    if (!dcOnly) {
        for (const Estimate& e : kWithAc) estimate(e);
        return;
    }
    for (const Estimate& e : kDcOnly) estimate(e);
    zigzag[0] = Predicted(Weighted(kDcKernel, dc), dcQuantizer, dcQuantizer, 0);
}

DcWindow::DcWindow(const std::array<const std::int16_t*, 5>& rows, unsigned columns)
    : rows(rows), lastColumn(columns - 1) {
    for (unsigned slot = 0; slot < 5; ++slot) Load(slot, 0);
}

void DcWindow::Load(unsigned slot, unsigned column) {
    for (unsigned r = 0; r < 5; ++r) window[r][slot] = rows[r] == nullptr ? 0 : rows[r][column];
}

const DcNeighbourhood& DcWindow::At(unsigned column) {
    if (column > 0)
        for (auto& row : window) std::copy(row.begin() + 1, row.end(), row.begin());
    // The right-hand columns come in while they lie inside the component;
    // past its edge the window keeps what it held (libjpeg's edge rule,
    // which replicates the last column, or in a component two blocks wide
    // the first).
    if (column == 0 && column < lastColumn) Load(3, 1);
    if (column + 1 < lastColumn) Load(4, column + 2);
    return window;
}

}  // namespace Tessera
