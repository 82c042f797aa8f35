#pragma once

#include "colour_kernels.h"
#include "inverse_dct.h"

namespace Tessera {

enum class SimdLevel { Portable, Sse2, Avx2 };

struct DecoderKernels {
    InverseDctKernel inverseDct;
    YCbCrRowKernel yccRow;
    YCbCrRowKernel yccRowHalf;
    GreyRowKernel greyRow;
};

SimdLevel BestSimdLevel();
DecoderKernels KernelsFor(SimdLevel level);

}  // namespace Tessera
