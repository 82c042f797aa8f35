// Entropy decoding of one data unit: the sequential block of T.81 F.2.2 and the
// four progressive passes of G.1.2 / G.2.
#include "coefficient_decoding.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>

#include "bit_reader.h"
#include "bit_window.h"
#include "coefficient_block.h"
#include "huffman_table.h"
#include "quant_table.h"

namespace Tessera {

namespace {

constexpr unsigned kLastIndex = 63;
constexpr unsigned kZeroRun = 0xF0;  // ZRL: sixteen zero coefficients
constexpr unsigned kZeroRunLength = 16;
// Eight-bit samples need DC categories up to 11; the bit reader serves up to
// 15. A larger category can only come from a broken DC table.
constexpr unsigned kMaxDcCategory = 15;

// A DC difference: its category, then that many extra bits (T.81 F.2.2.1).
// Most come in one step with their bits (PeekValue); whatever that cannot
// take, or must report, goes the full way, which reads exactly what the
// stream's own procedure reads.
int DecodeDcDifference(const HuffmanTable& table, BitReader& bits) {
    const HuffmanTable::QuickValue quick = bits.PeekValue(table);
    if (quick.length != 0 && quick.symbol <= kMaxDcCategory) {
        bits.Skip(quick.length);
        return quick.value;
    }
    const unsigned s = bits.DecodeSymbol(table);
    if (s > kMaxDcCategory) throw JpegBadStream("Invalid DC Difference Category");
    return bits.ReadExtended(static_cast<int>(s));
}

// Bits first .. last of a mask over a block's 64 coefficients.
std::uint64_t BandMask(unsigned first, unsigned last) {
    const std::uint64_t upTo = last >= 63 ? ~std::uint64_t{0} : (std::uint64_t{2} << last) - 1;
    return upTo & (~std::uint64_t{0} << first);
}

constexpr std::uint64_t kEveryByte = 0x0101010101010101;

// Byte i of the result: the set bits of x in bytes 0 to i (SWAR counts of
// pairs, nibbles and bytes; the multiplication adds each byte's count into
// every byte above it). The top byte is the count of the whole word.
std::uint64_t SetBitsUpToEachByte(std::uint64_t x) {
    std::uint64_t counts = x - ((x >> 1) & 0x5555555555555555);
    counts = (counts & 0x3333333333333333) + ((counts >> 2) & 0x3333333333333333);
    return ((counts + (counts >> 4)) & 0x0F0F0F0F0F0F0F0F) * kEveryByte;
}

unsigned CountSetBits(std::uint64_t x) {
    return static_cast<unsigned>(SetBitsUpToEachByte(x) >> 56);
}

// kSetBitsOfByte[b][i]: the position of set bit number i of the byte b
// (zero past the last).
constexpr auto kSetBitsOfByte = [] {
    std::array<std::array<std::uint8_t, 8>, 256> table{};
    for (unsigned byte = 0; byte < 256; ++byte) {
        unsigned found = 0;
        for (std::uint8_t bit = 0; bit < 8; ++bit)
            if ((byte >> bit & 1) != 0) table[byte][found++] = bit;
    }
    return table;
}();

// The position of the zero coefficient that follows `skipped` zero ones from
// position `from` on (a set bit of nonZero marks a non-zero coefficient); 64
// when the block has no such zero.
unsigned ZeroAfter(std::uint64_t nonZero, unsigned from, unsigned skipped) {
    std::uint64_t zeros = ~nonZero & (~std::uint64_t{0} << from);
    for (unsigned i = 0; i < skipped && zeros != 0; ++i) zeros &= zeros - 1;
    return zeros == 0 ? 64 : static_cast<unsigned>(std::countr_zero(zeros));
}

// Coefficients live in 16 bits and their arithmetic wraps there.
std::int16_t To16(std::int32_t value) {
    return static_cast<std::int16_t>(value);
}

// Adds a DC difference; the predictor wraps to 16 bits like the
// coefficients it feeds, which keeps a hostile run of differences defined.
void AddToDcPredictor(int& predictor, int difference) {
    predictor = To16(static_cast<std::int32_t>(static_cast<std::uint32_t>(predictor) +
                                               static_cast<std::uint32_t>(difference)));
}

// A correction bit of 1 moves the (non-zero) coefficient away from zero by
// `step` (the bits are random, so this is done without branches: sign is 0 or
// -1, and (x ^ sign) - sign is x or -x).
void MoveAwayFromZero(std::int16_t& coefficient, int step) {
    const int sign = coefficient < 0 ? -1 : 0;
    coefficient = To16(coefficient + ((step ^ sign) - sign));
}

// A correction bit of successive-approximation refinement on a non-zero coefficient.
void RefineCoefficient(BitReader& bits, std::int16_t& coefficient, int bit) {
    MoveAwayFromZero(coefficient, bits.ReadBit() * bit);
}

// The AC coefficients of a sequential block from zigzag position k on,
// through the reader's careful reads. A position past the block is reported
// after the code and before its extra bits, as the stream's own reads would.
void DecodeAcCarefully(BitReader& bits, const HuffmanTable& ac, std::int16_t* block, unsigned k) {
    while (k <= kLastIndex) {
        const HuffmanTable::QuickValue quick = bits.PeekValue(ac);
        const unsigned r = quick.symbol >> 4;
        if (quick.length != 0 && k + r <= kLastIndex) {
            bits.Skip(quick.length);
            if ((quick.symbol & 15) != 0) {
                k += r;
                block[ZigzagToNatural[k]] = quick.value;
                ++k;
                continue;
            }
            if (quick.symbol != kZeroRun) return;  // end of block
            k += kZeroRunLength;
            continue;
        }
        const unsigned symbol = bits.DecodeSymbol(ac);
        const unsigned run = symbol >> 4;
        const int size = static_cast<int>(symbol & 15);
        if (size == 0) {
            if (symbol != kZeroRun) return;  // end of block
            k += kZeroRunLength;
            continue;
        }
        k += run;
        if (k > kLastIndex) throw JpegBadStream("Coefficient Index out of Range");
        block[ZigzagToNatural[k]] = To16(bits.ReadExtended(size));
        ++k;
    }
}

// Returned by the quick decoding when the block is complete.
constexpr unsigned kBlockDone = kLastIndex + 1;

// A DC difference through a window; false when it must be read carefully
// (no plain data for it, or a code that the careful reads report).
bool DecodeDcQuickly(BitWindow& window, const HuffmanTable& table, int& difference) {
    if (!window.Ensure()) return false;
    const HuffmanTable::QuickValue quick =
        table.LookupValue(window.Peek(HuffmanTable::kMaxCodeLength));
    if (quick.length != 0 && quick.symbol <= kMaxDcCategory) {
        window.Consume(quick.length);
        difference = quick.value;
        return true;
    }
    const HuffmanTable::Match match = table.Lookup(window.Peek(HuffmanTable::kMaxCodeLength));
    if (match.length == 0 || match.symbol > kMaxDcCategory) return false;
    window.Consume(match.length);
    difference = window.TakeExtended(match.symbol);
    return true;
}

// A code whose bits the quick look-up does not hold (longer than its bits,
// or with extra bits past them) and its extra bits, through a window holding
// at least BitWindow::kSymbolBits, nothing consumed: from the code's match
// and the bits after it. length 0: no code matches. Inlined where it is
// used: a call would take the window out of registers for the whole block
// loop around it (sequential decodes were 6 % slower).
[[gnu::always_inline]] inline HuffmanTable::QuickValue PeekLongCode(const BitWindow& window,
                                                                    const HuffmanTable& table) {
    const HuffmanTable::Match match = table.Lookup(window.Peek(HuffmanTable::kMaxCodeLength));
    if (match.length == 0) return {0, 0, 0};
    const int size = match.symbol & 15, length = match.length + size;
    const std::uint32_t extra = size == 0 ? 0 : window.Peek(length) & ((1u << size) - 1);
    return {static_cast<std::int16_t>(size == 0 ? 0 : Extend(extra, size)), match.symbol,
            static_cast<std::uint8_t>(length)};
}

// One AC code whose bits the quick look-up does not hold, at position k:
// the position after it, kBlockDone at the end of the block, or k itself
// (nothing taken) when the careful reads must take it: no code matches, or
// the position would pass the block, which they report or end the block at.
unsigned DecodeLongAc(BitWindow& window, const HuffmanTable& ac, std::int16_t* block, unsigned k) {
    if (!window.Ensure()) return k;
    const HuffmanTable::QuickValue code = PeekLongCode(window, ac);
    if (code.length == 0) return k;
    const unsigned run = code.symbol >> 4;
    const int size = code.symbol & 15;
    if (size == 0 && code.symbol != kZeroRun) {
        window.Consume(code.length);
        return kBlockDone;
    }
    const unsigned next = k + (size == 0 ? kZeroRunLength : run + 1);
    if (next > kLastIndex + 1) return k;
    window.Consume(code.length);
    block[ZigzagToNatural[next - 1]] = code.value;
    return next;
}

// AC coefficients through a window from position 1 on: the position reached
// when the careful reads must go on, kBlockDone when the block is complete.
// A look-up takes one or two codes (QuickSteps); one comparison for each
// finds the end of the block, an end-of-block code and a code that the
// look-up does not hold.
unsigned DecodeAcQuickly(BitWindow& window, const HuffmanTable& ac, std::int16_t* block) {
    unsigned k = 1;
    for (;;) {
        if (!window.Ensure(HuffmanTable::kQuickBits)) return k;
        const HuffmanTable::QuickSteps steps =
            ac.LookupSteps(window.Peek(HuffmanTable::kQuickBits));
        const unsigned next = k + steps.firstAdvance;
        if (next > kLastIndex) [[unlikely]] {
            if (steps.firstAdvance == HuffmanTable::kEndOfBlock) {
                window.Consume(steps.firstLength);
                return kBlockDone;
            }
            if (steps.firstAdvance == HuffmanTable::kNotQuick) {
                const unsigned after = DecodeLongAc(window, ac, block, k);
                if (after == k || after == kBlockDone) return after;
                k = after;
                continue;
            }
            if (next > kLastIndex + 1) return k;  // past the block
            window.Consume(steps.firstLength);    // up to its last position
            block[ZigzagToNatural[kLastIndex]] = steps.firstValue;
            return kBlockDone;
        }
        block[ZigzagToNatural[next - 1]] = steps.firstValue;
        const unsigned after = next + steps.secondAdvance;
        if (after > kLastIndex) [[unlikely]] {
            if (steps.secondAdvance == HuffmanTable::kEndOfBlock) {
                window.Consume(steps.length);
                return kBlockDone;
            }
            if (after > kLastIndex + 1) {  // the second passes the block
                window.Consume(steps.firstLength);
                k = next;
                continue;
            }
            window.Consume(steps.length);
            block[ZigzagToNatural[kLastIndex]] = steps.secondValue;
            return kBlockDone;
        }
        window.Consume(steps.length);
        block[ZigzagToNatural[after - 1]] = steps.secondValue;
        k = after;
    }
}

// A whole block through a window: 0 when not even the DC difference could
// be read that way, else as DecodeAcQuickly.
unsigned DecodeBlockQuickly(BitWindow& window, const HuffmanTable& dc, const HuffmanTable& ac,
                            int& predictor, std::int16_t* block) {
    int difference = 0;
    if (!DecodeDcQuickly(window, dc, difference)) return 0;
    AddToDcPredictor(predictor, difference);
    block[0] = To16(predictor);
    return DecodeAcQuickly(window, ac, block);
}

// The next AC code of a first pass and its extra bits, through a window
// holding at least BitWindow::kSymbolBits: from the look-up, or else
// PeekLongCode. length 0: no code matches.
HuffmanTable::QuickValue PeekAcCode(const BitWindow& window, const HuffmanTable& ac) {
    const HuffmanTable::QuickValue quick =
        ac.LookupValue(window.Peek(HuffmanTable::kMaxCodeLength));
    if (quick.length != 0) [[likely]]
        return quick;
    return PeekLongCode(window, ac);
}

// A first pass of a block's band (T.81 G.1.2.2) through a window, as
// DecodeAcFirst: the position reached when the careful reads must go on
// (the data runs short, no code matches, a run passes the block, which they
// report), kBlockDone when the band is done.
unsigned DecodeAcFirstQuickly(BitWindow& window, const HuffmanTable& ac, unsigned& eobRun,
                              std::int16_t* block, unsigned ss, unsigned se, unsigned al) {
    unsigned k = ss;
    while (k <= se) {
        if (!window.Ensure()) return k;
        const HuffmanTable::QuickValue code = PeekAcCode(window, ac);
        const unsigned r = code.symbol >> 4;
        if (code.length == 0) return k;
        if ((code.symbol & 15) != 0) {
            if (k + r > kLastIndex) return k;
            window.Consume(code.length);
            k += r;
            block[k] =
                To16(static_cast<std::int32_t>(static_cast<std::uint32_t>(code.value) << al));
            ++k;
            continue;
        }
        window.Consume(code.length);
        if (r == 15) {
            k += kZeroRunLength;
            continue;
        }
        // End of band, as below (Ensure holds the code and its r bits).
        if (r > 0) eobRun = (1u << r) + window.Peek(static_cast<int>(r)) - 1;
        window.Consume(static_cast<int>(r));
        return kBlockDone;
    }
    return k;
}

// The positions of the zero coefficients set in `zeros`, in increasing
// order, then 64s: at least sixteen, as far as a code can skip. `list` holds
// 80 bytes. Byte by byte, without a branch: each byte's positions come from
// the table and go where the counts of the bytes below end.
void ListZeros(std::uint64_t zeros, std::uint8_t* list) {
    const std::uint64_t counts = SetBitsUpToEachByte(zeros);
    unsigned listed = 0;
    for (unsigned i = 0; i < 8; ++i) {
        std::uint64_t positions = 0;
        std::memcpy(&positions, kSetBitsOfByte[(zeros >> (8 * i)) & 0xFF].data(), 8);
        positions += i * (8 * kEveryByte);  // bit j of byte i is position 8i + j
        std::memcpy(list + listed, &positions, 8);
        listed = static_cast<unsigned>(counts >> (8 * i)) & 0xFF;
    }
    std::memset(list + listed, 64, 16);
}

// The correction bits of a block's non-zero coefficients, gathered while the
// codes are read (one per coefficient, in position order; a band holds at
// most 63) and applied once, when the window stops.
struct Corrections {
    std::uint64_t bits = 0;
    int count = 0;

    // Takes the next `n` bits of the window (n <= kMostBits, at hand).
    void Gather(BitWindow& window, int n) {
        // Shifted in two steps so that n = 0 takes nothing.
        bits = (bits << n) | ((window.PeekAll() >> 1) >> (63 - n));
        count += n;
        window.Consume(n);
    }
    // Applies them to the non-zero coefficients at `positions` (count of them).
    void Apply(std::int16_t* block, std::uint64_t positions, int bit) const {
        if (bits == 0) return;  // no coefficient moves
        std::uint64_t next = bits << (64 - count);
        for (; positions != 0; positions &= positions - 1, next <<= 1)
            MoveAwayFromZero(block[std::countr_zero(positions)],
                             static_cast<int>(next >> 63) * bit);
    }
};

// A refinement's next code from the window: a move (not yet consumed), an
// end of band (consumed, its run started: the run begins with the rest of
// this block, its length in `step.run` more bits, at hand after Ensure), or
// kOtherRefinement where the quick pass stops (bits not at hand, or a code
// left to the careful reads).
HuffmanTable::RefinementStep NextRefinementStep(BitWindow& window, const HuffmanTable& ac,
                                                unsigned& eobRun) {
    if (!window.Ensure()) return {HuffmanTable::kOtherRefinement, 0, 0, 0};
    const HuffmanTable::RefinementStep step =
        ac.LookupRefinement(window.Peek(HuffmanTable::kQuickBits));
    if (step.kind == HuffmanTable::kEndOfBand) {
        window.Consume(step.length);
        eobRun = (1u << step.run) + (step.run == 0 ? 0 : window.Peek(step.run));
        window.Consume(step.run);
    }
    return step;
}

// A refinement pass through a window, code by code, as far as the window
// goes: returns the position reached, past se when the band is done. It
// stops before a code whose bits (with its sign and correction bits) are not
// all at hand, and before anything the careful reads report or handle
// rarely (no matching code, a bad size, a run past the band); the careful
// reads go on from there with the block, nonZero and eobRun as left.
//
// A run counts zero coefficients only, and the non-zero ones it passes take
// correction bits. Up to the band's last non-zero coefficient the zero ones
// are looked up in a list; past it, every position is a zero one and passes
// no bits, so a run is an addition and the next code's look-up does not wait
// for the list.
unsigned RefineAcQuickly(BitWindow& window, const HuffmanTable& ac, unsigned& eobRun,
                         std::int16_t* block, std::uint64_t& nonZero, unsigned ss, unsigned se,
                         int bit) {
    const std::uint64_t refinable = nonZero;
    Corrections corrections;
    unsigned k = ss;
    const auto stop = [&](unsigned at) {
        corrections.Apply(block, refinable & BandMask(ss, at - 1), bit);
        return at;
    };
    const std::uint64_t band = refinable & BandMask(ss, se);
    const unsigned listedEnd = band == 0 ? 0 : 64 - static_cast<unsigned>(std::countl_zero(band));
    // The zero coefficients ahead, in order; `zero` indexes the next one. A
    // block that an end-of-band run covers reads no code and needs none.
    std::uint8_t zeros[80];
    if (eobRun == 0 && band != 0) ListZeros(~nonZero & BandMask(ss, kLastIndex), zeros);
    unsigned zero = 0;
    while (k < listedEnd) {
        if (eobRun != 0) {
            const auto count = static_cast<int>(CountSetBits(refinable & BandMask(k, se)));
            if (count > BitWindow::kMostBits || !window.Ensure(count)) return stop(k);
            corrections.Gather(window, count);
            --eobRun;
            return stop(se + 1);
        }
        const HuffmanTable::RefinementStep step = NextRefinementStep(window, ac, eobRun);
        if (step.kind != HuffmanTable::kMoveRefinement) [[unlikely]] {
            if (step.kind != HuffmanTable::kEndOfBand) return stop(k);
            continue;
        }
        // A new coefficient after `run` zero ones, or sixteen zero ones (the
        // last of them at `at`); the non-zero ones passed take correction bits.
        const unsigned at = zeros[zero + step.run];
        if (at > se) return stop(k);
        const auto count = static_cast<int>(at - k - step.run);
        const int bits = step.length + count;
        if (bits > BitWindow::kMostBits || !window.Ensure(bits)) return stop(k);
        window.Consume(step.length);
        block[at] = To16(step.sign * bit);  // a zero run's sign 0 leaves a zero one zero
        nonZero |= std::uint64_t{step.sign != 0} << at;
        corrections.Gather(window, count);
        zero += step.run + 1u;
        k = at + 1;
    }
    // Past the last non-zero coefficient: the same steps without the list,
    // up to the band's end or an end-of-band run, which has nothing left
    // here to correct.
    while (k <= se && eobRun == 0) {
        const HuffmanTable::RefinementStep step = NextRefinementStep(window, ac, eobRun);
        if (step.kind == HuffmanTable::kEndOfBand) continue;
        if (step.kind != HuffmanTable::kMoveRefinement) return stop(k);
        const unsigned at = k + step.run;
        if (at > se) return stop(k);
        window.Consume(step.length);
        block[at] = To16(step.sign * bit);
        nonZero |= std::uint64_t{step.sign != 0} << at;
        k = at + 1;
    }
    if (k > se) return stop(k);
    --eobRun;
    return stop(se + 1);
}

}  // namespace

void DecodeSequentialBlock(BitReader& bits, const HuffmanTable& dc, const HuffmanTable& ac,
                           int& predictor, std::int16_t* block) {
    ClearBlock(block);
    unsigned k = 0;
    {
        BitWindow window(bits);
        k = DecodeBlockQuickly(window, dc, ac, predictor, block);
    }
    if (k > kLastIndex) return;
    if (k == 0) {
        AddToDcPredictor(predictor, DecodeDcDifference(dc, bits));
        block[0] = To16(predictor);
        k = 1;
    }
    DecodeAcCarefully(bits, ac, block, k);
}

std::int16_t DecodeDcFirst(BitReader& bits, const HuffmanTable& dc, int& predictor, unsigned al) {
    AddToDcPredictor(predictor, DecodeDcDifference(dc, bits));
    return To16(static_cast<std::int32_t>(static_cast<std::uint32_t>(predictor) << al));
}

void RefineDc(BitReader& bits, std::int16_t& dc, unsigned al) {
    if (bits.ReadBit() == 0) return;
    dc = To16(static_cast<std::uint16_t>(dc) | (1u << al));
}

void DecodeAcFirst(BitReader& bits, const HuffmanTable& ac, unsigned& eobRun, std::int16_t* block,
                   unsigned ss, unsigned se, unsigned al) {
    unsigned k = ss;
    {
        BitWindow window(bits);
        k = DecodeAcFirstQuickly(window, ac, eobRun, block, ss, se, al);
    }
    while (k <= se) {
        // A coefficient and its extra bits in one step where the table has
        // them; the rest, and what must be reported, go the full way below.
        const HuffmanTable::QuickValue quick = bits.PeekValue(ac);
        if (quick.length != 0 && (quick.symbol & 15) != 0 &&
            k + (quick.symbol >> 4) <= kLastIndex) {
            bits.Skip(quick.length);
            k += quick.symbol >> 4;
            block[k] =
                To16(static_cast<std::int32_t>(static_cast<std::uint32_t>(quick.value) << al));
            ++k;
            continue;
        }
        const unsigned symbol = bits.DecodeSymbol(ac);
        const unsigned r = symbol >> 4;
        const int size = static_cast<int>(symbol & 15);
        if (size != 0) {
            k += r;
            if (k > kLastIndex) throw JpegBadStream("Data out of range");
            const std::int32_t value = bits.ReadExtended(size);
            block[k] = To16(static_cast<std::int32_t>(static_cast<std::uint32_t>(value) << al));
            ++k;
        } else if (r == 15) {
            k += kZeroRunLength;
        } else {
            // End of band; with r > 0 the run also covers the next blocks,
            // this one counting as its first.
            if (r > 0) eobRun = (1u << r) + bits.ReadBits(static_cast<int>(r)) - 1;
            return;
        }
    }
}

void RefineAc(BitReader& bits, const HuffmanTable& ac, unsigned& eobRun, std::int16_t* block,
              unsigned ss, unsigned se, unsigned al) {
    const int bit = 1 << al;
    // The block's non-zero coefficients as a mask: passing over coefficients
    // reads a correction bit for each non-zero one, in order, and counts the
    // zero ones, so whole stretches are found with a few bit operations.
    // Positions are visited once each, in increasing order, so the mask of
    // the positions still ahead stays exact.
    std::uint64_t nonZero = NonZeroCoefficients(block);
    unsigned k = ss;
    {
        BitWindow window(bits);
        k = RefineAcQuickly(window, ac, eobRun, block, nonZero, ss, se, bit);
    }
    const auto refine = [&](std::uint64_t positions) {
        for (; positions != 0; positions &= positions - 1)
            RefineCoefficient(bits, block[std::countr_zero(positions)], bit);
    };

    while (k <= se) {
        if (eobRun != 0) {
            // The rest of the band takes correction bits only.
            refine(nonZero & BandMask(k, se));
            --eobRun;
            return;
        }
        const unsigned symbol = bits.DecodeSymbol(ac);
        const unsigned r = symbol >> 4;
        const unsigned size = symbol & 15;
        if (size == 1) {
            // A newly significant coefficient at the first zero one after r
            // zero coefficients; the non-zero ones passed get correction bits.
            const int sign = bits.ReadBit();
            const unsigned at = ZeroAfter(nonZero, k, r);
            if (at > se) {
                refine(nonZero & BandMask(k, se));
                throw JpegBadStream("Error in progressive scan");
            }
            if (at > k) refine(nonZero & BandMask(k, at - 1));
            block[at] = To16(sign ? bit : -bit);
            nonZero |= std::uint64_t{1} << at;
            k = at + 1;
        } else if (size == 0 && r == 15) {
            // Sixteen zero coefficients, refining the non-zero ones between them.
            const unsigned last = ZeroAfter(nonZero, k, kZeroRunLength - 1);
            if (last >= se) {
                refine(nonZero & BandMask(k, se));
                return;
            }
            refine(nonZero & BandMask(k, last));
            k = last + 1;
        } else if (size == 0) {
            // End of band: the run starts with the rest of this block.
            eobRun = (1u << r) + bits.ReadBits(static_cast<int>(r));
        } else {
            throw JpegBadStream("Invalid value in input stream");
        }
    }
}

}  // namespace Tessera
