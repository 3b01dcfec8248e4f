// Plain RIFF/WAVE files and images (PCM and IEEE float, plain or extensible) read by our own
// parser, which also takes the size fields a recorder never came back to fill in: a RIFF or
// data size of 0, or one running past the end, means the samples run to the end of the bytes.
// Other codings in a WAV file (ADPCM, GSM, ...) are left to libsndfile.
#pragma once

#include "audio/decoders/ByteSource.h"
#include "audio/decoders/OpenResult.h"

namespace tarvel::audio {

OpenResult OpenWav(ByteSource src);

}  // namespace tarvel::audio
