#pragma once

// The example Huffman tables of T.81 Annex K.3 (Tables K.3 to K.6): what
// most encoders write, and what motion-JPEG frames leave out, relying on
// decoders to know them.

namespace Tessera {

class HuffmanTable;

// Loads the standard table for the class (DC or AC) and slot: slot 0 the
// luminance table, slot 1 the chrominance one. False for other slots, which
// have no standard table (nothing loaded).
bool LoadStandardHuffmanTable(HuffmanTable& table, bool dc, unsigned slot);

}  // namespace Tessera
