// The decoders of the stream form in their probe order, and the search through them.
#pragma once

#include <span>
#include <string>

#include "audio/decoders/ByteSource.h"
#include "audio/decoders/OpenResult.h"

namespace tarvel::audio {

struct StreamDecoder {
    const char* name;
    OpenResult (*open)(ByteSource src);
};

// Our own WAV reader, then libFLAC (native and Ogg FLAC) and libvorbisfile, then libsndfile for
// the containers and codings they leave, MPEG audio (found by its strict probe) last.
std::span<const StreamDecoder> StreamProbeOrder();

// Tries the probe order on `src`. "Not mine" and "damaged" pass the bytes on to the next decoder
// (a later, more lenient reader may still find audio); "unreadable" ends the search. A decoder
// reporting a rate or channel count outside FormatLimits counts as damaged. A failure says
// "damaged" if any decoder claimed the bytes, otherwise "not mine".
OpenResult OpenStream(const ByteSource& src);
// The same for a file; "unreadable" if it is not a readable regular file.
OpenResult OpenStreamAt(const std::string& path);

}  // namespace tarvel::audio
