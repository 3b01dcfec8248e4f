// The libvorbisfile decoder over a memory block: Ogg Vorbis, chained streams and damaged
// pages.
#include "audio/decoders/VorbisDecoder.h"
#include "fuzz/FuzzInput.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using tarvel::audio::ByteSource;
    if (auto d = tarvel::audio::OpenVorbis(ByteSource::Memory(data, size)).take()) {
        tarvel::fuzz::Exercise(*d);
    }
    return 0;
}
