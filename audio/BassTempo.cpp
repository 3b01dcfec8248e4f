// The tempo stream operations.
#include <cmath>
#include <exception>
#include <memory>

#include "audio/DecodeChannel.h"
#include "audio/Engine.h"
#include "audio/TempoChannel.h"
#include "audio/bass.h"

using tarvel::audio::ChannelKind;
using tarvel::audio::DecodeChannel;
using tarvel::audio::Engine;
using tarvel::audio::LockedChannel;
using tarvel::audio::TempoChannel;

namespace {
// Tempo changes the stretcher handles well (percent): a tenth of the speed to ten times it.
constexpr float kMinTempoPercent = -90.0f;
constexpr float kMaxTempoPercent = 900.0f;
// Stretcher settings in milliseconds are kept below this, so a wild value cannot make it
// allocate without bound.
constexpr DWORD kMaxSettingMs = 1000;
// Option ids that reach the stretcher, with the same numbering as its own settings:
// 0 anti-alias filter, 1 its length, 2 quick seek, 3 sequence ms, 4 seek window ms, 5 overlap ms.
constexpr DWORD kLastStretcherOption = 5;
constexpr DWORD kFirstMsOption = BASS_FX_TEMPO_OPTION_SEQUENCE_MS;
constexpr DWORD kKeptFlags = BASS_SAMPLE_LOOP | BASS_STREAM_DECODE;

TempoChannel* AsTempo(const LockedChannel& channel) {
    return channel->kind() == ChannelKind::Tempo ? static_cast<TempoChannel*>(&*channel) : nullptr;
}
}  // namespace

HSTREAM BASS_FX_TempoCreate(DWORD chan, DWORD flags) {
    std::shared_ptr<DecodeChannel> source;
    {
        LockedChannel channel(chan);
        if (!channel || !channel->decodeOnly() || channel->kind() == ChannelKind::Tempo) {
            return 0;
        }
        source = std::static_pointer_cast<DecodeChannel>(channel.shared());
        source->owned = true;
    }
    const bool freeSource = (flags & BASS_FX_FREESOURCE) != 0;
    HSTREAM handle = 0;
    try {
        auto tempo = std::make_shared<TempoChannel>(flags & kKeptFlags, source, chan, freeSource);
        handle = Engine::instance().add(tempo);
    } catch (const std::exception&) {
        // The stretcher refused the source's form, or memory ran out: no stream.
        handle = 0;
    }
    if (handle == 0) {
        std::lock_guard lock(source->mutex());
        source->owned = false;  // failure leaves the source as it was
    }
    return handle;
}

BOOL BASS_FX_TempoSet(DWORD chan, float tempo, float samplerate, float pitch) {
    (void)samplerate;  // the rate and pitch stay the source's
    (void)pitch;
    LockedChannel channel(chan);
    TempoChannel* stream = channel ? AsTempo(channel) : nullptr;
    if (!stream || !std::isfinite(tempo) || tempo < kMinTempoPercent || tempo > kMaxTempoPercent) {
        return 0;
    }
    if (tempo != stream->tempoPercent()) {
        // The audio rendered ahead at the old tempo is rendered again from where it is heard.
        if (const auto out = Engine::instance().output()) {
            out->mixer().renderAgain(*stream);
        }
        stream->setTempoPercent(tempo);
    }
    return 1;
}

BOOL BASS_FX_TempoSetOption(DWORD chan, DWORD option, DWORD value) {
    LockedChannel channel(chan);
    TempoChannel* stream = channel ? AsTempo(channel) : nullptr;
    if (!stream || option > kLastStretcherOption) {
        return 0;
    }
    if (option >= kFirstMsOption && value > kMaxSettingMs) {
        return 0;
    }
    return stream->setOption(static_cast<int>(option), static_cast<int>(value)) ? 1 : 0;
}
