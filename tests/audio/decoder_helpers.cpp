#include "tests/audio/decoder_helpers.h"

#include <algorithm>

namespace tarvel::decoder_test {

std::vector<std::int16_t> ReadAll(audio::Decoder& d, std::size_t chunkFrames) {
    std::vector<std::int16_t> out;
    std::vector<std::int16_t> buf(chunkFrames * std::max<std::uint32_t>(d.channels(), 1));
    for (;;) {
        const std::size_t n = d.read(buf.data(), chunkFrames);
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
        const std::size_t n = d.read(out.data() + done * d.channels(), frames - done);
        if (n == 0) {
            break;
        }
        done += n;
    }
    out.resize(done * d.channels());
    return out;
}

}  // namespace tarvel::decoder_test
