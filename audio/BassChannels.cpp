// Queries and moves on one channel: information, attributes, length, position, level, data.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "audio/Engine.h"
#include "audio/LevelMeter.h"
#include "audio/Voice.h"
#include "audio/bass.h"
#include "audio/decoders/ParallelDecode.h"

using tarvel::audio::Channel;
using tarvel::audio::Engine;
using tarvel::audio::LockedChannel;

namespace {
constexpr DWORD kBytesPerSample = 2;
// Each level reading of a decode-only channel measures and consumes this much audio; a playing
// channel's level covers this much of what is being heard.
constexpr double kLevelSeconds = 0.02;
constexpr int kMaxVolume = 100;
constexpr int kMaxPan = 100;

QWORD BytesPerFrame(const Channel& channel) {
    return QWORD{channel.channels()} * kBytesPerSample;
}

// At least one frame: a reading that consumed nothing would leave a reader such as the overview
// scan asking again forever at a rate below 25 Hz.
std::size_t LevelFrames(std::uint32_t rate) {
    return std::max<std::size_t>(1, static_cast<std::size_t>(std::llround(rate * kLevelSeconds)));
}

// The source frame being heard on a playing channel; the channel's own position otherwise.
std::uint64_t AudiblePosition(Channel& channel) {
    if (!channel.decodeOnly() && channel.playing.load()) {
        if (const auto out = Engine::instance().output()) {
            return out->mixer().heardPosition(channel, out->heardFrame());
        }
    }
    return channel.positionFrames();
}
}  // namespace

BOOL BASS_ChannelGetInfo(DWORD handle, BASS_CHANNELINFO* info) {
    LockedChannel channel(handle);
    if (!channel || !info) {
        return 0;
    }
    info->freq = channel->rate();
    info->chans = channel->channels();
    info->flags = channel->flags();
    info->ctype = channel->sourceKind();
    return 1;
}

BOOL BASS_ChannelGetAttributes(DWORD handle, DWORD* freq, DWORD* volume, int* pan) {
    LockedChannel channel(handle);
    if (!channel) {
        return 0;
    }
    if (freq) {
        *freq = channel->rate();
    }
    if (volume) {
        *volume = static_cast<DWORD>(channel->volume.load());
    }
    if (pan) {
        *pan = channel->pan.load();
    }
    return 1;
}

BOOL BASS_ChannelSetAttributes(DWORD handle, int freq, int volume, int pan) {
    LockedChannel channel(handle);
    if (!channel) {
        return 0;
    }
    // Rate changes are not offered: only "keep" or the channel's own rate pass.
    const bool freqOk =
        freq == BASS_ATTRIB_KEEP_FREQ || freq == 0 || freq == static_cast<int>(channel->rate());
    const bool volumeOk =
        volume == BASS_ATTRIB_KEEP_VOLUME || (volume >= 0 && volume <= kMaxVolume);
    const bool panOk = pan == BASS_ATTRIB_KEEP_PAN || (pan >= -kMaxPan && pan <= kMaxPan);
    if (!freqOk || !volumeOk || !panOk) {
        return 0;
    }
    const auto& voice = channel->voice();
    if (volume != BASS_ATTRIB_KEEP_VOLUME) {
        channel->volume = volume;
        if (voice) {
            voice->volume = volume;  // heard from the next device buffer on
        }
    }
    if (pan != BASS_ATTRIB_KEEP_PAN) {
        channel->pan = pan;
        if (voice) {
            voice->pan = pan;
        }
    }
    return 1;
}

QWORD BASS_ChannelGetLength(DWORD handle) {
    LockedChannel channel(handle);
    if (!channel) {
        return BASS_ERROR_QWORD;
    }
    return channel->lengthFrames() * BytesPerFrame(*channel);
}

QWORD BASS_ChannelGetPosition(DWORD handle) {
    LockedChannel channel(handle);
    if (!channel) {
        return BASS_ERROR_QWORD;
    }
    return AudiblePosition(*channel) * BytesPerFrame(*channel);
}

BOOL BASS_ChannelSetPosition(DWORD handle, QWORD pos) {
    LockedChannel channel(handle);
    if (!channel) {
        return 0;
    }
    const QWORD frame = pos / BytesPerFrame(*channel);
    if (frame > channel->lengthFrames()) {
        return 0;
    }
    const auto out = channel->inSyncCallback() ? nullptr : Engine::instance().output();
    if (out) {
        out->mixer().beforeJump(*channel);  // the jump fades out what would have followed
    }
    if (!channel->seek(frame)) {
        return 0;
    }
    if (out) {
        // A new start: what was rendered ahead from the old position goes unheard.
        out->mixer().restart(*channel);
    }
    return 1;
}

QWORD BASS_ChannelSeconds2Bytes(DWORD handle, float secs) {
    LockedChannel channel(handle);
    if (!channel || !std::isfinite(secs) || secs < 0.0f) {
        return BASS_ERROR_QWORD;
    }
    const double frames = std::round(static_cast<double>(secs) * channel->rate());
    if (frames > static_cast<double>(BASS_ERROR_QWORD / 2 / BytesPerFrame(*channel))) {
        return BASS_ERROR_QWORD;
    }
    return static_cast<QWORD>(frames) * BytesPerFrame(*channel);
}

DWORD BASS_ChannelIsActive(DWORD handle) {
    LockedChannel channel(handle);
    if (!channel) {
        return BASS_ACTIVE_STOPPED;
    }
    if (channel->decodeOnly()) {
        return channel->hasData() ? BASS_ACTIVE_PLAYING : BASS_ACTIVE_STOPPED;
    }
    const auto out = Engine::instance().output();
    if (!out) {
        return BASS_ACTIVE_STOPPED;
    }
    return out->mixer().activity(*channel);
}

DWORD BASS_ChannelGetLevel(DWORD handle) {
    LockedChannel channel(handle);
    if (!channel) {
        return BASS_ERROR_DWORD;
    }
    if (!channel->decodeOnly()) {
        if (!channel->playing.load()) {
            return 0;
        }
        const auto out = Engine::instance().output();
        if (!out) {
            return 0;
        }
        return out->mixer().heardLevel(*channel, out->heardFrame(),
                                       LevelFrames(out->mixer().rate()));
    }
    const std::size_t frames = LevelFrames(channel->rate());
    thread_local std::vector<std::int16_t> buffer;
    buffer.resize(frames * channel->channels());
    const std::size_t got = channel->read(buffer.data(), frames, tarvel::audio::SourceWait::Wait);
    if (got == 0) {
        return BASS_ERROR_DWORD;
    }
    return tarvel::audio::MeasurePeaks(buffer.data(), got, channel->channels()).packed();
}

DWORD BASS_ChannelGetData(DWORD handle, void* buffer, DWORD length) {
    LockedChannel channel(handle);
    if (!channel || !buffer || !channel->decodeOnly()) {
        return BASS_ERROR_DWORD;
    }
    const QWORD bpf = BytesPerFrame(*channel);
    const std::size_t frames = length / bpf;
    if (frames == 0) {
        return 0;
    }
    const std::size_t got =
        channel->read(static_cast<std::int16_t*>(buffer), frames, tarvel::audio::SourceWait::Wait);
    if (got == 0) {
        return BASS_ERROR_DWORD;  // at the end
    }
    return static_cast<DWORD>(got * bpf);
}

BOOL BASS_ChannelDecodeAhead(DWORD handle) {
    LockedChannel channel(handle);
    if (!channel || !channel->decodeOnly()) {
        return 0;
    }
    return channel->decodeAhead(tarvel::audio::DecodeAheadThreads()) ? 1 : 0;
}

HSYNC BASS_ChannelSetSync(DWORD handle, DWORD type, QWORD param, SYNCPROC* proc, void* user) {
    const DWORD kind = type & ~BASS_SYNC_MIXTIME;
    if (!proc || (kind != BASS_SYNC_POS && kind != BASS_SYNC_END)) {
        return 0;
    }
    LockedChannel channel(handle);
    if (!channel) {
        return 0;
    }
    const std::uint64_t frame = kind == BASS_SYNC_POS ? param / BytesPerFrame(*channel) : 0;
    return Engine::instance().addSync(*channel, kind, frame, proc, user);
}

BOOL BASS_ChannelRemoveSync(DWORD handle, HSYNC sync) {
    return Engine::instance().removeSync(handle, sync);
}
