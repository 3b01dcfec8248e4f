// What opening a source with one decoder gave: the decoder, or why there is none. The registry
// reads the reason to decide whether another decoder may try.
#pragma once

#include <memory>

#include "audio/Decoder.h"

namespace tarvel::audio {

enum class OpenFailure {
    kNotMine,     // not this decoder's format: the next one in the probe order tries
    kDamaged,     // this decoder's format, but nothing playable can be made of it
    kUnreadable,  // the bytes cannot be read at all (no such file, a directory, a device)
};

class OpenResult {
  public:
    // A decoder of any kind; nullptr counts as damaged.
    template <typename D>
    OpenResult(std::unique_ptr<D> decoder)  // NOLINT(google-explicit-constructor)
        : decoder_(std::move(decoder)), failure_(OpenFailure::kDamaged) {}
    static OpenResult Fail(OpenFailure why) { return OpenResult(why); }

    bool ok() const { return decoder_ != nullptr; }
    // Meaningful only when !ok().
    OpenFailure failure() const { return failure_; }
    std::unique_ptr<Decoder> take() { return std::move(decoder_); }

  private:
    explicit OpenResult(OpenFailure why) : failure_(why) {}

    std::unique_ptr<Decoder> decoder_;
    OpenFailure failure_;
};

}  // namespace tarvel::audio
