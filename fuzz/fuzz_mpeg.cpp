// The MPEG probe and the libmpg123 decoder, opened from a file as the engine does.
#include "audio/decoders/MpegDecoder.h"
#include "fuzz/FuzzInput.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const tarvel::fuzz::MemoryFile file(data, size);
    auto src = tarvel::audio::ByteSource::File(file.path());
    if (!src) {
        return 0;
    }
    if (auto d = tarvel::audio::OpenMpeg(std::move(*src)).take()) {
        tarvel::fuzz::Exercise(*d);
    }
    return 0;
}
