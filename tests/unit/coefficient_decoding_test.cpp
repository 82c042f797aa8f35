// Decoding of single data units: sequential blocks (T.81 F.2.2) and the four
// progressive passes (G.1.2, G.2), into a row of six blocks.
#include "jpeg/coefficient_decoding.h"

#include <gtest/gtest.h>

#include <array>
#include <exception>
#include <string>
#include <vector>

#include "jpeg/bit_reader.h"
#include "jpeg/quant_table.h"
#include "lockstep_inputs.h"
#include "random_huffman_codes.h"
#include "stream_builder.h"

namespace Tessera::Testing {
namespace {

class BlockDecoding : public ::testing::Test {
  protected:
    void SetUp() override {
        LoadHuffman(dc, kDcTable);
        LoadHuffman(ac, kAcTable);
    }

    static void LoadHuffman(HuffmanTable& table, const HuffmanCodes& codes) {
        const Bytes body = TableBody(codes);
        MemoryStream stream(body);
        table.LoadTable(stream);
        table.MakeSequentialSteps();
    }

    // Makes the data the input, in bit mode.
    BitReader& Input(const Bytes& bytes) {
        bits.reset();
        data = bytes;
        stream = std::make_unique<MemoryStream>(data);
        stream->StartBitReading();
        bits = std::make_unique<BitReader>(*stream);
        return *bits;
    }
    // Hands the reader's position back to the stream, where the tests look.
    void Sync() {
        bits->Detach();
        bits->Attach();
    }
    int BitsConsumed() {
        Sync();
        return static_cast<int>((stream->ReadPointer() - data.data()) * 8 + 8 - stream->BitsLeft());
    }
    // Coefficient `zigzag` of block b (progressive blocks keep zigzag order).
    std::int16_t& At(int block, int zigzag) { return blocks[block][zigzag]; }
    std::int16_t* Block(int b) { return blocks[b].data(); }
    void DecodeBlock(const Bytes& bytes) {
        DecodeSequentialBlock(Input(bytes), dc, ac, predictor, natural.data());
    }

    HuffmanTable dc, ac;
    std::array<std::array<std::int16_t, 64>, 6> blocks{};
    alignas(16) std::array<std::int16_t, 64> natural{};
    int predictor = 0;
    unsigned eobRun = 0;
    Bytes data;
    std::unique_ptr<MemoryStream> stream;
    std::unique_ptr<BitReader> bits;
};

TEST_F(BlockDecoding, SequentialWorkedExample) {
    // K.3 DC table and six 3-bit AC codes 000 … 101.
    LoadHuffman(dc, kLuminanceDcTable);
    LoadHuffman(ac, {{0, 0, 6}, {0x01, 0x21, 0x00, 0xF0, 0x10, 0x02}});
    predictor = 10;
    DecodeSequentialBlock(Input({0x69, 0x31, 0x5F}), dc, ac, predictor, natural.data());

    // 011 01: category 2, difference -2. 001 0: run 2, -1 at zigzag 3.
    // 011: ZRL to 20. 000 1: +1 at zigzag 20. 010: end of block.
    EXPECT_EQ(predictor, 8);
    EXPECT_EQ(BitsConsumed(), 19);
    EXPECT_EQ(stream->BitsLeft(), 5);
    std::array<std::int16_t, 64> coefficients{};
    coefficients[0] = 8;
    coefficients[16] = -1;
    coefficients[40] = 1;
    EXPECT_EQ(natural, coefficients);
}

TEST_F(BlockDecoding, SequentialBlockEnds) {
    struct Case {
        const char* name;
        Bytes data;
        int bits;
        std::int16_t dc;  // the block's only coefficient
    };
    const Case cases[] = {
        {"end of block first", BitWriter().Dc(20).EndOfBlock().Finish(), 5 + 5 + 5, 20},
        {"run 5 with category 0", BitWriter().Dc(-8).Symbol(0x50).Finish(), 5 + 4 + 5, -8},
        // Three ZRLs reach 49, the fourth 65: the block ends with no further symbol.
        {"ZRL past 63",
         BitWriter().Dc(0).Symbol(0xF0).Symbol(0xF0).Symbol(0xF0).Symbol(0xF0).Bits(0, 16).Finish(),
         5 + 20, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        predictor = 0;
        natural.fill(99);  // the block is cleared first
        DecodeBlock(c.data);
        EXPECT_EQ(BitsConsumed(), c.bits);
        std::array<std::int16_t, 64> expected{};
        expected[0] = c.dc;
        EXPECT_EQ(natural, expected);
    }
}

TEST_F(BlockDecoding, SequentialCoefficientPositionLimit) {
    auto run = [] { return BitWriter().Dc(0).Symbol(0xF0).Symbol(0xF0).Symbol(0xF0); };
    DecodeBlock(run().Ac(14, 1).Finish());  // position 63
    std::array<std::int16_t, 64> coefficients{};
    coefficients[63] = 1;
    EXPECT_EQ(natural, coefficients);
    EXPECT_EQ(BitsConsumed(), 5 + 15 + 5 + 1);

    ExpectFailure([&] { DecodeBlock(run().Ac(15, 1).Finish()); }, Raised::BadStream,
                  "Coefficient Index out of Range");
}

TEST_F(BlockDecoding, DcCategoryAbove15IsRefused) {
    const Bytes data = BitWriter().Code(kDcTable, 16).Bits(0, 16).Finish();
    ExpectFailure([&] { DecodeBlock(data); }, Raised::BadStream, "Invalid DC Difference Category");
    ExpectFailure([&] { DecodeDcFirst(Input(data), dc, predictor, 0); }, Raised::BadStream,
                  "Invalid DC Difference Category");
}

TEST_F(BlockDecoding, DcPrediction) {
    const Bytes data = BitWriter().Dc(5).Dc(-3).Dc(1).Finish();
    for (unsigned al : {0u, 1u}) {
        SCOPED_TRACE(al);
        predictor = 0;
        Input(data);
        for (int b = 0; b < 3; ++b) At(b, 0) = DecodeDcFirst(*bits, dc, predictor, al);
        EXPECT_EQ(At(0, 0), 5 << al);
        EXPECT_EQ(At(1, 0), 2 << al);
        EXPECT_EQ(At(2, 0), 3 << al);
        EXPECT_EQ(predictor, 3);  // kept unshifted
    }
}

TEST_F(BlockDecoding, DcRefinementIsBitwiseOr) {
    struct Case {
        std::int16_t before;
        unsigned al;
        unsigned bit;
        std::int16_t after;
    };
    const Case cases[] = {{-6, 0, 1, -5}, {4, 0, 1, 5},   {4, 0, 0, 4},
                          {4, 1, 1, 6},   {-6, 1, 1, -6}, {-8, 2, 1, -4}};
    for (const Case& c : cases) {
        At(3, 0) = c.before;
        RefineDc(Input(BitWriter().Bits(c.bit, 1).Finish()), At(3, 0), c.al);
        EXPECT_EQ(At(3, 0), c.after) << c.before << " al=" << c.al;
        EXPECT_EQ(BitsConsumed(), 1);
    }
}

TEST_F(BlockDecoding, AcFirstPassEndOfBandRun) {
    // Block 0: +5 at zigzag 1 (Al 1), then EOB run symbol r = 2 with bits 01:
    // a run of 4, this block being the first: the next four blocks follow
    // without data (the scan decoder passes them), then block 5's band.
    Input(BitWriter().Ac(0, 5).Symbol(0x20).Bits(0b01, 2).Ac(1, -2).Symbol(0x00).Finish());
    DecodeAcFirst(*bits, ac, eobRun, Block(0), 1, 63, 1);
    EXPECT_EQ(At(0, 1), 10);
    EXPECT_EQ(eobRun, 4u);
    EXPECT_EQ(BitsConsumed(), 5 + 3 + 5 + 2);
    eobRun = 0;
    DecodeAcFirst(*bits, ac, eobRun, Block(5), 1, 63, 1);
    EXPECT_EQ(At(5, 2), -4);
    EXPECT_EQ(At(5, 1), 0);
}

TEST_F(BlockDecoding, AcFirstPassBandLimits) {
    DecodeAcFirst(Input({0x00}), ac, eobRun, Block(0), 6, 5, 0);
    EXPECT_EQ(BitsConsumed(), 0);

    // A run may carry a coefficient past Se (here to 7 in the band 1 … 5).
    DecodeAcFirst(Input(BitWriter().Ac(6, -1).Finish()), ac, eobRun, Block(0), 1, 5, 0);
    EXPECT_EQ(At(0, 7), -1);
    EXPECT_EQ(BitsConsumed(), 5 + 1);

    const Bytes pastEnd =
        BitWriter().Symbol(0xF0).Symbol(0xF0).Symbol(0xF0).Ac(15, 1).Finish();  // 1 → 64
    ExpectFailure([&] { DecodeAcFirst(Input(pastEnd), ac, eobRun, Block(1), 1, 63, 0); },
                  Raised::BadStream, "Data out of range");
}

TEST_F(BlockDecoding, AcRefinementWorkedExamples) {
    // Band 1 … 5, Al 0, +2 at zigzag 1 and -2 at zigzag 3.
    At(0, 1) = 2;
    At(0, 3) = -2;
    // Run 2, category 1; sign 1, correction 1 for position 1, correction 0 for position 3.
    RefineAc(Input(BitWriter().Symbol(0x21).Bits(0b110, 3).Finish()), ac, eobRun, Block(0), 1, 5,
             0);
    EXPECT_EQ(At(0, 1), 3);
    EXPECT_EQ(At(0, 3), -2);
    EXPECT_EQ(At(0, 5), 1);
    EXPECT_EQ(At(0, 2), 0);
    EXPECT_EQ(At(0, 4), 0);
    EXPECT_EQ(eobRun, 0u);
    EXPECT_EQ(BitsConsumed(), 8);

    // EOB run r = 1 with extension bit 1, then corrections 1, 1.
    At(1, 1) = 2;
    At(1, 3) = -2;
    RefineAc(Input(BitWriter().Symbol(0x10).Bits(0b111, 3).Finish()), ac, eobRun, Block(1), 1, 5,
             0);
    EXPECT_EQ(At(1, 1), 3);
    EXPECT_EQ(At(1, 3), -3);
    EXPECT_EQ(eobRun, 2u);
    EXPECT_EQ(BitsConsumed(), 8);
}

TEST_F(BlockDecoding, AcRefinementRunCoversFollowingBlocks) {
    for (int b = 0; b < 4; ++b) At(b, 1) = 2;
    // Run of 3 (r = 1, bit 1): corrections for blocks 0, 1, 2; block 3 reads
    // its own end of band (run 1) and its correction.
    Input(BitWriter().Symbol(0x10).Bits(0b1101, 4).Symbol(0x00).Bits(1, 1).Finish());
    for (int b = 0; b < 4; ++b) RefineAc(*bits, ac, eobRun, Block(b), 1, 2, 0);
    EXPECT_EQ(At(0, 1), 3);
    EXPECT_EQ(At(1, 1), 2);
    EXPECT_EQ(At(2, 1), 3);
    EXPECT_EQ(At(3, 1), 3);
    EXPECT_EQ(eobRun, 0u);
    EXPECT_EQ(BitsConsumed(), 5 + 4 + 5 + 1);
}

TEST_F(BlockDecoding, AcRefinementPlacesNewCoefficientAtFirstZero) {
    At(0, 1) = 2;
    // Run 0, sign 0, correction 0 for position 1; then end of band.
    RefineAc(Input(BitWriter().Symbol(0x01).Bits(0b00, 2).EndOfBlock().Finish()), ac, eobRun,
             Block(0), 1, 5, 0);
    EXPECT_EQ(At(0, 1), 2);
    EXPECT_EQ(At(0, 2), -1);
    EXPECT_EQ(BitsConsumed(), 5 + 2 + 5);
}

TEST_F(BlockDecoding, AcRefinementZeroRunStopsAfterSixteenZeros) {
    At(0, 2) = -2;
    // ZRL: zeros at 1 and 3 … 17, position 2 refined on the way; then run 0,
    // sign 1 places +1 at 18.
    RefineAc(
        Input(BitWriter().Symbol(0xF0).Bits(1, 1).Symbol(0x01).Bits(1, 1).EndOfBlock().Finish()),
        ac, eobRun, Block(0), 1, 63, 0);
    EXPECT_EQ(At(0, 2), -3);
    EXPECT_EQ(At(0, 17), 0);
    EXPECT_EQ(At(0, 18), 1);
}

TEST_F(BlockDecoding, AcRefinementZeroRunEndsWithTheBand) {
    At(0, 3) = 2;
    At(0, 6) = 2;  // outside the band 1 … 5: no correction bit for it
    RefineAc(Input(BitWriter().Symbol(0xF0).Bits(0b0, 1).Finish()), ac, eobRun, Block(0), 1, 5, 0);
    EXPECT_EQ(BitsConsumed(), 5 + 1);
    EXPECT_EQ(At(0, 3), 2);
    EXPECT_EQ(At(0, 6), 2);
}

TEST_F(BlockDecoding, AcRefinementCorrections) {
    struct Case {
        std::int16_t before;
        unsigned al;
        unsigned bit;
        std::int16_t after;
    };
    const Case cases[] = {
        {-4, 0, 1, -5}, {4, 0, 1, 5}, {-4, 0, 0, -4}, {8, 2, 1, 12}, {-8, 2, 1, -12}};
    for (const Case& c : cases) {
        At(0, 1) = c.before;
        RefineAc(Input(BitWriter().EndOfBlock().Bits(c.bit, 1).Finish()), ac, eobRun, Block(0), 1,
                 1, c.al);
        EXPECT_EQ(At(0, 1), c.after) << c.before << " al=" << c.al;
    }
}

TEST_F(BlockDecoding, AcRefinementErrors) {
    ExpectFailure(
        [&] { RefineAc(Input(BitWriter().Symbol(0x12).Finish()), ac, eobRun, Block(0), 1, 5, 0); },
        Raised::BadStream, "Invalid value in input stream");
    // Run 2 in the band 1 … 2 passes both zeros and lands outside the band.
    ExpectFailure(
        [&] {
            RefineAc(Input(BitWriter().Symbol(0x21).Bits(1, 1).Finish()), ac, eobRun, Block(1), 1,
                     2, 0);
        },
        Raised::BadStream, "Error in progressive scan");
}

// --- Sequential blocks against the stream's own procedures ---

// The code of each symbol of a table, in the order the table lists them
// (T.81 C.2).
struct Code {
    unsigned bits;
    int length;
};
std::vector<Code> CanonicalCodes(const HuffmanCodes& codes) {
    std::vector<Code> result;
    unsigned code = 0;
    for (int length = 1; length <= 16; ++length, code <<= 1)
        for (int i = 0; i < codes.counts[length - 1]; ++i) result.push_back({code++, length});
    return result;
}

// Data shaped like sequential blocks: a DC code, a few AC codes and mostly
// an end of block, each code with random extra bits for its size, the
// symbols as the tables happen to hold them, so that runs may pass the end
// of a block and categories be refused as in damaged data; now and then a
// random byte. Tables without codes write random bytes.
Bytes RandomBlockData(Rng& rng, const HuffmanCodes& dc, const HuffmanCodes& ac) {
    const std::vector<Code> dcCodes = CanonicalCodes(dc), acCodes = CanonicalCodes(ac);
    BitWriter writer;
    const auto write = [&](const HuffmanCodes& table, const std::vector<Code>& codes, int i) {
        writer.Bits(codes[i].bits, codes[i].length);
        writer.Bits(static_cast<unsigned>(rng()), table.symbols[i] & 15);
    };
    const auto random = [&](const std::vector<Code>& codes) {
        return Uniform(rng, 0, static_cast<int>(codes.size()) - 1);
    };
    const int blocks = Uniform(rng, 1, 12);
    for (int b = 0; b < blocks; ++b) {
        if (dcCodes.empty() || acCodes.empty() || Uniform(rng, 0, 30) == 0) {
            writer.Bits(static_cast<unsigned>(rng()), 8);
            continue;
        }
        write(dc, dcCodes, random(dcCodes));
        for (int n = Uniform(rng, 0, 20); n > 0; --n) write(ac, acCodes, random(acCodes));
        for (int i = 0; i < static_cast<int>(acCodes.size()); ++i)
            if (ac.symbols[i] == 0x00 && Uniform(rng, 0, 4) != 0) write(ac, acCodes, i);
    }
    return writer.Finish();
}

// One block by T.81 F.2.2 through the stream's own reads.
void ReferenceBlock(InputByteStream& in, const HuffmanTable& dc, const HuffmanTable& ac,
                    int& predictor, std::int16_t* block) {
    std::fill_n(block, 64, std::int16_t{0});
    const int category = dc.DecodeSymbol(in);
    if (category > 15) throw JpegBadStream("Invalid DC Difference Category");
    predictor = static_cast<std::int16_t>(predictor + Extend(in.ReadBits(category), category));
    block[0] = static_cast<std::int16_t>(predictor);
    for (int k = 1; k <= 63;) {
        const int symbol = ac.DecodeSymbol(in);
        const int size = symbol & 15;
        if (size == 0) {
            if (symbol != 0xF0) break;  // end of block
            k += 16;
            continue;
        }
        k += symbol >> 4;
        if (k > 63) throw JpegBadStream("Coefficient Index out of Range");
        block[ZigzagToNatural[k]] = static_cast<std::int16_t>(Extend(in.ReadBits(size), size));
        ++k;
    }
}

// What decoding a stretch of blocks gave: their coefficients, the DC predictor or end-of-band run
// after each up to the first failure, the failure, and where the stream stood last.
struct BlocksOutcome {
    std::vector<std::array<std::int16_t, 64>> blocks;
    std::vector<int> states;
    std::string failure;
    long long position = 0;
    bool operator==(const BlocksOutcome&) const = default;
};

template <class Input>
BlocksOutcome DecodeBlocks(Input& in, bool throughReader, const HuffmanTable& dc,
                           const HuffmanTable& ac, int blocks) {
    BlocksOutcome outcome;
    int predictor = 0;
    alignas(16) std::array<std::int16_t, 64> block{};
    const auto done = [&] {
        outcome.blocks.push_back(block);
        outcome.states.push_back(predictor);
    };
    try {
        in.StartBitReading();
        if (throughReader) {
            BitReader reader(in);
            for (int b = 0; b < blocks; ++b, done())
                DecodeSequentialBlock(reader, dc, ac, predictor, block.data());
        } else {
            for (int b = 0; b < blocks; ++b, done())
                ReferenceBlock(in, dc, ac, predictor, block.data());
        }
    } catch (...) {
        outcome.failure = Describe(std::current_exception());
    }
    outcome.position = in.Offset() * 16 + in.BitsLeft() + 1;
    return outcome;
}

// Runs `decode` (an input, and whether to go through the reader or the
// stream's own reads) on the data followed by more data (the quick way
// throughout), ending right after it, followed by a marker, and handed out
// in small chunks, and expects the same outcome both ways each time.
template <class Decode>
void ExpectLockstep(Rng& rng, const Bytes& data, Decode decode) {
    Bytes more = data, marked = data;
    for (int i = 0; i < 600; ++i) more.push_back(static_cast<std::uint8_t>(Uniform(rng, 0, 254)));
    Append(marked, {0xFF, 0xD9});
    std::vector<std::size_t> chunkSizes(4);
    for (auto& size : chunkSizes) size = static_cast<std::size_t>(Uniform(rng, 1, 40));
    for (const Bytes* input : std::array<const Bytes*, 3>{&more, &data, &marked}) {
        MemoryInput reference(*input), fast(*input);
        ASSERT_EQ(decode(fast, true), decode(reference, false));
        ChunkedInput chunkedReference(*input, chunkSizes), chunkedFast(*input, chunkSizes);
        ASSERT_EQ(decode(chunkedFast, true), decode(chunkedReference, false));
    }
}

// Blocks decoded through the reader, quickly while plain data lasts, agree
// with the stream's own procedure in coefficients, failures and positions.
TEST(SequentialBlockLockstep, SameBlocksFailuresAndPositionsAsTheStream) {
    const Shape shapes[] = {Shape::kAny, Shape::kComplete, Shape::kLong,
                            Shape::kAny, Shape::kSingle,   Shape::kEmpty};
    Rng rng(5);
    for (int c = 0; c < 600; ++c) {
        SCOPED_TRACE("case " + std::to_string(c));
        const HuffmanCodes dcCodes = DcLikeCodes(rng, shapes[c % 6 == 5 ? 0 : c % 3]);
        const HuffmanCodes acCodes = AcLikeCodes(rng, shapes[c % 6]);
        const HuffmanTable dc = LoadTable(dcCodes), ac = LoadTable(acCodes);
        const Bytes data = RandomBlockData(rng, dcCodes, acCodes);
        const int blocks = Uniform(rng, 1, 14);
        ExpectLockstep(rng, data, [&](auto& in, bool throughReader) {
            return DecodeBlocks(in, throughReader, dc, ac, blocks);
        });
    }
}

// One refinement pass of a block by T.81 G.1.2.3 through the stream's own
// reads: passing over the band, each non-zero coefficient takes a correction
// bit, and a code's zero coefficients are counted down.
void ReferenceRefine(InputByteStream& in, const HuffmanTable& ac, unsigned& eobRun,
                     std::int16_t* zigzag, unsigned ss, unsigned se, unsigned al) {
    const int bit = 1 << al;
    const auto correct = [&](std::int16_t& c) {
        if (in.ReadBit() != 0) c = static_cast<std::int16_t>(c < 0 ? c - bit : c + bit);
    };
    unsigned k = ss;
    while (eobRun == 0 && k <= se) {
        const int symbol = ac.DecodeSymbol(in);
        int zeros = symbol >> 4;  // to pass before the coefficient, or 15 + the last
        const int size = symbol & 15;
        int value = 0;
        if (size == 1) {
            value = in.ReadBit() != 0 ? bit : -bit;
        } else if (size != 0) {
            throw JpegBadStream("Invalid value in input stream");
        } else if (zeros != 15) {
            eobRun = (1u << zeros) + in.ReadBits(zeros);
            break;
        }
        for (; k <= se; ++k) {
            if (zigzag[k] != 0)
                correct(zigzag[k]);
            else if (zeros-- == 0)
                break;
        }
        if (size == 1) {
            if (k > se) throw JpegBadStream("Error in progressive scan");
            zigzag[k] = static_cast<std::int16_t>(value);
        }
        ++k;
    }
    if (eobRun == 0) return;
    for (; k <= se; ++k)
        if (zigzag[k] != 0) correct(zigzag[k]);
    --eobRun;
}

// Codes of a progressive pass: coefficients of `size` (drawn anew each
// time) after any run, zero runs, end-of-band runs, now and then any
// symbol, each followed by a few random bits for whatever the pass reads
// after it (extra, sign, run and correction bits).
template <class Size>
Bytes RandomPassData(Rng& rng, HuffmanCodes& codes, Size size) {
    for (auto& symbol : codes.symbols) {
        const int pick = Uniform(rng, 0, 9);
        symbol = static_cast<std::uint8_t>(pick < 5    ? Uniform(rng, 0, 15) << 4 | size()
                                           : pick < 8  ? Uniform(rng, 0, 14) << 4
                                           : pick == 8 ? 0xF0
                                                       : Uniform(rng, 0, 255));
    }
    const std::vector<Code> table = CanonicalCodes(codes);
    BitWriter writer;
    for (int n = Uniform(rng, 1, 80); n > 0; --n) {
        if (table.empty() || Uniform(rng, 0, 40) == 0) {
            writer.Bits(static_cast<unsigned>(rng()), 8);
            continue;
        }
        const Code& code =
            table[static_cast<std::size_t>(Uniform(rng, 0, static_cast<int>(table.size()) - 1))];
        writer.Bits(code.bits, code.length);
        writer.Bits(static_cast<unsigned>(rng()), Uniform(rng, 0, 16));
    }
    return writer.Finish();
}

// A first pass of a block's band by T.81 G.1.2.2 through the stream's own
// reads (a block inside an end-of-band run is not read at all).
void ReferenceAcFirst(InputByteStream& in, const HuffmanTable& ac, unsigned& eobRun,
                      std::int16_t* zigzag, unsigned ss, unsigned se, unsigned al) {
    for (unsigned k = ss; k <= se;) {
        const int symbol = ac.DecodeSymbol(in);
        const int run = symbol >> 4, size = symbol & 15;
        if (size == 0 && run < 15) {  // this block and the next eobRun ones end here
            eobRun = (1u << run) - 1 + (run == 0 ? 0 : in.ReadBits(run));
            return;
        }
        k += run;  // a zero run: 15, and the zero coefficient after them
        if (size != 0) {
            if (k > 63) throw JpegBadStream("Data out of range");
            const int value = Extend(in.ReadBits(size), size);
            zigzag[k] = static_cast<std::int16_t>(static_cast<std::uint32_t>(value) << al);
        }
        ++k;
    }
}

// Runs one pass (DecodeAcFirst or RefineAc, or its reference) over a row of
// blocks, through the reader or the stream's own reads, and tells what it
// did: the blocks and end-of-band runs after each block, the failure, the
// position.
template <class Input, class Pass>
BlocksOutcome PassOverBlocks(Input& in, bool throughReader,
                             std::vector<std::array<std::int16_t, 64>> blocks, Pass pass) {
    BlocksOutcome outcome;
    unsigned eobRun = 0;
    try {
        in.StartBitReading();
        std::unique_ptr<BitReader> reader;
        if (throughReader) reader = std::make_unique<BitReader>(in);
        for (auto& block : blocks) {
            pass(reader.get(), eobRun, block.data());
            outcome.blocks.push_back(block);
            outcome.states.push_back(static_cast<int>(eobRun));
        }
    } catch (...) {
        outcome.failure = Describe(std::current_exception());
    }
    outcome.position = in.Offset() * 16 + in.BitsLeft() + 1;
    return outcome;
}

// A pass to test: a random table of one of four shapes, data drawn with
// RandomPassData, a band and a point transform up to `largestAl`.
struct PassCase {
    HuffmanTable ac;
    Bytes data;
    unsigned ss = 1, se = 63, al = 0;
};
template <class Size>
PassCase RandomPassCase(Rng& rng, int c, Size size, int largestAl) {
    const Shape shapes[] = {Shape::kAny, Shape::kComplete, Shape::kLong, Shape::kSingle};
    HuffmanCodes codes = RandomCodes(rng, shapes[c % 4]);
    PassCase pass;
    pass.data = RandomPassData(rng, codes, size);
    pass.ac = LoadTable(codes);
    pass.ss = static_cast<unsigned>(Uniform(rng, 1, 63));
    pass.se = static_cast<unsigned>(Uniform(rng, static_cast<int>(pass.ss), 63));
    pass.al = static_cast<unsigned>(Uniform(rng, 0, largestAl));
    return pass;
}

// First AC passes through the reader agree with the stream's own procedure
// in coefficients, runs, failures and positions.
TEST(AcFirstLockstep, SameBlocksRunsFailuresAndPositionsAsTheStream) {
    Rng rng(11);
    for (int c = 0; c < 600; ++c) {
        SCOPED_TRACE("case " + std::to_string(c));
        const PassCase pass = RandomPassCase(
            rng, c, [&] { return Uniform(rng, 1, 15); }, 13);
        const std::vector<std::array<std::int16_t, 64>> blocks(
            static_cast<std::size_t>(Uniform(rng, 1, 14)));
        ExpectLockstep(rng, pass.data, [&](auto& in, bool throughReader) {
            return PassOverBlocks(
                in, throughReader, blocks,
                [&](BitReader* reader, unsigned& eobRun, std::int16_t* block) {
                    if (eobRun > 0) {
                        --eobRun;
                    } else if (reader != nullptr) {
                        DecodeAcFirst(*reader, pass.ac, eobRun, block, pass.ss, pass.se, pass.al);
                    } else {
                        ReferenceAcFirst(in, pass.ac, eobRun, block, pass.ss, pass.se, pass.al);
                    }
                });
        });
    }
}

// Refinement passes through the reader agree with the stream's own
// procedure in coefficients, runs, failures and positions, on blocks whose
// earlier passes left from none to nearly all coefficients non-zero.
TEST(RefinementLockstep, SameBlocksRunsFailuresAndPositionsAsTheStream) {
    Rng rng(7);
    for (int c = 0; c < 600; ++c) {
        SCOPED_TRACE("case " + std::to_string(c));
        // New coefficients of a refinement have size 1.
        const PassCase pass = RandomPassCase(
            rng, c, [] { return 1; }, 3);
        const int density = Uniform(rng, 0, 10);
        std::vector<std::array<std::int16_t, 64>> history(
            static_cast<std::size_t>(Uniform(rng, 1, 14)));
        for (auto& block : history)
            for (auto& coefficient : block)
                if (Uniform(rng, 0, 9) < density)
                    coefficient = static_cast<std::int16_t>(Uniform(rng, -40, 40) * (2 << pass.al));
        ExpectLockstep(rng, pass.data, [&](auto& in, bool throughReader) {
            return PassOverBlocks(
                in, throughReader, history,
                [&](BitReader* reader, unsigned& eobRun, std::int16_t* block) {
                    if (reader != nullptr)
                        RefineAc(*reader, pass.ac, eobRun, block, pass.ss, pass.se, pass.al);
                    else
                        ReferenceRefine(in, pass.ac, eobRun, block, pass.ss, pass.se, pass.al);
                });
        });
    }
}

}  // namespace
}  // namespace Tessera::Testing
