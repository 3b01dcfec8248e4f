#include "tests/audio/decoder_helpers.h"

#include <algorithm>
#include <chrono>

namespace tarvel::decoder_test {

namespace {
// A CD track's reads say "not yet" until its read-ahead has the sectors; the tests wait.
constexpr std::chrono::milliseconds kWaitStep{100};
}  // namespace

std::vector<std::int16_t> ReadAll(audio::Decoder& d, std::size_t chunkFrames) {
    std::vector<std::int16_t> out;
    std::vector<std::int16_t> buf(chunkFrames * std::max<std::uint32_t>(d.channels(), 1));
    for (;;) {
        const audio::ReadResult r = d.read(buf.data(), chunkFrames);
        if (r.wouldBlock()) {
            d.waitForData(kWaitStep);
            continue;
        }
        const std::size_t n = r.frames();
        if (n == 0) {
            break;
        }
        out.insert(out.end(), buf.begin(),
                   buf.begin() + static_cast<std::ptrdiff_t>(n * d.channels()));
    }
    return out;
}

std::vector<std::int16_t> ReadFrames(audio::Decoder& d, std::size_t frames) {
    std::vector<std::int16_t> out(frames * d.channels());
    std::size_t done = 0;
    while (done < frames) {
        const audio::ReadResult r = d.read(out.data() + done * d.channels(), frames - done);
        if (r.wouldBlock()) {
            d.waitForData(kWaitStep);
            continue;
        }
        const std::size_t n = r.frames();
        if (n == 0) {
            break;
        }
        done += n;
    }
    out.resize(done * d.channels());
    return out;
}

}  // namespace tarvel::decoder_test
