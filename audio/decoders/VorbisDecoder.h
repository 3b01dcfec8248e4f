// Decoder over libvorbisfile for Ogg Vorbis: sample-exact seeking (ov_pcm_seek) and the start
// and end trimming the stream's granule positions ask for, as the reference decoder does.
// Chained streams play as one while their links share rate and channel count; the source ends
// before the first link that changes either.
#pragma once

#include "audio/decoders/ByteSource.h"
#include "audio/decoders/OpenResult.h"

namespace tarvel::audio {

OpenResult OpenVorbis(ByteSource src);

}  // namespace tarvel::audio
