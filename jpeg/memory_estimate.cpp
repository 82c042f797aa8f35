#include "memory_estimate.h"

namespace Tessera {

std::uint64_t DecodeMemory(const FrameHeader& frame, ScanPlan plan, std::uint64_t heldOutput,
                           const SampleGeometry& samples) {
    // A progressive block's 64 coefficients, and its DC value once more in
    // the components' plane of DC values.
    constexpr std::uint64_t kBlockValues = 64 + 1;
    constexpr std::uint64_t kCoefficientBytes = 2;
    constexpr std::uint64_t kPixelBytes = 4;
    std::uint64_t bytes = heldOutput + kPixelBytes * frame.width;
    for (unsigned i = 0; i < frame.componentCount; ++i) {
        const FrameComponent& component = frame.components[i];
        const std::uint64_t blockColumns =
            std::uint64_t{frame.mcuColumns} * component.horizontalSampling;
        const std::uint64_t blockRows = std::uint64_t{frame.mcuRows} * component.verticalSampling;
        const std::uint64_t blockSamples =
            std::uint64_t{samples.blockSize[i]} * samples.blockSize[i];
        // One row of MCUs holds `verticalSampling` rows of the component's blocks.
        const std::uint64_t mcuRowBytes =
            blockColumns * component.verticalSampling * blockSamples * samples.bandMcuRows;
        switch (plan) {
            case ScanPlan::Streaming:
                bytes += mcuRowBytes;
                break;
            case ScanPlan::WholePlanes:
                bytes += blockRows * blockColumns * blockSamples;
                break;
            case ScanPlan::Coefficients:
                bytes += blockRows * blockColumns * kBlockValues * kCoefficientBytes + mcuRowBytes;
                break;
        }
    }
    return bytes;
}

}  // namespace Tessera
