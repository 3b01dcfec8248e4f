#include "audio/decoders/ContainerSniff.h"

#include <array>
#include <cstring>
#include <string_view>

namespace tarvel::audio {
namespace {

// Magic numbers at offset 0: RIFF/RIFX/RF64/BW64 WAV, AIFF/AIFC (FORM), FLAC, Ogg, Sun/NeXT AU
// (both byte orders), Sony Wave64, Apple CAF, NIST SPHERE, Creative VOC.
constexpr std::array<std::string_view, 13> kMagic = {"RIFF",
                                                     "RIFX",
                                                     "RF64",
                                                     "BW64",
                                                     "FORM",
                                                     "fLaC",
                                                     "OggS",
                                                     ".snd",
                                                     "dns.",
                                                     "riff",
                                                     "caff",
                                                     "NIST",
                                                     "Creative Voice File"};

}  // namespace

bool LooksLikeSndfileContainer(const std::uint8_t* head, std::size_t size) {
    for (const auto magic : kMagic) {
        if (size >= magic.size() && std::memcmp(head, magic.data(), magic.size()) == 0) {
            return true;
        }
    }
    return false;
}

}  // namespace tarvel::audio
