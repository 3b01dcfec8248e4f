// Decoder over libmpg123 for MPEG-1/2/2.5 audio layers 1, 2 and 3: gapless (encoder delay and
// padding removed), exact length from a full scan, sample-accurate seeking.
#pragma once

#include <memory>
#include <string>

#include "audio/Decoder.h"

namespace tarvel::audio {

// nullptr unless the file starts (after an optional ID3v2 tag) with a run of consistent MPEG
// audio frame headers and libmpg123 decodes it.
std::unique_ptr<Decoder> OpenMpegFile(const std::string& path);

}  // namespace tarvel::audio
