// The four ways the engine opens a source, and the probe order for the stream form:
// libsndfile's containers by their magic (with a lenient WAV reader behind it), then MPEG audio
// with its strict probe. Modules are only opened when asked for, because almost any file "is" some
// module to a lenient loader.
#include <algorithm>

#include "audio/Decoder.h"
#include "audio/decoders/CdDecoder.h"
#include "audio/decoders/ContainerSniff.h"
#include "audio/decoders/FileWavDecoder.h"
#include "audio/decoders/MemoryWavDecoder.h"
#include "audio/decoders/MpegDecoder.h"
#include "audio/decoders/OpenmptDecoder.h"
#include "audio/decoders/SndfileDecoder.h"
#include "audio/decoders/SourceFile.h"

namespace tarvel::audio {

std::unique_ptr<Decoder> OpenStreamFile(const std::string& path) {
    const auto file = SourceFile::Open(path);
    if (!file) {
        return nullptr;
    }
    const auto head = file->peek(0, kSniffBytes);
    if (LooksLikeSndfileContainer(head.data(), head.size())) {
        auto d = OpenSndfileFile(path);
        if (d && d->lengthFrames() > 0) {
            return d;
        }
        // libsndfile takes a data size of 0 literally; such WAV files hold their samples up to
        // the end of the file.
        if (auto lenient = OpenWavFileLenient(path)) {
            return lenient;
        }
        if (d) {
            return d;
        }
    }
    return OpenMpegFile(path);
}

std::unique_ptr<Decoder> OpenStreamMemory(const void* data, std::size_t size) {
    if (data == nullptr || size == 0) {
        return nullptr;
    }
    if (auto d = OpenMemoryWav(data, size)) {
        return d;
    }
    const auto* bytes = static_cast<const std::uint8_t*>(data);
    if (LooksLikeSndfileContainer(bytes, std::min(size, kSniffBytes))) {
        return OpenSndfileMemory(data, size);
    }
    return nullptr;
}

std::unique_ptr<Decoder> OpenMusicFile(const std::string& path, std::uint32_t rate, bool ramp) {
    return OpenModuleFile(path, rate, ramp);
}

std::unique_ptr<Decoder> OpenCdTrack(const std::string& cdaPath) {
    return OpenCdStub(cdaPath);
}

}  // namespace tarvel::audio
