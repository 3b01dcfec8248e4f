// The one interface every decoder implements, and the registry that picks a decoder for a file.
//
// A decoder turns one source into 16-bit interleaved PCM frames at the source's own rate and
// channel count. It is used by one thread at a time (the engine serialises access per channel).
// A read never waits for slow hardware: a source that cannot deliver at once (a CD drive seeking
// or spinning up) says "not yet", and the caller plays silence meanwhile and asks again.
// Each decoder lives in its own file under audio/decoders/; the registry tries them in a fixed
// probe order by content, never by file extension: "not my format" (nullptr) means "try the next".
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace tarvel::audio {

// What one read gave: some frames, "not yet" (nothing is lost; the same frames come on a later
// read), or the end of the source (also where nothing more can be decoded).
class ReadResult {
  public:
    enum class Status { Frames, WouldBlock, End };

    // `frames` frames; 0 frames is the end.
    static ReadResult Got(std::size_t frames) {
        return {frames, frames > 0 ? Status::Frames : Status::End};
    }
    static ReadResult WouldBlock() { return {0, Status::WouldBlock}; }
    static ReadResult End() { return {0, Status::End}; }

    std::size_t frames() const { return frames_; }
    Status status() const { return status_; }
    bool wouldBlock() const { return status_ == Status::WouldBlock; }
    bool ended() const { return status_ == Status::End; }

  private:
    ReadResult(std::size_t frames, Status status) : frames_(frames), status_(status) {}
    std::size_t frames_;
    Status status_;
};

class Decoder {
  public:
    virtual ~Decoder() = default;

    virtual std::uint32_t rate() const = 0;
    virtual std::uint32_t channels() const = 0;
    // Exact length in frames, known once the decoder is open (no estimate).
    virtual std::uint64_t lengthFrames() const = 0;
    // Reads up to `frames` frames into `out` (frames x channels samples): the frames written,
    // "not yet", or the end.
    virtual ReadResult read(std::int16_t* out, std::size_t frames) = 0;
    // Waits until a read would not say "not yet", at most `limit`. For a reader that may block
    // (a decode-only channel read by the scan); sources that never say "not yet" return at once.
    virtual void waitForData(std::chrono::milliseconds limit) { (void)limit; }
    // Positions the next read at `frame` exactly. False (and position unchanged) if impossible.
    virtual bool seek(std::uint64_t frame) = 0;
    // Kind of source, for BASS_CHANNELINFO::ctype.
    virtual std::uint32_t kind() const = 0;
    // A second decoder of the same source, at frame 0, that gives exactly this one's frames from
    // any frame it is sought to: parts of the source can then be decoded at once on other
    // threads. nullptr where that cannot be promised (modules, CD tracks) or gains nothing
    // (uncompressed PCM). It reads its file only a little ahead, as it is made to decode one
    // stretch and jump on.
    virtual std::unique_ptr<Decoder> openAnother() const { return nullptr; }
};

// Source kinds reported in BASS_CHANNELINFO::ctype.
inline constexpr std::uint32_t kKindWav = 0x10002;
inline constexpr std::uint32_t kKindAiff = 0x10006;
inline constexpr std::uint32_t kKindOtherFile = 0x10000;
inline constexpr std::uint32_t kKindMpeg1 = 0x10003;
inline constexpr std::uint32_t kKindMpeg2 = 0x10004;
inline constexpr std::uint32_t kKindMpeg3 = 0x10005;
inline constexpr std::uint32_t kKindMusic = 0x20000;
inline constexpr std::uint32_t kKindCd = 0x10200;

// Stream form of a file: libsndfile formats, then MPEG audio (layers 1-3). nullptr if neither.
std::unique_ptr<Decoder> OpenStreamFile(const std::string& path);
// Stream form of a memory block read in place (the block must outlive the decoder).
std::unique_ptr<Decoder> OpenStreamMemory(const void* data, std::size_t size);
// Tracker module. rate 0 = 44100. `ramp` softens clicks at volume changes.
std::unique_ptr<Decoder> OpenMusicFile(const std::string& path, std::uint32_t rate, bool ramp);
// Audio-CD track named by a ".cda" stub.
std::unique_ptr<Decoder> OpenCdTrack(const std::string& cdaPath);

}  // namespace tarvel::audio
