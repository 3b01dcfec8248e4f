#include "overview/ScanThread.h"

#include <utility>

#include "overview/ScanWaveform.h"
#include "player/LoopSync.h"
#include "player/PlayChannelBuild.h"

namespace tarvel::overview {

TScanThread::TScanThread(AudioPort& audio, PlayerSession& session, ScanJob job)
    : audio_(audio),
      session_(session),
      job_(job),
      thread_([this](const std::stop_token& stop) { Execute(stop); }) {}

TScanThread::~TScanThread() {
    thread_.request_stop();
    if (thread_.joinable()) {
        thread_.join();
    }
}

void TScanThread::Execute(const std::stop_token& stop) {
    session_.Scanning.store(true);
    if (!job_.isCdTrack) {
        // A non-CD source never plays from the image, and every load released the channel
        // that did before this scan was prepared.
        session_.CdWaveImage.reset();
    }

    if (!job_.isCdTrack && !job_.source.music && job_.source.handle != 0) {
        // Read straight through: the engine may decode it on every core (the same frames).
        audio_.ChannelDecodeAhead(job_.source.handle);
    }
    const ScanSettings settings{job_.isCdTrack, job_.bytesPerPixel};
    ScanOutput out = ScanWaveform(audio_, session_, settings, job_.source.handle, job_.width, stop);

    FreeDecodeSource(audio_, job_.source);
    audio_.StreamFree(out.imageStream);
    session_.ScanChannel.store(0);

    // A stopped scan leaves the session as it found it: the overview of the last finished scan,
    // and the channel (and image) that is playing now.
    if (out.finished) {
        if (job_.isCdTrack && out.cdImage && !session_.Closing.load()) {
            ReplacePlayChannel(out.cdImage);
        }
        session_.WaveLeft = std::move(out.left);
        session_.WaveRight = std::move(out.right);
    }
    session_.Scanning.store(false);
}

void TScanThread::ReplacePlayChannel(const std::shared_ptr<std::vector<std::uint8_t>>& image) {
    const HSTREAM old = session_.PlayChannel.load();
    audio_.ChannelRemoveSync(old, session_.LoopSync.load());
    audio_.StreamFree(old);

    const HSTREAM source = audio_.StreamCreateFile(
        kFromMemory, image->data(), 0, static_cast<DWORD>(image->size()), BASS_STREAM_DECODE);
    // The rebuilt channel keeps the slider's volume instead of the engine's full default.
    const HSTREAM play =
        BuildPlayChannel(audio_, source, session_.Volume.load(), [&](HSTREAM tempo) {
            // The old image may be released only now that no channel reads it.
            session_.CdWaveImage = image;
            session_.PlayChannel.store(tempo);
        });
    if (play == 0) {
        audio_.StreamFree(source);
    }
    // The user-interface thread may be replacing LoopSync at this very moment (a mark moved).
    ReplaceLoopSync(
        session_, [this](HSTREAM channel, HSYNC sync) { audio_.ChannelRemoveSync(channel, sync); },
        [this](HSTREAM channel) {
            return audio_.ChannelSetSync(channel, BASS_SYNC_POS | BASS_SYNC_MIXTIME,
                                         session_.LoopEnd.load(), job_.loopSyncProc,
                                         job_.loopSyncUser);
        },
        true);
}

}  // namespace tarvel::overview
