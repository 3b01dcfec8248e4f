#include "audio/decoders/CdDecoder.h"

#include "audio/cd/CdDevice.h"
#include "audio/cd/CdReadAhead.h"
#include "audio/cd/CdSectorReader.h"
#include "audio/cd/CdaStub.h"
#include "audio/decoders/SourceFile.h"

namespace tarvel::audio {
namespace {

// Opening returns at once: the read-ahead thread pays for the drive's spin-up, and reads say
// "not yet" until its first sectors are in.
class CdDecoder final : public Decoder {
  public:
    explicit CdDecoder(std::unique_ptr<CdSectorSource> source) : ahead_(std::move(source)) {}

    std::uint32_t rate() const override { return kCdRate; }
    std::uint32_t channels() const override { return kCdChannels; }
    std::uint64_t lengthFrames() const override { return ahead_.lengthFrames(); }
    std::uint32_t kind() const override { return kKindCd; }
    ReadResult read(std::int16_t* out, std::size_t frames) override {
        return ahead_.read(out, frames);
    }
    void waitForData(std::chrono::milliseconds limit) override { ahead_.waitForData(limit); }
    bool seek(std::uint64_t frame) override { return ahead_.seek(frame); }

  private:
    CdReadAhead ahead_;
};

}  // namespace

std::unique_ptr<Decoder> MakeCdDecoder(std::unique_ptr<CdSectorSource> source) {
    if (!source || source->sectors() == 0) {
        return nullptr;
    }
    return std::make_unique<CdDecoder>(std::move(source));
}

std::unique_ptr<Decoder> OpenCdStub(const std::string& cdaPath) {
    auto file = SourceFile::Open(cdaPath);
    if (!file || file->size() != kCdaStubBytes) {
        return nullptr;
    }
    const auto bytes = file->peek(0, kCdaStubBytes);
    const auto stub = ParseCdaStub(bytes.data(), bytes.size());
    if (!stub) {
        return nullptr;
    }
    // The track number decides; the stub's sector fields describe the disc it was made from,
    // and the disc's own table of contents is the better authority for where the track lies.
    return MakeCdDecoder(CdSectorReader::Open(OpenCdDevice(cdaPath), stub->track));
}

}  // namespace tarvel::audio
