#pragma once

// Byte shuffles for the pixel loops, compiled for SSSE3 where the target is x86 and taken
// only where the processor has it: a plain x86-64 build may run on one without.

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define KELVORA_X86 1

namespace kelvora::codec {

[[nodiscard]] inline bool hasSsse3()
{
    static const bool has = __builtin_cpu_supports("ssse3");
    return has;
}

}  // namespace kelvora::codec
#endif
