#pragma once

#include <algorithm>
#include <bit>
#include <cstdint>

// Loops of independent per-sample work are built twice where the toolchain can choose between
// builds at run time: for the baseline x86-64 processor and for AVX2 (twice the vector width; no
// fused multiply-add, so the results are the same to the bit). On Linux the loader chooses
// (target_clones); on Windows, which has no such loader support, a function pointer is chosen on
// the first call. Not under ThreadSanitizer, whose runtime is not ready yet when the load-time
// choice runs.
//
//     ORLIX_VECTOR_LOOP(void, scale, (float* x, int n), (x, n)) // always noexcept
//     {
//         for (int i = 0; i < n; ++i) ...
//     }
#if defined(__SANITIZE_THREAD__)
#define ORLIX_THREAD_SANITIZER 1
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer)
#define ORLIX_THREAD_SANITIZER 1
#endif
#endif

#if defined(__x86_64__) && defined(__linux__) && (defined(__GNUC__) || defined(__clang__)) &&                \
    !defined(ORLIX_THREAD_SANITIZER)
#define ORLIX_VECTOR_LOOP(result, name, parameters, arguments)                                               \
    __attribute__((target_clones("avx2", "default"))) result name parameters noexcept
#elif defined(__x86_64__) && defined(_WIN32) && defined(__GNUC__)
namespace orlix::fastmath
{
inline bool processorHasAvx2() noexcept
{
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx2");
}
} // namespace orlix::fastmath
#define ORLIX_VECTOR_LOOP(result, name, parameters, arguments)                                               \
    __attribute__((always_inline)) inline result name##Loop parameters noexcept;                                       \
    __attribute__((target("avx2"))) inline result name##Avx2 parameters noexcept { return name##Loop arguments; }     \
    inline result name##Baseline parameters noexcept { return name##Loop arguments; }                                 \
    result name parameters noexcept                                                                           \
    {                                                                                                         \
        static const auto chosen = orlix::fastmath::processorHasAvx2() ? &name##Avx2 : &name##Baseline;       \
        return chosen arguments;                                                                              \
    }                                                                                                         \
    __attribute__((always_inline)) inline result name##Loop parameters noexcept
#else
#define ORLIX_VECTOR_LOOP(result, name, parameters, arguments) result name parameters noexcept
#endif

// Branch-free float exp2 and log2 for the per-sample loops: plain arithmetic and bit moves,
// so the compiler turns whole loops of them into SSE2 code, where a library call would keep
// every sample on its own. Both stay within about 2e-7 (relative for exp2, absolute for log2).
namespace orlix::fastmath
{

// 2^x for x in -126..126 (limited to that range).
inline float exp2(float x) noexcept
{
    x = std::min(std::max(x, -126.0f), 126.0f);
    constexpr float roundingShift = 12582912.0f; // 1.5 * 2^23: adding it rounds to an integer
    const float shifted = x + roundingShift;
    const float whole = shifted - roundingShift;
    const float f = x - whole; // -0.5 .. 0.5
    const auto n = std::bit_cast<std::int32_t>(shifted) - std::bit_cast<std::int32_t>(roundingShift);
    float p = 1.535336188319500e-4f;
    p = p * f + 1.339887440266574e-3f;
    p = p * f + 9.618437357674640e-3f;
    p = p * f + 5.550332471162809e-2f;
    p = p * f + 2.402264791363012e-1f;
    p = p * f + 6.931472028550421e-1f;
    const float scale = std::bit_cast<float>((n + 127) << 23);
    return (1.0f + p * f) * scale;
}

// log2(v) for a positive, normal v.
inline float log2(float v) noexcept
{
    const auto bits = std::bit_cast<std::int32_t>(v);
    const std::int32_t exponent = (bits >> 23) - 127;
    const float mantissa = std::bit_cast<float>((bits & 0x007fffff) | 0x3f800000); // 1 .. 2
    // Every value is computed before it is chosen, so the choices are plain selects.
    const bool high = mantissa > 1.41421356f;
    const float halved = mantissa * 0.5f;
    const float m = high ? halved : mantissa;
    const std::int32_t raised = exponent + 1;
    const float e = (float)(high ? raised : exponent);
    const float x = m - 1.0f; // -0.29 .. 0.41
    const float z = x * x;
    float p = 7.0376836292e-2f;
    p = p * x - 1.1514610310e-1f;
    p = p * x + 1.1676998740e-1f;
    p = p * x - 1.2420140846e-1f;
    p = p * x + 1.4249322787e-1f;
    p = p * x - 1.6668057665e-1f;
    p = p * x + 2.0000714765e-1f;
    p = p * x - 2.4999993993e-1f;
    p = p * x + 3.3333331174e-1f;
    const float ln = x + (x * z * p - 0.5f * z);
    return ln * 1.44269504088896341f + e;
}

} // namespace orlix::fastmath
