// The sample rates and channel counts a source may have. A header outside them is damaged, not a
// recording: believing it would cost gigabytes per read (4294967295 Hz) or read nothing at all
// (a 20 ms reading of a 24 Hz source is no frame).
//  - 1000 Hz lies well below every rate an audio format or device uses (telephony's 8000 Hz,
//    the 3906 Hz floor of Creative Voice files, old game samples at 4-5 kHz).
//  - 768 kHz is the highest PCM rate recorders and converters offer (DXD is 352.8/384 kHz; bat
//    detectors record at 250-500 kHz).
//  - 64 channels covers multitrack recordings and 7th-order Ambisonics; WAV's channel mask names
//    18 speakers.
#pragma once

#include <cstdint>

namespace tarvel::audio {

inline constexpr std::uint32_t kMinSourceRate = 1000;
inline constexpr std::uint32_t kMaxSourceRate = 768000;
inline constexpr std::uint32_t kMaxSourceChannels = 64;

inline bool IsPlausibleFormat(std::uint32_t rate, std::uint32_t channels) {
    return rate >= kMinSourceRate && rate <= kMaxSourceRate && channels >= 1 &&
           channels <= kMaxSourceChannels;
}

}  // namespace tarvel::audio
