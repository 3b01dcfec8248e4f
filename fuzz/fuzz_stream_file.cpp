// The stream form's whole probe order on a file: every decoder of the table in turn.
#include "fuzz/FuzzInput.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const tarvel::fuzz::MemoryFile file(data, size);
    if (auto d = tarvel::audio::OpenStreamFile(file.path())) {
        tarvel::fuzz::Exercise(*d);
    }
    return 0;
}
