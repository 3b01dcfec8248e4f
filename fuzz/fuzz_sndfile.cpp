// libsndfile decoder over a memory block (every container it reads).
#include "audio/decoders/SndfileDecoder.h"
#include "fuzz/FuzzInput.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using tarvel::audio::ByteSource;
    if (auto d = tarvel::audio::OpenSndfile(ByteSource::Memory(data, size)).take()) {
        tarvel::fuzz::Exercise(*d);
    }
    return 0;
}
