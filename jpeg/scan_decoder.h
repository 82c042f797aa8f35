#pragma once

#include <cstdint>
#include <utility>
#include <variant>

#include "arithmetic_scan_decoder.h"
#include "huffman_scan_decoder.h"

namespace Tessera {

class InputByteStream;

// The scan decoder the frame's entropy coding asks for: one of the two,
// chosen once per scan; each call is dispatched once, never per block.
class ScanDecoder {
  public:
    template <typename Coder, typename... Arguments>
    explicit ScanDecoder(std::in_place_type_t<Coder> type, Arguments&&... arguments)
        : coder(type, std::forward<Arguments>(arguments)...) {}

    std::uint64_t Units() const {
        return std::visit([](const auto& c) { return c.Units(); }, coder);
    }
    std::uint64_t UnitsPerMcuRow() const {
        return std::visit([](const auto& c) { return c.UnitsPerMcuRow(); }, coder);
    }
    std::uint64_t DecodedUnits() const {
        return std::visit([](const auto& c) { return c.DecodedUnits(); }, coder);
    }
    void Decode(InputByteStream& stream, std::uint64_t end) {
        std::visit([&](auto& c) { c.Decode(stream, end); }, coder);
    }
    unsigned EobRun() const {
        return std::visit([](const auto& c) { return c.EobRun(); }, coder);
    }
    const ScanWalk::Repairs& Repaired() const {
        return std::visit([](const auto& c) -> const ScanWalk::Repairs& { return c.Repaired(); },
                          coder);
    }
    // A Huffman scan whose data is missing altogether: every unit is filled.
    void MarkCutOff() { std::get<HuffmanScanDecoder>(coder).MarkCutOff(); }
    // Huffman-coded scans only (see PictureDecoder::SkipToRestartInterval).
    void StartAtInterval(std::uint64_t interval, const std::uint8_t* data) {
        std::get<HuffmanScanDecoder>(coder).StartAtInterval(interval, data);
    }

  private:
    std::variant<HuffmanScanDecoder, ArithmeticScanDecoder> coder;
};

}  // namespace Tessera
