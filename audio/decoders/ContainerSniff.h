// Recognises containers from their first bytes, so that each decoder takes only what it reads and
// files a library would misread (MPEG audio, modules, random bytes) never reach it. For Ogg the
// codec is told by the first packet of the first page.
#pragma once

#include <cstddef>
#include <cstdint>

namespace tarvel::audio {

enum class Container {
    kUnknown,
    kRiffWave,   // "RIFF" ... "WAVE"
    kFlac,       // native FLAC
    kOggFlac,    // FLAC in Ogg
    kOggVorbis,  // Vorbis in Ogg
    kOggOther,   // Opus, Speex, PCM or anything else in Ogg
    kOther,      // another container libsndfile reads: AIFF/AIFC, AU, W64, CAF, VOC, RF64, ...
};

// Bytes of the file's start that SniffContainer needs to see: an Ogg page header with a full
// segment table, and the start of its packet.
inline constexpr std::size_t kSniffBytes = 27 + 255 + 16;

Container SniffContainer(const std::uint8_t* head, std::size_t size);

}  // namespace tarvel::audio
