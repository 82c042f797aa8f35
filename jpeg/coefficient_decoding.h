#pragma once

// Entropy decoding of one data unit: the sequential block of T.81 F.2.2 and
// the four progressive passes of G.1.2 / G.2. Each works on the block it is
// given and the entropy state it is handed (the scan decoder owns both).

#include <cstdint>

namespace Tessera {

class BitReader;
class HuffmanTable;

// A whole sequential block into `natural` (64 coefficients, zeroed first, in
// natural order); the DC predictor moves by the block's difference.
void DecodeSequentialBlock(BitReader& bits, const HuffmanTable& dc, const HuffmanTable& ac,
                           int& predictor, std::int16_t* natural);
// The first pass of a DC scan: the block's DC coefficient, scaled by 2^al.
std::int16_t DecodeDcFirst(BitReader& bits, const HuffmanTable& dc, int& predictor, unsigned al);
// A DC refinement bit into the block's DC coefficient.
void RefineDc(BitReader& bits, std::int16_t& dc, unsigned al);
// The first pass of the band Ss..Se into `zigzag` (64 coefficients in zigzag
// order). A block that a pending end-of-band run covers reads nothing: the
// caller passes it by, counting eobRun down. An end of band with a run sets
// eobRun to the blocks that follow this one without data.
void DecodeAcFirst(BitReader& bits, const HuffmanTable& ac, unsigned& eobRun, std::int16_t* zigzag,
                   unsigned ss, unsigned se, unsigned al);
// A refinement pass of the band Ss..Se; eobRun counts the blocks, this one
// included, that take correction bits only.
void RefineAc(BitReader& bits, const HuffmanTable& ac, unsigned& eobRun, std::int16_t* zigzag,
              unsigned ss, unsigned se, unsigned al);

}  // namespace Tessera
