// WAV files whose size fields libsndfile will not trust: a RIFF or data size of 0 (a recorder
// that never came back to fill them in) means the samples run to the end of the file.
#pragma once

#include <memory>
#include <string>

#include "audio/Decoder.h"

namespace tarvel::audio {

// nullptr unless the file is a RIFF/WAVE file in a sample format the WAV parser knows.
std::unique_ptr<Decoder> OpenWavFileLenient(const std::string& path);

}  // namespace tarvel::audio
