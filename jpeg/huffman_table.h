#pragma once

#include <array>
#include <cstdint>
#include <optional>

namespace Tessera {

class InputByteStream;

// One Huffman decoding table (T.81 Annex C, F.2.2.3): the DHT body turned into
// the maxcode / mincode / valptr arrays of Figure F.16.
class HuffmanTable {
  public:
    static constexpr int kMaxCodeLength = 16;
    // Codes up to this long are found with one look-up (Lookup), and codes
    // with their extra bits when these fit too (LookupValue, LookupSteps).
    static constexpr int kQuickBits = 11;

    // The code at the front of a bit string and its symbol; length 0 when no
    // code of 16 bits or fewer matches (or the table has no codes).
    struct Match {
        std::uint8_t symbol;
        std::uint8_t length;
    };

    // A short code together with the extra bits that follow it (T.81 F.2.2.1:
    // a category or run/size symbol, then `size` bits of magnitude, none for
    // size 0), taken at once. length 0: not available that way (a long code,
    // or more bits than are looked at).
    struct QuickValue {
        std::int16_t value;   // the extra bits, extended to a signed value
        std::uint8_t symbol;  // run (high four bits) and size (low four)
        std::uint8_t length;  // code length + size
    };

    // A sequential block's next AC codes with their extra bits (T.81
    // F.2.2.2), one or two of them, as the steps they make through the
    // block: a step advances `advance` zigzag positions to just after its
    // coefficient, which gets `value`. A zero run (ZRL) advances 16 and its
    // value 0 lands on a coefficient that is zero anyway. An end of block,
    // and the undefined run/size symbols of size 0 that end a block too,
    // advance kEndOfBlock; a code whose bits do not fit the look-up advances
    // kNotQuick (length 0). Both lie beyond any position, so that one
    // comparison finds them together with the end of the block.
    //
    // The second step is there when the first is a coefficient or a zero run
    // and the second's bits fit too; otherwise it repeats the first's value
    // and advances 0, so that storing it does nothing new.
    struct QuickSteps {
        std::int16_t firstValue;
        std::int16_t secondValue;
        std::uint8_t firstAdvance;
        std::uint8_t secondAdvance;
        std::uint8_t firstLength;  // the first code's length + size
        std::uint8_t length;       // both steps' lengths
    };
    static constexpr std::uint8_t kEndOfBlock = 64;
    static constexpr std::uint8_t kNotQuick = 128;

    // A successive-approximation refinement's next AC code (T.81 G.1.2.3)
    // as far as the look-up's bits tell it. A move lands on the zero
    // coefficient after `run` others: a new coefficient of value `sign` ×
    // the pass's bit (its sign bit counted in `length`), or, for a zero run
    // (ZRL, run 15), that coefficient stays zero (sign 0). An end of band
    // has `run` bits of run length after its code. Anything else (a size
    // refinement does not use, a code or sign bit beyond the look-up's bits,
    // no code) is kOtherRefinement, for the careful reads.
    enum RefinementKind : std::uint8_t { kMoveRefinement, kEndOfBand, kOtherRefinement };
    struct RefinementStep {
        RefinementKind kind;
        std::uint8_t length;
        std::uint8_t run;
        std::int8_t sign;
    };

    // Provided, not defaulted: a value-initialised table would otherwise be
    // zeroed whole first (see the look-ups below).
    HuffmanTable() {}
    virtual ~HuffmanTable() = default;

    // Reads one table body (16 code-length counts, then the symbol values) in
    // byte mode and returns the bytes it consumed, 16 + the number of values.
    // The steps are made when a scan asks for them (below), for most of a
    // table's making goes to them and each kind of scan reads one kind at
    // most: until then LookupSteps and LookupRefinement give kNotQuick and
    // kOtherRefinement, the careful way.
    int LoadTable(InputByteStream& stream);
    // Makes the look-ups of LookupSteps (a sequential scan's AC table), or
    // of LookupRefinement (an AC refinement scan's), unless already made
    // since the table was loaded.
    void MakeSequentialSteps();
    void MakeRefinementSteps();
    // Reads one code from a stream in bit mode and returns its symbol.
    std::uint8_t DecodeSymbol(InputByteStream& stream) const;
    bool IsDefined() const { return defined; }
    // The code that begins the 16 bits given (first bit most significant), as
    // DecodeSymbol would find it reading those bits.
    Match Lookup(std::uint32_t bits) const {
        const Match quick = quickMatches[bits >> (kMaxCodeLength - kQuickBits)];
        return quick.length != 0 ? quick : LookupLong(bits);
    }

    // The code and extra bits at the front of the bits given (first bit
    // most significant; only the first kQuickBits are looked at).
    QuickValue LookupValue(std::uint32_t bits) const {
        return quickValues[bits >> (kMaxCodeLength - kQuickBits)];
    }
    // The same as a sequential block's steps, from the first kQuickBits bits
    // alone (first bit most significant).
    QuickSteps LookupSteps(std::uint32_t quickBits) const { return quickSteps[quickBits]; }
    // The same as a refinement's step.
    RefinementStep LookupRefinement(std::uint32_t quickBits) const {
        return refinementSteps[quickBits];
    }

    // The decoding arrays, entry L-1 for code length L; for tests and tools.
    int MaxCode(int length) const { return codes.maxcode[length - 1]; }
    int MinCode(int length) const { return codes.mincode[length - 1]; }
    int ValuePointer(int length) const { return codes.valptr[length - 1]; }
    int ShortestLength() const { return codes.shortestLength; }

  private:
    static constexpr int kMaxSymbols = 256;

    // The decoding arrays, entry L-1 for code length L.
    struct CodeArrays {
        std::array<std::int32_t, kMaxCodeLength> maxcode{};
        std::array<std::int32_t, kMaxCodeLength> mincode{};
        std::array<std::uint8_t, kMaxCodeLength> valptr{};
        int shortestLength = 0;  // 0: the table has no codes at all
    };
    // The arrays of the codes the counts give; nothing when the counts ask
    // for more codes of some length than that length can hold (the tree
    // would overflow), which no encoder produces.
    static std::optional<CodeArrays> ComputeCodes(
        const std::array<std::uint8_t, kMaxCodeLength>& counts);
    // The decoding procedure of DecodeSymbol over bits already at hand, from
    // code length `from` on.
    Match Search(std::uint32_t bits, int from, int to) const;
    Match LookupLong(std::uint32_t bits) const;
    void ComputeQuickMatches();
    // The entries of the prefixes that begin with one code.
    void FillQuickEntries(std::uint32_t code, int length, std::uint8_t symbol);
    // quickSteps, from quickValues.
    void ComputeQuickSteps();
    // refinementSteps, from quickMatches.
    void ComputeRefinementSteps();

    CodeArrays codes{};
    std::array<std::uint8_t, kMaxSymbols> symbols{};
    bool defined = false;
    bool sequentialStepsMade = false;
    bool refinementStepsMade = false;
    // The look-ups (36 KB) are made whole by LoadTable and read only once
    // the table is defined; a table is not cleared when it is made, so that
    // a decoder's tables (eight of them, most never loaded) cost no writes,
    // nor fresh pages, before a picture needs them.
    // Entry b: the code of kQuickBits bits or fewer that begins b, if any.
    std::array<Match, 1 << kQuickBits> quickMatches;
    // Entry b: the code and all its extra bits, when they fit in b.
    std::array<QuickValue, 1 << kQuickBits> quickValues;
    // Entry b: the codes and extra bits that fit in b as a sequential
    // block's steps.
    std::array<QuickSteps, 1 << kQuickBits> quickSteps;
    // Entry b: the code that begins b as a refinement's step.
    std::array<RefinementStep, 1 << kQuickBits> refinementSteps;
};

}  // namespace Tessera
