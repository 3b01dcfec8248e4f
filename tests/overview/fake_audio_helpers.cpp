#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <thread>

#include "tests/overview/FakeAudio.h"

namespace tarvel::overview::testing {

namespace {

constexpr std::size_t kHeader = 44;

// The peak of 20 ms of 16-bit stereo PCM in a memory image, as a level word.
DWORD PeakOf(const std::uint8_t* pcm, QWORD bytes) {
    DWORD l = 0;
    DWORD r = 0;
    for (QWORD i = 0; i + 3 < bytes; i += 4) {
        const auto left = static_cast<std::int16_t>(pcm[i] | (pcm[i + 1] << 8));
        const auto right = static_cast<std::int16_t>(pcm[i + 2] | (pcm[i + 3] << 8));
        l = std::max<DWORD>(l, static_cast<DWORD>(std::abs(left)));
        r = std::max<DWORD>(r, static_cast<DWORD>(std::abs(right)));
    }
    return Level(l, r);
}

// Where a CD channel's data ends: its own count if it has one, else its length.
QWORD DeliveredEnd(const FakeSource& s) {
    return s.cdDelivers != 0 ? s.cdDelivers : s.length;
}

}  // namespace

int FakeAudio::OpenCount() {
    std::lock_guard lock(mutex_);
    return static_cast<int>(channels_.size());
}

void FakeAudio::AddFile(const std::string& name, FakeSource source) {
    std::lock_guard lock(mutex_);
    files_[name] = std::move(source);
}

DWORD FakeAudio::Open(Channel channel) {
    const DWORD handle = next_++;
    channels_.emplace(handle, std::move(channel));
    return handle;
}

FakeAudio::Channel* FakeAudio::Find(DWORD handle) {
    const auto it = channels_.find(handle);
    return it == channels_.end() ? nullptr : &it->second;
}

void FakeAudio::Delay() const {
    if (const int us = readDelayUs.load(); us > 0) {
        std::this_thread::sleep_for(std::chrono::microseconds(us));
    }
}

DWORD FakeAudio::MakePlayChannel(FakeSource source) {
    std::lock_guard lock(mutex_);
    const DWORD src = Open(Channel{FakeKind::Stream, source});
    Channel tempo{FakeKind::Tempo, source};
    tempo.wrapped = src;
    return Open(std::move(tempo));
}

bool FakeAudio::IsOpen(DWORD handle) {
    std::lock_guard lock(mutex_);
    return Find(handle) != nullptr;
}

FakeKind FakeAudio::KindOf(DWORD handle) {
    std::lock_guard lock(mutex_);
    return Find(handle)->kind;
}

DWORD FakeAudio::SourceOf(DWORD tempo) {
    std::lock_guard lock(mutex_);
    const Channel* c = Find(tempo);
    return c ? c->wrapped : 0;
}

const std::uint8_t* FakeAudio::MemoryOf(DWORD handle) {
    std::lock_guard lock(mutex_);
    const Channel* c = Find(handle);
    return c ? c->memory : nullptr;
}

QWORD FakeAudio::MemoryLength(DWORD handle) {
    std::lock_guard lock(mutex_);
    const Channel* c = Find(handle);
    return c ? c->source.length + kHeader : 0;
}

int FakeAudio::VolumeOf(DWORD handle) {
    std::lock_guard lock(mutex_);
    const Channel* c = Find(handle);
    return c ? c->volume : -2;
}

std::map<DWORD, DWORD> FakeAudio::OptionsOf(DWORD handle) {
    std::lock_guard lock(mutex_);
    const Channel* c = Find(handle);
    return c ? c->options : std::map<DWORD, DWORD>{};
}

std::vector<FakeSync> FakeAudio::Syncs() {
    std::lock_guard lock(mutex_);
    return syncs_;
}

std::vector<HSYNC> FakeAudio::RemovedSyncs() {
    std::lock_guard lock(mutex_);
    return removedSyncs_;
}

std::vector<QWORD> FakeAudio::Seeks(DWORD handle) {
    std::lock_guard lock(mutex_);
    const Channel* c = Find(handle);
    return c ? c->seeks : std::vector<QWORD>{};
}

void FakeAudio::SetPosition(DWORD handle, QWORD pos) {
    std::lock_guard lock(mutex_);
    if (Channel* c = Find(handle)) {
        c->pos = pos;
    }
}

std::vector<DWORD> FakeAudio::Freed() {
    std::lock_guard lock(mutex_);
    return freed_;
}

QWORD FakeAudio::ChannelGetLength(DWORD handle) {
    std::lock_guard lock(mutex_);
    const Channel* c = Find(handle);
    return c ? c->source.length : BASS_ERROR_QWORD;
}

QWORD FakeAudio::ChannelSeconds2Bytes(DWORD handle, float secs) {
    std::lock_guard lock(mutex_);
    const Channel* c = Find(handle);
    if (!c) {
        return BASS_ERROR_QWORD;
    }
    const auto frames = static_cast<QWORD>(secs * static_cast<float>(c->source.freq));
    return frames * c->source.chans * 2;
}

BOOL FakeAudio::ChannelGetInfo(DWORD handle, BASS_CHANNELINFO* info) {
    std::lock_guard lock(mutex_);
    const Channel* c = Find(handle);
    if (!c) {
        return 0;
    }
    *info = BASS_CHANNELINFO{c->source.freq, c->source.chans, c->source.flags, 0};
    return 1;
}

BOOL FakeAudio::ChannelGetAttributes(DWORD handle, DWORD* freq, DWORD* volume, int* pan) {
    std::lock_guard lock(mutex_);
    const Channel* c = Find(handle);
    if (!c) {
        return 0;
    }
    if (freq) {
        *freq = c->source.freq;
    }
    if (volume) {
        *volume = static_cast<DWORD>(std::max(c->volume, 0));
    }
    if (pan) {
        *pan = 0;
    }
    return 1;
}

BOOL FakeAudio::ChannelSetAttributes(DWORD handle, int /*freq*/, int volume, int /*pan*/) {
    std::lock_guard lock(mutex_);
    Channel* c = Find(handle);
    if (!c) {
        return 0;
    }
    if (volume >= 0) {
        c->volume = volume;
    }
    return 1;
}

DWORD FakeAudio::ChannelIsActive(DWORD handle) {
    std::lock_guard lock(mutex_);
    const Channel* c = Find(handle);
    if (!c) {
        return BASS_ACTIVE_STOPPED;
    }
    const QWORD end = c->kind == FakeKind::Cd ? DeliveredEnd(c->source) : c->source.length;
    return c->pos < end ? BASS_ACTIVE_PLAYING : BASS_ACTIVE_STOPPED;
}

DWORD FakeAudio::ChannelGetLevel(DWORD handle) {
    Delay();
    std::lock_guard lock(mutex_);
    Channel* c = Find(handle);
    if (!c) {
        return BASS_ERROR_DWORD;
    }
    ++levelReads;
    if (c->pos >= c->source.length) {
        return BASS_ERROR_DWORD;
    }
    const QWORD take = std::min(kReadingBytes, c->source.length - c->pos);
    DWORD word;
    if (c->kind == FakeKind::Memory) {
        word = PeakOf(c->memory + kHeader + c->pos, take);
    } else {
        word = c->source.level(c->readings);
    }
    ++c->readings;
    c->pos += take;
    return word;
}

QWORD FakeAudio::ChannelGetPosition(DWORD handle) {
    std::lock_guard lock(mutex_);
    const Channel* c = Find(handle);
    return c ? c->pos : BASS_ERROR_QWORD;
}

BOOL FakeAudio::ChannelSetPosition(DWORD handle, QWORD pos) {
    std::lock_guard lock(mutex_);
    Channel* c = Find(handle);
    if (!c) {
        return 0;
    }
    c->seeks.push_back(pos);
    if ((refuseSeeks.load() && pos != 0) || pos > c->source.length) {
        return 0;
    }
    c->pos = pos;
    return 1;
}

DWORD FakeAudio::ChannelGetData(DWORD handle, void* buffer, DWORD length) {
    Delay();
    std::lock_guard lock(mutex_);
    Channel* c = Find(handle);
    if (!c || c->kind != FakeKind::Cd) {
        return BASS_ERROR_DWORD;
    }
    const QWORD end = DeliveredEnd(c->source);
    const auto k = static_cast<DWORD>(std::min<QWORD>(length, end - c->pos));
    auto* out = static_cast<std::uint8_t*>(buffer);
    // Byte i of the track is (i * 7 + 1) & 0xFF: never 0, so copied bytes stand out.
    for (DWORD i = 0; i < k; ++i) {
        out[i] = static_cast<std::uint8_t>(((c->pos + i) * 7 + 1) & 0xFF);
    }
    c->pos += k;
    return k;
}

HSYNC FakeAudio::ChannelSetSync(DWORD handle, DWORD type, QWORD param, SYNCPROC* proc, void* user) {
    std::lock_guard lock(mutex_);
    if (!Find(handle)) {
        return 0;
    }
    syncs_.push_back(FakeSync{handle, type, param, proc, user});
    return static_cast<HSYNC>(10000 + syncs_.size());
}

BOOL FakeAudio::ChannelDecodeAhead(DWORD handle) {
    std::lock_guard lock(mutex_);
    decodeAheads_.push_back(handle);
    return Find(handle) ? 1 : 0;
}

std::vector<DWORD> FakeAudio::DecodeAheads() {
    std::lock_guard lock(mutex_);
    return decodeAheads_;
}

BOOL FakeAudio::ChannelRemoveSync(DWORD handle, HSYNC sync) {
    std::lock_guard lock(mutex_);
    if (!Find(handle)) {
        return 0;
    }
    removedSyncs_.push_back(sync);
    return 1;
}

HSTREAM FakeAudio::StreamCreateFile(BOOL mem, const void* file, DWORD /*offset*/, DWORD length,
                                    DWORD flags) {
    std::lock_guard lock(mutex_);
    if (mem) {
        if (length < kHeader) {
            return 0;
        }
        Channel c{FakeKind::Memory, FakeSource{}};
        c.source.length = length - kHeader;
        c.memory = static_cast<const std::uint8_t*>(file);
        c.flags = flags;
        return Open(std::move(c));
    }
    ++scanOpens;
    const auto it = files_.find(static_cast<const char*>(file));
    if (it == files_.end() || it->second.module) {
        return 0;
    }
    Channel c{FakeKind::Stream, it->second};
    c.flags = flags;
    return Open(std::move(c));
}

HMUSIC FakeAudio::MusicLoad(BOOL /*mem*/, const void* file, DWORD /*offset*/, DWORD /*length*/,
                            DWORD flags, DWORD /*freq*/) {
    std::lock_guard lock(mutex_);
    const auto it = files_.find(static_cast<const char*>(file));
    if (it == files_.end() || !it->second.module) {
        return 0;
    }
    Channel c{FakeKind::Music, it->second};
    c.flags = flags;
    return Open(std::move(c));
}

HSTREAM FakeAudio::CdStreamCreateFile(const char* file, DWORD flags) {
    std::lock_guard lock(mutex_);
    ++scanOpens;
    const auto it = files_.find(file);
    if (it == files_.end()) {
        return 0;
    }
    Channel c{FakeKind::Cd, it->second};
    c.flags = flags;
    return Open(std::move(c));
}

BOOL FakeAudio::StreamFree(HSTREAM handle) {
    std::lock_guard lock(mutex_);
    Channel* c = Find(handle);
    if (!c || c->kind == FakeKind::Music) {
        return 0;
    }
    const DWORD wrapped = c->wrapped;
    channels_.erase(handle);
    freed_.push_back(handle);
    if (wrapped != 0 && channels_.erase(wrapped) != 0) {
        freed_.push_back(wrapped);
    }
    return 1;
}

BOOL FakeAudio::MusicFree(HMUSIC handle) {
    std::lock_guard lock(mutex_);
    Channel* c = Find(handle);
    if (!c || c->kind != FakeKind::Music) {
        return 0;
    }
    channels_.erase(handle);
    freed_.push_back(handle);
    return 1;
}

HSTREAM FakeAudio::FxTempoCreate(DWORD chan, DWORD flags) {
    std::lock_guard lock(mutex_);
    const Channel* src = Find(chan);
    if (!src) {
        return 0;
    }
    Channel tempo{FakeKind::Tempo, src->source};
    tempo.wrapped = (flags & BASS_FX_FREESOURCE) != 0 ? chan : 0;
    tempo.memory = src->memory;
    tempo.flags = flags;
    return Open(std::move(tempo));
}

BOOL FakeAudio::FxTempoSetOption(DWORD chan, DWORD option, DWORD value) {
    std::lock_guard lock(mutex_);
    Channel* c = Find(chan);
    if (!c) {
        return 0;
    }
    c->options[option] = value;
    return 1;
}

}  // namespace tarvel::overview::testing
