#pragma once

// The SSE2 and AVX2 kernels exist in x86-64 builds, whose baseline includes
// SSE2 (MSVC does not announce it with __SSE2__); other targets have the
// portable kernels only.
#if (defined(__x86_64__) || defined(_M_X64)) && (defined(__SSE2__) || defined(_M_X64))
#define TESSERA_X86_KERNELS 1
#else
#define TESSERA_X86_KERNELS 0
#endif
