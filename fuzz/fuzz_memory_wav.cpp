// The in-place WAV image parser and decoder. The block is copied to an exact-size allocation so
// that any read past its end is caught.
#include <memory>

#include "audio/decoders/WavImage.h"
#include "fuzz/FuzzInput.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    auto block = std::make_unique<std::uint8_t[]>(size);
    std::copy(data, data + size, block.get());
    tarvel::audio::ParseWavImage(block.get(), size);
    if (auto d = tarvel::audio::OpenStreamMemory(block.get(), size)) {
        tarvel::fuzz::Exercise(*d);
    }
    return 0;
}
