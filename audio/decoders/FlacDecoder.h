// Decoder over libFLAC for native FLAC and FLAC in Ogg: exact seeks (frames are independent), and
// a length the reads keep. The length in the stream header is checked against the audio that is
// there: a file cut short plays, and reports, only the frames it still holds; frames lost inside
// the stream play as silence of their length, so positions stay those of the recording.
#pragma once

#include "audio/decoders/ByteSource.h"
#include "audio/decoders/OpenResult.h"

namespace tarvel::audio {

OpenResult OpenFlac(ByteSource src);

}  // namespace tarvel::audio
