// Conversions from the sample formats decoders meet to the engine's 16-bit output.
// Integer sources are rounded to nearest (ties up) and clipped; float sources are scaled by
// 32768, so a 16-bit signal stored as float comes back bit-exact.
#pragma once

#include <cmath>
#include <cstdint>

namespace tarvel::audio {

inline constexpr std::int32_t kS16Max = 32767;
inline constexpr std::int32_t kS16Min = -32768;
inline constexpr double kFloatScale = 32768.0;

inline std::int16_t ClipToS16(std::int64_t v) {
    if (v > kS16Max) {
        return static_cast<std::int16_t>(kS16Max);
    }
    if (v < kS16Min) {
        return static_cast<std::int16_t>(kS16Min);
    }
    return static_cast<std::int16_t>(v);
}

// A left-justified 32-bit sample (the 16 high bits are the 16-bit value).
inline std::int16_t S32ToS16(std::int32_t v) {
    constexpr std::int64_t kHalfStep = 1 << 15;
    return ClipToS16((static_cast<std::int64_t>(v) + kHalfStep) >> 16);
}

inline std::int16_t S24ToS16(std::int32_t v) {
    constexpr std::int32_t kHalfStep = 1 << 7;
    return ClipToS16((static_cast<std::int64_t>(v) + kHalfStep) >> 8);
}

inline std::int16_t U8ToS16(std::uint8_t v) {
    constexpr int kU8Bias = 128;
    return static_cast<std::int16_t>((static_cast<int>(v) - kU8Bias) * 256);
}

inline std::int16_t FloatToS16(double v) {
    if (!(v == v)) {  // NaN decodes as silence rather than an arbitrary value
        return 0;
    }
    const double scaled = v * kFloatScale;
    if (scaled >= kS16Max) {
        return static_cast<std::int16_t>(kS16Max);
    }
    if (scaled <= kS16Min) {
        return static_cast<std::int16_t>(kS16Min);
    }
    return static_cast<std::int16_t>(std::lrint(scaled));
}

}  // namespace tarvel::audio
