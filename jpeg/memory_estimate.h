#pragma once

// What a decode holds in memory for a picture, worked out from its frame
// header before anything is allocated (DecodeOptions::maxMemory).

#include <array>
#include <cstdint>

#include "frame_header.h"

namespace Tessera {

// How the picture's scans are decoded, which decides what its components hold.
enum class ScanPlan {
    // A sequential frame whose one scan codes every component: its rows are
    // converted as they are decoded, from one row of MCUs of samples.
    Streaming,
    // A sequential frame of several scans: every component's whole sample
    // plane, one byte a sample.
    WholePlanes,
    // A progressive frame: every component's coefficients, 2 bytes each
    // (64 a block), and one row of MCUs of samples, transformed row by row.
    Coefficients,
};

// The bytes a decode of the frame holds: its components' buffers (whole
// MCUs, as they are stored), one row of 32-bit pixels for the conversions,
// and `heldOutput`, the output buffers the caller's choice of interface adds
// (a whole Image, the picture kept for an orientation).
// The components' samples follow the decode's transform sizes: N × N a
// block at a scaled decode's size N (8 at full size), and bands of three
// rows of MCUs where smooth up-sampling reads the neighbouring rows.
struct SampleGeometry {
    std::array<unsigned, kMaxFrameComponents> blockSize{8, 8, 8, 8};
    unsigned bandMcuRows = 1;
};
std::uint64_t DecodeMemory(const FrameHeader& frame, ScanPlan plan, std::uint64_t heldOutput,
                           const SampleGeometry& samples = {});

}  // namespace Tessera
