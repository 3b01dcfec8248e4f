// Recognises the containers libsndfile reads from their first bytes, so that files it would
// misread (MPEG audio, modules, random bytes) never reach it.
#pragma once

#include <cstddef>
#include <cstdint>

namespace tarvel::audio {

// Bytes of the file's start that LooksLikeSndfileContainer needs to see.
inline constexpr std::size_t kSniffBytes = 16;

bool LooksLikeSndfileContainer(const std::uint8_t* head, std::size_t size);

}  // namespace tarvel::audio
