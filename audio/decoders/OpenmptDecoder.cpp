#include "audio/decoders/OpenmptDecoder.h"

namespace tarvel::audio {
std::unique_ptr<Decoder> OpenModuleFile(const std::string&, std::uint32_t, bool) {
    return nullptr;
}
}  // namespace tarvel::audio
