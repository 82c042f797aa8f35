#include "simd_level.h"

namespace Tessera {

SimdLevel BestSimdLevel() {
    return SimdLevel::Portable;
}

DecoderKernels KernelsFor(SimdLevel) {
    return {InverseDctPortable, YCbCrRowPortable, YCbCrRowHalfPortable, GreyRowPortable};
}

}  // namespace Tessera
