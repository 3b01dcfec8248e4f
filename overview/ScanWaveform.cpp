#include "overview/ScanWaveform.h"

#include <algorithm>

#include "overview/CdWaveImage.h"

namespace tarvel::overview {

namespace {

constexpr QWORD kNoColumn = ~QWORD{0};

// A level word above full scale (the error value included) counts as silence.
std::uint32_t Side(std::uint32_t word) {
    return word > kFullScaleLevel ? 0 : word;
}

std::uint16_t Normalise(std::uint16_t value, std::uint32_t peak) {
    const long double scaled = static_cast<long double>(value) * kEnvelopeScale / peak;
    return static_cast<std::uint16_t>(static_cast<std::uint32_t>(scaled));
}

}  // namespace

ScanOutput ScanEnvelope(AudioPort& audio, PlayerSession& session, QWORD bytesPerPixel, DWORD c,
                        int width, const std::stop_token& stop) {
    ScanOutput out;
    const std::uint32_t w = width > 0 ? static_cast<std::uint32_t>(width) : 0;
    out.left.assign(w, 0);
    out.right.assign(w, 0);
    const QWORD length = audio.ChannelGetLength(c);
    session.ScanTotal.store(length == BASS_ERROR_QWORD ? 0 : length);
    session.ScanDone.store(0);

    QWORD lastCol = 0;
    std::uint32_t k = 0;
    // 32-bit sums would overflow in a column of more than 131072 readings (a source of some
    // hundreds of hours); a 64-bit sum costs nothing.
    std::uint64_t sumL = 0;
    std::uint64_t sumR = 0;
    std::uint32_t count = 0;
    std::uint32_t peak = 0;
    // Without a column width or a column there is nothing to measure into.
    const bool measurable = w > 0 && bytesPerPixel != 0;
    while (measurable && !session.Closing.load()) {
        if (stop.stop_requested()) {
            return out;
        }
        const DWORD level = audio.ChannelGetLevel(c);
        const std::uint32_t l = Side(level & 0xFFFF);
        const std::uint32_t r = Side(level >> 16);
        peak = std::max({peak, l, r});
        sumL += l;
        sumR += r;
        ++count;

        QWORD col = kNoColumn;
        if (audio.ChannelIsActive(c) == BASS_ACTIVE_PLAYING) {
            const QWORD p = audio.ChannelGetPosition(c);
            if (p != BASS_ERROR_QWORD) {
                session.ScanDone.store(p);
                col = p / bytesPerPixel;
            }
        }
        if (col <= lastCol) {
            continue;
        }
        // The k-th change of column stores the group measured since the previous change at
        // index k, so index 0 keeps its 0.
        ++k;
        if (k <= w - 1) {
            out.left[k] = static_cast<std::uint16_t>(sumL / count);
            out.right[k] = static_cast<std::uint16_t>(sumR / count);
            count = 0;
        }
        if (col >= w) {
            break;
        }
        lastCol = col;
        sumL = 0;
        sumR = 0;
    }

    // Divided by the loudest single reading; silence (peak 0) leaves every value at 0.
    if (peak != 0) {
        for (std::uint32_t j = 0; j < w; ++j) {
            out.left[j] = Normalise(out.left[j], peak);
            out.right[j] = Normalise(out.right[j], peak);
        }
    }
    out.finished = true;
    return out;
}

ScanOutput ScanWaveform(AudioPort& audio, PlayerSession& session, const ScanSettings& settings,
                        DWORD c, int width, const std::stop_token& stop) {
    // Phase A: the image is rebuilt by every CD scan into a fresh buffer; the one PlayChannel
    // plays from stays in the session until PlayChannel is replaced.
    std::shared_ptr<std::vector<std::uint8_t>> image;
    HSTREAM imageStream = 0;
    DWORD source = c;
    if (settings.isCdTrack) {
        // Phase B: copy the track into memory and scan the copy.
        image = BuildCdWaveImage(audio, session, c, stop);
        if (image) {
            imageStream =
                audio.StreamCreateFile(kFromMemory, image->data(), 0,
                                       static_cast<DWORD>(image->size()), BASS_STREAM_DECODE);
        }
        source = imageStream;
        if (stop.stop_requested()) {
            ScanOutput out;
            out.cdImage = std::move(image);
            out.imageStream = imageStream;
            return out;
        }
    }
    // Phase C.
    ScanOutput out = ScanEnvelope(audio, session, settings.bytesPerPixel, source, width, stop);
    out.cdImage = std::move(image);
    out.imageStream = imageStream;
    return out;
}

}  // namespace tarvel::overview
