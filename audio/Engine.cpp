#include "audio/Engine.h"

#include "audio/DecodeChannel.h"
#include "audio/TempoChannel.h"
#include "audio/Voice.h"

namespace tarvel::audio {

Engine& Engine::instance() {
    static Engine engine;
    return engine;
}

Engine::~Engine() {
    closeOutput();
    freeAll();
}

DWORD Engine::add(const std::shared_ptr<Channel>& channel) {
    const DWORD handle = channels_.add(channel);
    if (handle != 0) {
        std::lock_guard lock(channel->mutex());
        channel->setHandle(handle);
    }
    return handle;
}

void Engine::releaseLocked(Channel& channel) {
    if (const auto& voice = channel.voice()) {
        voice->flush();  // silent from the next device buffer on
    }
    channel.playing = false;
    for (const HSYNC sync : channel.syncs().handles()) {
        syncs_.remove(sync);
    }
    channel.release();
}

bool Engine::free(DWORD handle, bool streams, bool music) {
    const std::shared_ptr<Channel> channel = channels_.find(handle);
    if (!channel) {
        return false;
    }
    {
        std::lock_guard lock(channel->mutex());
        const bool isMusic = channel->kind() == ChannelKind::Music;
        if (channel->owned || channel->released() || (isMusic ? !music : !streams)) {
            return false;
        }
        if (!channels_.remove(handle)) {
            return false;  // freed by another thread meanwhile
        }
        releaseLocked(*channel);
    }
    if (const auto out = output()) {
        out->mixer().remove(channel.get());
    }
    if (channel->kind() == ChannelKind::Tempo) {
        const auto tempo = std::static_pointer_cast<TempoChannel>(channel);
        const std::shared_ptr<DecodeChannel> source = tempo->source();
        std::lock_guard lock(source->mutex());
        if (tempo->freesSource()) {
            channels_.remove(tempo->sourceHandle());
            releaseLocked(*source);
        } else {
            source->owned = false;
        }
    }
    return true;
}

void Engine::freeAll() {
    // Tempo streams first, so that their sources are still owned when they go.
    for (int pass = 0; pass < 2; ++pass) {
        for (const DWORD handle : channels_.handles()) {
            const auto channel = channels_.find(handle);
            if (channel && (pass == 1 || channel->kind() == ChannelKind::Tempo)) {
                free(handle, true, true);
            }
        }
    }
    // Whatever is left is a source kept by a stream that did not free it.
    for (const DWORD handle : channels_.handles()) {
        if (const auto channel = channels_.remove(handle)) {
            std::lock_guard lock(channel->mutex());
            releaseLocked(*channel);
        }
    }
}

HSYNC Engine::addSync(Channel& channel, DWORD type, std::uint64_t frame, SYNCPROC* proc,
                      void* user) {
    const HSYNC handle = syncs_.add(std::make_shared<DWORD>(channel.handle()));
    if (handle != 0) {
        channel.syncs().add(Sync{handle, type, frame, proc, user});
        if (const auto out = output()) {
            out->mixer().syncAdded(channel, type, frame);
        }
    }
    return handle;
}

bool Engine::removeSync(DWORD channelHandle, HSYNC sync) {
    const auto owner = syncs_.find(sync);
    if (!owner || *owner != channelHandle) {
        return false;
    }
    LockedChannel channel(channelHandle);
    if (!channel || !channel->syncs().remove(sync)) {
        return false;
    }
    syncs_.remove(sync);
    if (const auto out = output()) {
        out->mixer().syncRemoved(*channel);
    }
    return true;
}

bool Engine::openOutput(std::unique_ptr<Output> output) {
    std::lock_guard lock(outputMutex_);
    if (output_ || !output) {
        return false;
    }
    output_ = std::move(output);
    return true;
}

void Engine::closeOutput() {
    std::shared_ptr<Output> closing;
    {
        std::lock_guard lock(outputMutex_);
        closing = std::move(output_);
        output_.reset();
    }
    if (closing) {
        closing->mixer().clear();
    }
    // The device closes (and its callback thread ends) when the last reference goes, here or
    // in a query that still holds one; never under outputMutex_, which the callback may need.
}

std::shared_ptr<Output> Engine::output() const {
    std::lock_guard lock(outputMutex_);
    return output_;
}

LockedChannel::LockedChannel(DWORD handle) {
    std::shared_ptr<Channel> channel = Engine::instance().find(handle);
    if (!channel) {
        return;
    }
    std::unique_lock lock(channel->mutex());
    if (channel->released() || channel->owned) {
        return;
    }
    channel_ = std::move(channel);
    lock_ = std::move(lock);
}

std::vector<HSYNC> SyncsOf(DWORD handle) {
    LockedChannel channel(handle);
    return channel ? channel->syncs().handles() : std::vector<HSYNC>{};
}

HSTREAM CreateStream(std::unique_ptr<Decoder> decoder, DWORD flags, ChannelKind kind) {
    if (!decoder || decoder->channels() == 0 || decoder->rate() == 0) {
        return 0;
    }
    return Engine::instance().add(std::make_shared<DecodeChannel>(kind, flags, std::move(decoder)));
}

}  // namespace tarvel::audio
