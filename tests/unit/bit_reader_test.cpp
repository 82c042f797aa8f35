// The bit reader against the stream's own byte-at-a-time reads, and the
// Huffman look-up tables against HuffmanTable::DecodeSymbol.
#include "jpeg/bit_reader.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <exception>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "jpeg/huffman_table.h"
#include "lockstep_inputs.h"
#include "random_huffman_codes.h"
#include "stream_builder.h"

namespace Tessera::Testing {
namespace {

// The result of one operation: a value, or the failure's class and message.
struct Outcome {
    long long value = 0;
    std::string error;
    bool operator==(const Outcome&) const = default;
};

// kSync and kRestart deliver the stream's position, read with the reader detached.
enum class Kind { kBit, kBits, kExtended, kSymbol, kValue, kSync, kRestart };
struct Op {
    Kind kind;
    int n;  // bits, or the table
};
const char* const kKindNames[] = {"ReadBit",   "ReadBits", "ReadExtended", "DecodeSymbol",
                                  "PeekValue", "Detach",   "Restart"};

template <class Input>
long long Position(const Input& in) {
    return in.Offset() * 16 + in.BitsLeft() + 1;
}

// The stream's own procedures; a value with extra bits is DecodeSymbol, then
// Extend of ReadBits.
template <class Input>
long long ReferenceStep(Input& in, const Op& op, const std::vector<HuffmanTable>& tables) {
    switch (op.kind) {
        case Kind::kBit:
            return in.ReadBit();
        case Kind::kBits:
            return in.ReadBits(op.n);
        case Kind::kExtended:
            return Extend(in.ReadBits(op.n), op.n);
        case Kind::kSymbol:
            return tables[op.n].DecodeSymbol(in);
        case Kind::kValue: {
            const int symbol = tables[op.n].DecodeSymbol(in);
            return symbol * 65536LL + Extend(in.ReadBits(symbol & 15), symbol & 15);
        }
        case Kind::kRestart:
            in.StopBitReading();
            in.StartBitReading();
            return Position(in);
        case Kind::kSync:
            return Position(in);
    }
    return -1;
}

// The same through a reader, the value in one step when PeekValue has it.
template <class Input>
long long ReaderStep(BitReader& reader, Input& in, const Op& op,
                     const std::vector<HuffmanTable>& tables) {
    switch (op.kind) {
        case Kind::kBit:
            return reader.ReadBit();
        case Kind::kBits:
            return reader.ReadBits(op.n);
        case Kind::kExtended:
            return reader.ReadExtended(op.n);
        case Kind::kSymbol:
            return reader.DecodeSymbol(tables[op.n]);
        case Kind::kValue: {
            const HuffmanTable::QuickValue quick = reader.PeekValue(tables[op.n]);
            if (quick.length != 0) {
                reader.Skip(quick.length);
                return quick.symbol * 65536LL + quick.value;
            }
            const int symbol = reader.DecodeSymbol(tables[op.n]);
            return symbol * 65536LL + reader.ReadExtended(symbol & 15);
        }
        case Kind::kRestart:
            reader.Detach();
            in.StopBitReading();
            in.StartBitReading();
            reader.Attach();
            return Position(in);
        case Kind::kSync: {
            reader.Detach();
            const long long position = Position(in);
            reader.Attach();
            return position;
        }
    }
    return -1;
}

// Outcomes up to the first failure, then the final position. The reader is
// detached at the end, or by its destructor while a failure passes.
template <class Input>
std::vector<Outcome> Run(Input& in, bool throughReader, const std::vector<Op>& program,
                         const std::vector<HuffmanTable>& tables) {
    std::vector<Outcome> outcomes;
    try {
        in.StartBitReading();
        if (throughReader) {
            BitReader reader(in);
            for (const Op& op : program)
                outcomes.push_back({ReaderStep(reader, in, op, tables), ""});
            reader.Detach();
        } else {
            for (const Op& op : program) outcomes.push_back({ReferenceStep(in, op, tables), ""});
        }
    } catch (...) {
        outcomes.push_back({0, Describe(std::current_exception())});
    }
    outcomes.push_back({Position(in), "end position"});
    return outcomes;
}

std::string Hex(const Bytes& bytes) {
    std::string text;
    char byte[4];
    for (std::uint8_t b : bytes) {
        std::snprintf(byte, sizeof byte, "%02X ", b);
        text += byte;
    }
    return text;
}

// Both runs agree; otherwise the data and the program up to the first difference.
template <class Input>
testing::AssertionResult Agree(Input& reference, Input& fast, const Bytes& data,
                               const std::vector<Op>& program,
                               const std::vector<HuffmanTable>& tables) {
    const std::vector<Outcome> expected = Run(reference, false, program, tables);
    const std::vector<Outcome> actual = Run(fast, true, program, tables);
    if (expected == actual) return testing::AssertionSuccess();
    std::size_t step = 0;
    while (step < expected.size() && step < actual.size() && expected[step] == actual[step]) ++step;
    auto result = testing::AssertionFailure() << "data: " << Hex(data) << "\nprogram:";
    for (std::size_t i = 0; i <= step && i < program.size(); ++i)
        result << " " << kKindNames[static_cast<int>(program[i].kind)] << "(" << program[i].n
               << ")";
    auto show = [](const std::vector<Outcome>& outcomes, std::size_t i) {
        if (i >= outcomes.size()) return std::string("(none)");
        return std::to_string(outcomes[i].value) + " " + outcomes[i].error;
    };
    return result << "\nat outcome " << step << " (positions are offset * 16 + BitsLeft + 1)"
                  << "\nexpected: " << show(expected, step) << "\nactual:   " << show(actual, step);
}

struct Generator {
    const char* name;
    int cases;
    int stuffedIn16, markerIn16, ffIn16;  // chances of a 0xFF 0x00, a marker, a lone 0xFF
    Shape shape;
    bool restarts;
};

Bytes RandomData(Rng& rng, const Generator& g) {
    static const std::uint8_t kMarkers[] = {0xD9, 0xD0, 0xD7, 0xC4, 0x01, 0xFF};
    Bytes data;
    const std::size_t length = static_cast<std::size_t>(Uniform(rng, 1, 40));
    while (data.size() < length) {
        const int pick = Uniform(rng, 0, 15);
        if (pick < g.stuffedIn16) {
            Append(data, {0xFF, 0x00});
        } else if (pick < g.stuffedIn16 + g.markerIn16) {
            Append(data, {0xFF, kMarkers[Uniform(rng, 0, 5)]});
        } else if (pick < g.stuffedIn16 + g.markerIn16 + g.ffIn16) {
            data.push_back(0xFF);
        } else {
            data.push_back(static_cast<std::uint8_t>(rng()));
        }
    }
    if (Uniform(rng, 0, 3) == 0) data.push_back(0xFF);  // a lone 0xFF at the very end
    return data;
}

std::vector<Op> RandomProgram(Rng& rng, const Generator& g, int tables) {
    std::vector<Op> program(static_cast<std::size_t>(Uniform(rng, 1, 120)));
    for (Op& op : program) {
        switch (Uniform(rng, 0, 13)) {
            case 0:
            case 1:
                op = {Kind::kBit, 0};
                break;
            case 2:
            case 3:
            case 4:
                op = {Kind::kBits, Uniform(rng, 0, 16)};
                break;
            case 5:
                op = {Kind::kExtended, Uniform(rng, 0, 16)};
                break;
            case 6:
            case 7:
            case 8:
                op = {Kind::kSymbol, Uniform(rng, 0, tables - 1)};
                break;
            case 9:
            case 10:
            case 11:
                op = {Kind::kValue, Uniform(rng, 0, tables - 1)};
                break;
            case 12:
                op = {Kind::kSync, 0};
                break;
            default:
                op = g.restarts ? Op{Kind::kRestart, 0} : Op{Kind::kBits, 8};
        }
    }
    return program;
}

TEST(BitReaderLockstep, SameValuesFailuresAndPositionsAsTheStream) {
    const Generator generators[] = {
        {"plain data, complete and partial tables", 150, 1, 0, 1, Shape::kAny, false},
        {"many stuffed zeros", 150, 6, 0, 1, Shape::kComplete, false},
        {"markers and lone 0xFF", 150, 2, 2, 3, Shape::kAny, true},
        {"long codes only", 100, 2, 1, 1, Shape::kLong, true},
        {"single-code tables", 100, 3, 1, 1, Shape::kSingle, false},
    };
    int seed = 0;
    for (const Generator& g : generators) {
        SCOPED_TRACE(g.name);
        for (int c = 0; c < g.cases; ++c) {
            Rng rng(static_cast<unsigned>(++seed));
            const Bytes full = RandomData(rng, g);
            std::vector<HuffmanTable> tables;
            for (int t = 0; t < 3; ++t)
                tables.push_back(
                    LoadTable(RandomCodes(rng, Uniform(rng, 0, 9) == 0 ? Shape::kEmpty : g.shape)));
            const std::vector<Op> program = RandomProgram(rng, g, 3);
            std::vector<std::size_t> chunkSizes(8);
            for (auto& size : chunkSizes) size = static_cast<std::size_t>(Uniform(rng, 1, 9));
            // The data ending at every length.
            for (std::size_t length = 0; length <= full.size(); ++length) {
                const Bytes data(full.begin(), full.begin() + static_cast<std::ptrdiff_t>(length));
                MemoryInput memoryReference(data), memoryFast(data);
                ASSERT_TRUE(Agree(memoryReference, memoryFast, data, program, tables))
                    << "memory stream, seed " << seed;
                ChunkedInput chunkedReference(data, chunkSizes), chunkedFast(data, chunkSizes);
                ASSERT_TRUE(Agree(chunkedReference, chunkedFast, data, program, tables))
                    << "chunked stream, seed " << seed;
            }
        }
    }
}

TEST(BitReaderPositions, DetachLeavesTheStreamWhereItsOwnReadsWould) {
    struct Case {
        const char* name;
        Bytes data;
        int bitsBefore;          // read by the stream before the reader is attached
        std::vector<int> reads;  // ReadBits through the reader
        unsigned lastValue;
        std::ptrdiff_t offset;
        int bitsLeft;
    };
    const Bytes longData = {0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77,
                            0x88, 0x99, 0xAA, 0xBB, 0xCC, 0xFF, 0xD9};
    const Case cases[] = {
        {"scan ends at a byte boundary before a marker",
         {0x12, 0x34, 0xFF, 0xD9},
         0,
         {16},
         0x1234,
         1,
         0},
        {"all data of a long buffer, then a marker",
         longData,
         0,
         {16, 16, 16, 16, 16, 16},
         0xBBCC,
         11,
         0},
        {"attached and detached, nothing read", {0x12, 0x34, 0x56}, 3, {}, 0, 0, 5},
        {"nothing read after a whole byte", {0x12, 0xFF, 0x00, 0x56}, 8, {}, 0, 0, 0},
        {"ReadBits(0) only", {0x12, 0x34}, 5, {0}, 0, 0, 3},
        {"stuffed 0xFF partly read", {0xFF, 0x00, 0xA5, 0x5A}, 0, {4}, 0xF, 0, 4},
        {"stuffed 0xFF read to its end", {0xFF, 0x00, 0xA5, 0x5A}, 0, {8}, 0xFF, 0, 0},
        {"one bit past a stuffed 0xFF", {0xFF, 0x00, 0xA5, 0x5A}, 0, {9}, 0x1FF, 2, 7},
        {"stuffed 0xFF in the middle", {0x12, 0xFF, 0x00, 0x34, 0x56}, 0, {12}, 0x12F, 1, 4},
        {"stuffed zero data after stuffed 0xFF",
         {0xFF, 0x00, 0x00, 0xFF, 0x00, 0x00, 0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07},
         2,
         {14, 10},
         0x3FC,
         5,
         6},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        MemoryInput in(c.data);
        in.StartBitReading();
        in.ReadBits(c.bitsBefore);
        unsigned value = 0;
        {
            BitReader reader(in);
            for (int n : c.reads) value = reader.ReadBits(n);
            // A look ahead takes nothing, though the reader loads bytes for it.
            if (c.reads.empty()) reader.PeekValue(LoadTable(kLuminanceDcTable));
        }
        EXPECT_EQ(value, c.lastValue);
        EXPECT_EQ(in.Offset(), c.offset);
        EXPECT_EQ(in.BitsLeft(), c.bitsLeft);
    }
}

// The bits DecodeSymbol takes for the code at the front of 16 bits; length 0
// when it finds none.
HuffmanTable::Match ReferenceMatch(const HuffmanTable& table, std::uint32_t bits) {
    BitWriter writer;
    const Bytes data = writer.Bits(bits, 16).Finish();
    MemoryInput in(data);
    in.StartBitReading();
    try {
        const std::uint8_t symbol = table.DecodeSymbol(in);
        const int consumed = (in.Offset() == 0 ? 8 : 16) - in.BitsLeft();
        return {symbol, static_cast<std::uint8_t>(consumed)};
    } catch (const JpegDecoder::JpegBadStream& e) {
        EXPECT_STREQ(e.what(), "Bad Huffman Code Length");
        return {0, 0};
    }
}

TEST(HuffmanLookup, MatchesDecodeSymbolForEveryBitString) {
    const Shape shapes[] = {Shape::kAny, Shape::kComplete, Shape::kLong, Shape::kSingle,
                            Shape::kEmpty};
    Rng rng(7);
    int quickValues = 0;
    for (int t = 0; t < 40; ++t) {
        const HuffmanCodes codes = RandomCodes(rng, shapes[t % 5]);
        const HuffmanTable table = LoadTable(codes);
        SCOPED_TRACE("table " + std::to_string(t) + ": counts " +
                     Hex(Bytes(codes.counts.begin(), codes.counts.end())));
        // A code found for one bit string covers all strings that begin with
        // it. A failure costs an exception, so in a stretch of strings that
        // match nothing, where Lookup agrees, only every 64th is decoded.
        HuffmanTable::Match known{0, 0};
        std::uint32_t knownEnd = 0;
        int mismatches = 0;
        for (std::uint32_t bits = 0; bits < 0x10000 && mismatches < 5; ++bits) {
            const HuffmanTable::Match match = table.Lookup(bits);
            const bool stillNone = known.length == 0 && match.length == 0 && bits % 64 != 0;
            if (bits >= knownEnd && !stillNone) {
                known = ReferenceMatch(table, bits);
                const int rest = 16 - (known.length == 0 ? 16 : known.length);
                knownEnd = ((bits >> rest) + 1) << rest;
            }
            if (match.length != known.length ||
                (known.length != 0 && match.symbol != known.symbol)) {
                ADD_FAILURE() << "bits " << bits << ": Lookup " << int(match.symbol) << "/"
                              << int(match.length) << ", DecodeSymbol " << int(known.symbol) << "/"
                              << int(known.length);
                ++mismatches;
            }
            const HuffmanTable::QuickValue quick = table.LookupValue(bits);
            if (quick.length == 0) continue;
            ++quickValues;
            const int size = known.symbol & 15;
            bool same = known.length != 0 && quick.symbol == known.symbol &&
                        quick.length == known.length + size && quick.length <= 16;
            if (same) {
                const unsigned magnitude = (bits >> (16 - quick.length)) & ((1u << size) - 1);
                same = quick.value == Extend(magnitude, size);
            }
            if (!same) {
                ADD_FAILURE() << "bits " << bits << ": LookupValue " << quick.value << "/"
                              << int(quick.symbol) << "/" << int(quick.length) << ", code "
                              << int(known.symbol) << "/" << int(known.length);
                ++mismatches;
            }
        }
    }
    EXPECT_GT(quickValues, 0);  // the comparison above did happen
}

// One code and its extra bits as the stream's own procedures read them:
// the symbol, the bits taken and the extended value; no symbol (-1) when no
// code matches.
struct ReadStep {
    int symbol = -1;
    int bits = 0;
    int value = 0;
};
ReadStep ReadOneStep(const HuffmanTable& table, const Bytes& data, MemoryInput& in) {
    // Bits taken from the data, the stuffed zeros passed not counted.
    const auto position = [&] {
        int stuffed = 0;
        for (std::ptrdiff_t i = 1; i < in.Offset(); ++i)
            stuffed += data[i - 1] == 0xFF && data[i] == 0;
        return static_cast<int>((in.Offset() - stuffed) * 8 + 8 - in.BitsLeft());
    };
    const int before = position();
    try {
        const int symbol = table.DecodeSymbol(in);
        const int value = Extend(in.ReadBits(symbol & 15), symbol & 15);
        return {symbol, position() - before, value};
    } catch (const JpegDecoder::JpegBadStream&) {
        return {};
    }
}

// How far a sequential block's step goes: after the coefficient, over a zero
// run of sixteen, or to the end of the block (T.81 F.2.2.2).
int StepAdvance(int symbol) {
    if ((symbol & 15) != 0) return (symbol >> 4) + 1;
    return symbol == 0xF0 ? 16 : HuffmanTable::kEndOfBlock;
}

TEST(HuffmanLookup, StepsMatchTheCodesDecodeSymbolReads) {
    const Shape shapes[] = {Shape::kAny, Shape::kComplete, Shape::kLong, Shape::kSingle,
                            Shape::kEmpty};
    constexpr int kBits = HuffmanTable::kQuickBits;
    Rng rng(11);
    int pairs = 0;
    for (int t = 0; t < 30; ++t) {
        const HuffmanCodes codes = AcLikeCodes(rng, shapes[t % 5]);
        const HuffmanTable table = LoadTable(codes);
        SCOPED_TRACE("table " + std::to_string(t) + ": counts " +
                     Hex(Bytes(codes.counts.begin(), codes.counts.end())));
        int mismatches = 0;
        for (std::uint32_t prefix = 0; prefix < (1u << kBits) && mismatches < 5; ++prefix) {
            // The look-up sees only the prefix; what follows it may be anything.
            const Bytes data =
                BitWriter().Bits(prefix, kBits).Bits(0xFFFF, 16).Bits(0, 16).Finish();
            MemoryInput in(data);
            in.StartBitReading();
            const ReadStep first = ReadOneStep(table, data, in);
            const HuffmanTable::QuickSteps steps = table.LookupSteps(prefix);
            if (first.symbol < 0 || first.bits > kBits) {
                if (steps.firstAdvance == HuffmanTable::kNotQuick && steps.length == 0) continue;
                ADD_FAILURE() << "prefix " << prefix << ": a step where none fits";
                ++mismatches;
                continue;
            }
            const ReadStep second = StepAdvance(first.symbol) == HuffmanTable::kEndOfBlock
                                        ? ReadStep{}
                                        : ReadOneStep(table, data, in);
            const bool both = second.symbol >= 0 && first.bits + second.bits <= kBits;
            pairs += both;
            const bool same = steps.firstValue == first.value && steps.firstLength == first.bits &&
                              steps.firstAdvance == StepAdvance(first.symbol) &&
                              (both ? steps.secondValue == second.value &&
                                          steps.secondAdvance == StepAdvance(second.symbol) &&
                                          steps.length == first.bits + second.bits
                                    : steps.secondValue == first.value &&
                                          steps.secondAdvance == 0 && steps.length == first.bits);
            if (!same) {
                ADD_FAILURE() << "prefix " << prefix << ": steps " << steps.firstValue << "/"
                              << int(steps.firstAdvance) << "/" << int(steps.firstLength) << " "
                              << steps.secondValue << "/" << int(steps.secondAdvance) << "/"
                              << int(steps.length) << "; read " << first.symbol << "/" << first.bits
                              << " then " << second.symbol << "/" << second.bits;
                ++mismatches;
            }
        }
    }
    EXPECT_GT(pairs, 0);  // two codes at once were met and compared
}

}  // namespace
}  // namespace Tessera::Testing
