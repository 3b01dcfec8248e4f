// The libopenmpt module decoder, opened from a file as the engine does.
#include "audio/decoders/OpenmptDecoder.h"
#include "fuzz/FuzzInput.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const tarvel::fuzz::MemoryFile file(data, size);
    if (auto d = tarvel::audio::OpenModuleFile(file.path(), 0, true)) {
        tarvel::fuzz::Exercise(*d);
    }
    return 0;
}
