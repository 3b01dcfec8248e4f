// The four ways the engine opens a source. The stream form goes through a table of decoders in a
// fixed probe order, by content, never by file extension. Modules are only opened when asked
// for, because almost any file "is" some module to a lenient loader.
#include "audio/decoders/Registry.h"

#include <array>

#include "audio/Decoder.h"
#include "audio/decoders/CdDecoder.h"
#include "audio/decoders/FlacDecoder.h"
#include "audio/decoders/FormatLimits.h"
#include "audio/decoders/MpegDecoder.h"
#include "audio/decoders/OpenmptDecoder.h"
#include "audio/decoders/SndfileDecoder.h"
#include "audio/decoders/VorbisDecoder.h"
#include "audio/decoders/WavDecoder.h"

namespace tarvel::audio {
namespace {

constexpr std::array kStreamDecoders = {
    StreamDecoder{"wav", OpenWav},       StreamDecoder{"flac", OpenFlac},
    StreamDecoder{"vorbis", OpenVorbis}, StreamDecoder{"sndfile", OpenSndfile},
    StreamDecoder{"mpeg", OpenMpeg},
};

}  // namespace

std::span<const StreamDecoder> StreamProbeOrder() {
    return kStreamDecoders;
}

OpenResult OpenStream(const ByteSource& src) {
    OpenFailure why = OpenFailure::kNotMine;
    for (const StreamDecoder& entry : StreamProbeOrder()) {
        auto bytes = src.duplicate();
        if (!bytes) {
            return OpenResult::Fail(OpenFailure::kUnreadable);
        }
        OpenResult result = entry.open(std::move(*bytes));
        if (result.ok()) {
            auto d = result.take();
            if (IsPlausibleFormat(d->rate(), d->channels())) {
                return d;
            }
            why = OpenFailure::kDamaged;
            continue;
        }
        if (result.failure() == OpenFailure::kUnreadable) {
            return result;
        }
        if (result.failure() == OpenFailure::kDamaged) {
            why = OpenFailure::kDamaged;
        }
    }
    return OpenResult::Fail(why);
}

OpenResult OpenStreamAt(const std::string& path) {
    const auto src = ByteSource::File(path);
    if (!src) {
        return OpenResult::Fail(OpenFailure::kUnreadable);
    }
    return OpenStream(*src);
}

std::unique_ptr<Decoder> OpenStreamFile(const std::string& path) {
    return OpenStreamAt(path).take();
}

std::unique_ptr<Decoder> OpenStreamMemory(const void* data, std::size_t size) {
    if (data == nullptr || size == 0) {
        return nullptr;
    }
    return OpenStream(ByteSource::Memory(data, size)).take();
}

std::unique_ptr<Decoder> OpenMusicFile(const std::string& path, std::uint32_t rate, bool ramp) {
    auto src = ByteSource::File(path);
    if (!src) {
        return nullptr;
    }
    return OpenModule(std::move(*src), rate, ramp).take();
}

std::unique_ptr<Decoder> OpenCdTrack(const std::string& cdaPath) {
    return OpenCdStub(cdaPath);
}

}  // namespace tarvel::audio
