#pragma once
// Whether the processor the program runs on has AVX2 (and POPCNT, which
// every processor with AVX2 has), or AVX-512, asked once. The hot loops of
// the reader and the cutter have forms for them, built with the target
// attribute and chosen at run time, so the build itself stays for any
// x86-64 (and for clang).

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#define CV_AVX2_PATHS 1
#endif

namespace cv {

#if defined(CV_AVX2_PATHS)
inline bool ProcessorHasAvx2()
{
    static const bool has = [] {
        __builtin_cpu_init();
        return __builtin_cpu_supports("avx2") && __builtin_cpu_supports("popcnt");
    }();
    return has;
}

// Whether it also has the 512-bit integer instructions on bytes and words
// (AVX-512 F and BW; the system saves their registers, which the check of
// the compiler's run-time library makes sure of). Each check below asks the
// one above first, which has made the run-time library's record ready.
inline bool ProcessorHasAvx512Bw()
{
    static const bool has =
        ProcessorHasAvx2() && __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw");
    return has;
}

// Whether it also has the byte permutes of AVX-512 VBMI on 128- and 256-bit
// vectors (VL) and the bit deposit and extract of BMI2.
inline bool ProcessorHasAvx512Vbmi()
{
    static const bool has = ProcessorHasAvx512Bw() && __builtin_cpu_supports("avx512vbmi")
                            && __builtin_cpu_supports("avx512vl") && __builtin_cpu_supports("bmi2");
    return has;
}
#else
inline bool ProcessorHasAvx2() { return false; }
inline bool ProcessorHasAvx512Bw() { return false; }
inline bool ProcessorHasAvx512Vbmi() { return false; }
#endif

} // namespace cv
