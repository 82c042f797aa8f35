#pragma once

// The marker codes of a JPEG stream (T.81 Table B.1): the byte after 0xFF.

#include <cstdint>

namespace Tessera {

inline constexpr std::uint8_t kMarkerPrefix = 0xFF;

enum Marker : std::uint8_t {
    TEM = 0x01,   // for temporary private use in arithmetic coding; no segment
    SOF0 = 0xC0,  // baseline
    SOF1 = 0xC1,  // extended sequential, Huffman
    SOF2 = 0xC2,  // progressive, Huffman
    SOF3 = 0xC3,  // lossless, Huffman
    DHT = 0xC4,
    SOF5 = 0xC5,
    SOF6 = 0xC6,
    SOF7 = 0xC7,
    SOF9 = 0xC9,  // the arithmetic-coded frames, 0xC9 .. 0xCF but 0xCC (DAC)
    SOF10 = 0xCA,
    SOF11 = 0xCB,
    DAC = 0xCC,  // arithmetic conditioning tables
    SOF13 = 0xCD,
    SOF14 = 0xCE,
    SOF15 = 0xCF,
    RST0 = 0xD0,  // RST0 .. RST7: restart markers, numbered modulo 8
    RST7 = 0xD7,
    SOI = 0xD8,
    EOI = 0xD9,
    SOS = 0xDA,
    DQT = 0xDB,
    DRI = 0xDD,
    DHP = 0xDE,
    APP0 = 0xE0,
    APP1 = 0xE1,
    APP2 = 0xE2,
    APP14 = 0xEE,
    APP15 = 0xEF,
    COM = 0xFE,
};

inline constexpr unsigned kRestartCycle = 8;

constexpr bool IsRestartMarker(unsigned code) {
    return code >= RST0 && code <= RST7;
}

}  // namespace Tessera
