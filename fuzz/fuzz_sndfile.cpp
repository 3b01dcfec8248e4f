// libsndfile decoder over a memory block (every container it reads).
#include "audio/decoders/SndfileDecoder.h"
#include "fuzz/FuzzInput.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (auto d = tarvel::audio::OpenSndfileMemory(data, size)) {
        tarvel::fuzz::Exercise(*d);
    }
    return 0;
}
