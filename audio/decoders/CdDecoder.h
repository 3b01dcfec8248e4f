// Decoder for an audio-CD track named by a ".cda" stub; sectors are read ahead on a thread of
// its own, so that a slow drive makes reads say "not yet" instead of holding up the reader.
#pragma once

#include <memory>
#include <string>

#include "audio/Decoder.h"
#include "audio/cd/CdSectorSource.h"

namespace tarvel::audio {

// nullptr if the stub is malformed or the disc in the drive lacks the track.
std::unique_ptr<Decoder> OpenCdStub(const std::string& cdaPath);
// A CD track over any sector source (tests script a slow drive with it); nullptr if empty.
std::unique_ptr<Decoder> MakeCdDecoder(std::unique_ptr<CdSectorSource> source);

}  // namespace tarvel::audio
