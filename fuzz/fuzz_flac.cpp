// The libFLAC decoder over a memory block: native FLAC and FLAC in Ogg, with its check of the
// length against the frames in the file.
#include "audio/decoders/FlacDecoder.h"
#include "fuzz/FuzzInput.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using tarvel::audio::ByteSource;
    if (auto d = tarvel::audio::OpenFlac(ByteSource::Memory(data, size)).take()) {
        tarvel::fuzz::Exercise(*d);
    }
    return 0;
}
