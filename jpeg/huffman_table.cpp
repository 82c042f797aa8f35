#include "huffman_table.h"

#include <algorithm>
#include <cstring>

#include "input_byte_stream.h"
#include "tessera/jpeg.h"

namespace Tessera {

namespace {

// ZRL, sixteen zero coefficients (T.81 F.1.2.2.1), steps over all of them.
constexpr std::uint8_t kZeroRunSymbol = 0xF0;
constexpr std::uint8_t kZeroRunAdvance = 16;

// Sets every entry to `value`, with wide copies of the entries set so far:
// a fill entry by entry stored each small struct field by field, which took
// a third of a table's making.
template <typename Entry, std::size_t kCount>
void FillEntries(std::array<Entry, kCount>& entries, Entry value) {
    entries[0] = value;
    for (std::size_t done = 1; done < kCount; done *= 2)
        std::memcpy(&entries[done], &entries[0], std::min(done, kCount - done) * sizeof(Entry));
}

}  // namespace

int HuffmanTable::LoadTable(InputByteStream& stream) {
    // Counts cut off by the end of the data stay zero, as ReadByte gives.
    std::array<std::uint8_t, kMaxCodeLength> counts{};
    stream.ReadBlock(counts.data(), counts.size());
    unsigned total = 0;
    for (const std::uint8_t count : counts) total += count;
    if (total > kMaxSymbols) throw JpegBadStream("Huffman count > 256");

    std::array<std::uint8_t, kMaxSymbols> values{};
    for (unsigned i = 0; i < total; ++i) values[i] = stream.ReadByte();
    // Worked out before the table changes: a table refused keeps its earlier
    // state. It is then made in place (a copy of a made one costs as much as
    // a fifth of the making).
    const std::optional<CodeArrays> computed = ComputeCodes(counts);
    if (!computed) throw JpegBadStream("Bad Huffman Table");
    codes = *computed;
    symbols = values;
    ComputeQuickMatches();
    // The steps wait for a scan that asks for them (MakeSequentialSteps,
    // MakeRefinementSteps); until then their look-ups go the careful way.
    FillEntries(quickSteps, {0, 0, kNotQuick, 0, 0, 0});
    FillEntries(refinementSteps, {kOtherRefinement, 0, 0, 0});
    sequentialStepsMade = false;
    refinementStepsMade = false;
    defined = true;
    return kMaxCodeLength + static_cast<int>(total);
}

std::optional<HuffmanTable::CodeArrays> HuffmanTable::ComputeCodes(
    const std::array<std::uint8_t, kMaxCodeLength>& counts) {
    // T.81 Figure C.2, one code length at a time: the codes of a length are
    // consecutive, and the first code of the next length is the one after the
    // last, doubled once per length step (also across lengths without codes).
    // All n codes of a length must fit in its bits, or two codes would share
    // a prefix and decoding could index past the symbols.
    CodeArrays arrays;
    std::uint32_t code = 0;
    int position = 0;
    for (int length = 1; length <= kMaxCodeLength; ++length) {
        const int n = counts[length - 1];
        if (n == 0) {
            arrays.maxcode[length - 1] = -1;
        } else {
            if (arrays.shortestLength == 0) arrays.shortestLength = length;
            arrays.valptr[length - 1] = static_cast<std::uint8_t>(position);
            arrays.mincode[length - 1] = static_cast<std::int32_t>(code);
            code += n;
            position += n;
            if (code > (1u << length)) return std::nullopt;
            arrays.maxcode[length - 1] = static_cast<std::int32_t>(code - 1);
        }
        code <<= 1;
    }
    return arrays;
}

HuffmanTable::Match HuffmanTable::Search(std::uint32_t bits, int from, int to) const {
    for (int length = from; length <= to; ++length) {
        const auto code = static_cast<std::int32_t>(bits >> (kMaxCodeLength - length));
        if (code <= codes.maxcode[length - 1])
            return {symbols[codes.valptr[length - 1] + code - codes.mincode[length - 1]],
                    static_cast<std::uint8_t>(length)};
    }
    return {0, 0};
}

HuffmanTable::Match HuffmanTable::LookupLong(std::uint32_t bits) const {
    if (codes.shortestLength == 0) return {0, 0};
    return Search(bits, std::max(codes.shortestLength, kQuickBits + 1), kMaxCodeLength);
}

void HuffmanTable::ComputeQuickMatches() {
    FillEntries(quickMatches, {0, 0});
    FillEntries(quickValues, {0, 0, 0});
    // The codes of one length are consecutive, from mincode to maxcode
    // (Figure C.2), and each covers the look-up entries that begin with it.
    for (int length = 1; length <= kQuickBits; ++length) {
        const int i = length - 1;
        for (std::int32_t code = codes.mincode[i]; code <= codes.maxcode[i]; ++code)
            FillQuickEntries(static_cast<std::uint32_t>(code), length,
                             symbols[codes.valptr[i] + code - codes.mincode[i]]);
    }
}

void HuffmanTable::MakeSequentialSteps() {
    if (sequentialStepsMade) return;
    ComputeQuickSteps();
    sequentialStepsMade = true;
}

void HuffmanTable::MakeRefinementSteps() {
    if (refinementStepsMade) return;
    ComputeRefinementSteps();
    refinementStepsMade = true;
}

void HuffmanTable::FillQuickEntries(std::uint32_t code, int length, std::uint8_t symbol) {
    const int rest = kQuickBits - length;  // the bits after the code
    const int size = symbol & 15;
    if (length + size > kQuickBits) {
        for (std::uint32_t after = 0; after < (1u << rest); ++after)
            quickMatches[code << rest | after] = {symbol, static_cast<std::uint8_t>(length)};
        return;
    }
    const auto total = static_cast<std::uint8_t>(length + size);
    for (std::uint32_t after = 0; after < (1u << rest); ++after) {
        const std::uint32_t prefix = code << rest | after;
        quickMatches[prefix] = {symbol, static_cast<std::uint8_t>(length)};
        const auto value = static_cast<std::int16_t>(Extend(after >> (rest - size), size));
        quickValues[prefix] = {value, symbol, total};
    }
}

namespace {

// How far a sequential block's step goes (see QuickSteps).
std::uint8_t StepAdvance(std::uint8_t symbol) {
    if ((symbol & 15) != 0) return static_cast<std::uint8_t>((symbol >> 4) + 1);
    return symbol == kZeroRunSymbol ? kZeroRunAdvance : HuffmanTable::kEndOfBlock;
}

}  // namespace

void HuffmanTable::ComputeQuickSteps() {
    for (std::uint32_t prefix = 0; prefix < quickSteps.size(); ++prefix) {
        const QuickValue first = quickValues[prefix];
        if (first.length == 0) {
            quickSteps[prefix] = {0, 0, kNotQuick, 0, 0, 0};
            continue;
        }
        const std::uint8_t advance = StepAdvance(first.symbol);
        quickSteps[prefix] = {first.value, first.value, advance, 0, first.length, first.length};
        if (advance == kEndOfBlock) continue;  // what follows is the next block's
        // The bits after the first step, in front, as a look-up's bits.
        const QuickValue second = quickValues[(prefix << first.length) & (quickSteps.size() - 1)];
        if (second.length == 0 || first.length + second.length > kQuickBits) continue;
        quickSteps[prefix].secondValue = second.value;
        quickSteps[prefix].secondAdvance = StepAdvance(second.symbol);
        quickSteps[prefix].length = static_cast<std::uint8_t>(first.length + second.length);
    }
}

void HuffmanTable::ComputeRefinementSteps() {
    for (std::uint32_t prefix = 0; prefix < refinementSteps.size(); ++prefix) {
        const Match match = quickMatches[prefix];
        const auto run = static_cast<std::uint8_t>(match.symbol >> 4);
        const int size = match.symbol & 15;
        RefinementStep& step = refinementSteps[prefix];
        step = {kOtherRefinement, 0, 0, 0};
        if (match.length == 0) continue;
        if (size == 0) {
            const RefinementKind kind =
                match.symbol == kZeroRunSymbol ? kMoveRefinement : kEndOfBand;
            step = {kind, match.length, run, 0};
        } else if (size == 1 && match.length < kQuickBits) {
            const bool positive = (prefix >> (kQuickBits - 1 - match.length) & 1) != 0;
            step = {kMoveRefinement, static_cast<std::uint8_t>(match.length + 1), run,
                    static_cast<std::int8_t>(positive ? 1 : -1)};
        }
    }
}

std::uint8_t HuffmanTable::DecodeSymbol(InputByteStream& stream) const {
    // A table without codes matches no bit string at all.
    if (codes.shortestLength == 0) throw JpegBadStream("Bad Huffman Code Length");

    // No code is shorter than shortestLength, so its bits are taken at once.
    int length = codes.shortestLength;
    std::int32_t code = static_cast<std::int32_t>(stream.ReadBits(length));
    while (code > codes.maxcode[length - 1]) {
        if (length == kMaxCodeLength) throw JpegBadStream("Bad Huffman Code Length");
        code = ((code << 1) | stream.ReadBit()) & 0xFFFF;
        ++length;
    }
    return symbols[codes.valptr[length - 1] + code - codes.mincode[length - 1]];
}

}  // namespace Tessera
