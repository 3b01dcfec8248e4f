// Decoder over libmpg123 for MPEG-1/2/2.5 audio layers 1, 2 and 3: gapless (encoder delay and
// padding removed), exact length from a full scan, sample-accurate seeking.
#pragma once

#include "audio/decoders/ByteSource.h"
#include "audio/decoders/OpenResult.h"

namespace tarvel::audio {

// Not mine unless the bytes start (after optional ID3v2 tags) with a run of consistent MPEG audio
// frame headers; damaged if libmpg123 then finds nothing it can decode.
OpenResult OpenMpeg(ByteSource src);

}  // namespace tarvel::audio
