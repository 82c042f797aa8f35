#pragma once

// The segments that define tables and settings for the scans after them
// (T.81 B.2.4): DHT, DQT and DRI, and the APPn and COM segments.

#include <array>
#include <cstdint>
#include <vector>

#include "application_segments.h"
#include "arithmetic_coding_models.h"
#include "huffman_table.h"
#include "quant_table.h"

namespace Tessera {

class InputByteStream;

// The tables that scans select by slot. A decoder keeps them from picture
// to picture: a picture may use a table that an earlier one defined.
struct TableSet {
    std::array<HuffmanTable, 4> dc;
    std::array<HuffmanTable, 4> ac;
    std::array<QuantTable, 4> quant;
};

// What the application segments say besides the frame, as far as they have
// been read.
struct HeaderFacts {
    bool jfif = false;
    int adobeTransform = -1;          // APP14's colour transform; -1 without one
    unsigned orientation = 0;         // Exif orientation 1..8, 0 without one
    bool iccProfile = false;          // an ICC_PROFILE APP2 segment
    std::vector<IccChunk> iccChunks;  // the chunks of those segments, in file order
};

// Each reads the segment after its marker code.
void ReadHuffmanTables(InputByteStream& stream, TableSet& tables);
// lenient: accept 16-bit tables (the scan checks the frame's kind) and zero
// values (tolerant decodes). Returns whether a table it loaded holds a zero.
bool ReadQuantTables(InputByteStream& stream, TableSet& tables, bool lenient);
// DAC: the conditioning values of the arithmetic table slots it names.
void ReadArithmeticConditioning(InputByteStream& stream, ArithmeticConditioning& conditioning);
// The restart interval in MCUs; 0 switches restart markers off.
unsigned ReadRestartInterval(InputByteStream& stream);
// APPn and COM: the facts of APP0, APP1, APP2 and APP14 are noted, the rest
// skipped. `scratch` holds a payload while it is read.
void ReadApplicationSegment(InputByteStream& stream, std::uint8_t code, HeaderFacts& facts,
                            std::vector<std::uint8_t>& scratch);
// The JFIF APP0 segment that strict decodes require right after SOI.
void ReadJfifHeader(InputByteStream& stream, HeaderFacts& facts);

}  // namespace Tessera
