// Decoder over libsndfile for the containers and codings our own readers leave to it: AIFF/AIFC,
// Sun/NeXT AU, Wave64, CAF, VOC, WAV with ADPCM or GSM, Ogg Opus and the rest it reads.
#pragma once

#include "audio/decoders/ByteSource.h"
#include "audio/decoders/OpenResult.h"

namespace tarvel::audio {

OpenResult OpenSndfile(ByteSource src);

}  // namespace tarvel::audio
