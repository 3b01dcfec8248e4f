#include "overview/CdWaveImage.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <new>

#include "audio/LittleEndian.h"

namespace tarvel::overview {

namespace {

constexpr std::uint16_t kFormatChunkSize = 16;
constexpr std::uint16_t kPcmFormat = 1;
constexpr std::uint16_t kBits8 = 8;
constexpr std::uint16_t kBits16 = 16;
constexpr int kBitsPerByte = 8;

void PutTag(std::uint8_t* p, const char (&tag)[5]) {
    std::memcpy(p, tag, 4);
}

}  // namespace

WaveFormat CdWaveFormat(const BASS_CHANNELINFO& playInfo, DWORD rate) {
    WaveFormat f;
    const auto chans = static_cast<std::uint16_t>(playInfo.chans);
    f.channels = chans == 1 ? 1 : 2;
    f.bitsPerSample = (playInfo.flags & BASS_SAMPLE_8BITS) != 0 ? kBits8 : kBits16;
    f.blockAlign = static_cast<std::uint16_t>(chans * f.bitsPerSample / kBitsPerByte);
    f.sampleRate = rate;
    return f;
}

void WriteWaveHeader(std::uint8_t* dst, const WaveFormat& f) {
    PutTag(dst + 0, "RIFF");
    audio::WriteLe32(dst + 4, 0);
    PutTag(dst + 8, "WAVE");
    PutTag(dst + 12, "fmt ");
    audio::WriteLe32(dst + 16, kFormatChunkSize);
    audio::WriteLe16(dst + 20, kPcmFormat);
    audio::WriteLe16(dst + 22, f.channels);
    // Only the low half of the rate field is written; CD rates fit it.
    audio::WriteLe16(dst + 24, static_cast<std::uint16_t>(f.sampleRate & 0xFFFF));
    audio::WriteLe16(dst + 26, 0);
    audio::WriteLe32(dst + 28, static_cast<std::uint32_t>(f.blockAlign) * f.sampleRate);
    audio::WriteLe16(dst + 32, f.blockAlign);
    audio::WriteLe16(dst + 34, f.bitsPerSample);
    PutTag(dst + 36, "data");
    audio::WriteLe32(dst + 40, 0);
}

std::shared_ptr<std::vector<std::uint8_t>> BuildCdWaveImage(AudioPort& audio,
                                                            PlayerSession& session, DWORD cd,
                                                            const std::stop_token& stop) {
    const QWORD length = audio.ChannelGetLength(cd);
    // The image's size is a 32-bit count: a channel without a length, or one whose image would
    // not fit 32 bits, gets no image at all rather than a wrapped-around size.
    if (length > QWORD{UINT32_MAX} - kWaveHeaderSize) {
        return nullptr;
    }
    const auto size = static_cast<std::uint32_t>(length + kWaveHeaderSize);

    std::shared_ptr<std::vector<std::uint8_t>> image;
    try {
        image = std::make_shared<std::vector<std::uint8_t>>(size);
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
    session.ScanTotal.store(size);
    session.ScanDone.store(0);

    BASS_CHANNELINFO info{};
    audio.ChannelGetInfo(session.PlayChannel.load(), &info);
    DWORD rate = 0;
    audio.ChannelGetAttributes(cd, &rate, nullptr, nullptr);
    WriteWaveHeader(image->data(), CdWaveFormat(info, rate));

    std::array<std::uint8_t, kCdCopyBlock> block{};
    std::uint32_t pos = kWaveHeaderSize;
    while (pos < size && !stop.stop_requested() && !session.Closing.load() &&
           audio.ChannelIsActive(cd) != BASS_ACTIVE_STOPPED) {
        const DWORD got = audio.ChannelGetData(cd, block.data(), kCdCopyBlock);
        if (got == BASS_ERROR_DWORD || got == 0) {
            break;
        }
        const std::uint32_t k = std::min({got, kCdCopyBlock, size - pos});
        std::memcpy(image->data() + pos, block.data(), k);
        pos += k;
        session.ScanDone.store(pos);
    }
    return image;
}

}  // namespace tarvel::overview
