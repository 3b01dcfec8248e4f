// Which audio engine versions the player accepts: a 2.3 release not older than 2.3.0.3.
#pragma once

#include "audio/bass.h"

namespace tarvel {

inline constexpr DWORD kRequiredMajorMinor = 0x0203;
inline constexpr DWORD kRequiredMinBuild = 3;

constexpr bool VersionAccepted(DWORD version) {
    return (version >> 16) == kRequiredMajorMinor && (version & 0xFFFF) >= kRequiredMinBuild;
}

}  // namespace tarvel
