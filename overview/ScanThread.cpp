#include "overview/ScanThread.h"

#include <utility>

#include "overview/ScanWaveform.h"

namespace tarvel::overview {

namespace {

constexpr DWORD kTempoFlags = BASS_FX_FREESOURCE | BASS_SAMPLE_LOOP;
constexpr DWORD kTempoSequenceMs = 32;
constexpr DWORD kTempoSeekWindowMs = 20;
constexpr int kKeepRate = -1;
constexpr int kKeepPan = -101;

}  // namespace

TScanThread::TScanThread(AudioPort& audio, PlayerSession& session, ScanJob job)
    : audio_(audio),
      session_(session),
      job_(job),
      thread_([this](std::stop_token stop) { Execute(std::move(stop)); }) {}

TScanThread::~TScanThread() {
    thread_.request_stop();
    if (thread_.joinable()) {
        thread_.join();
    }
}

void TScanThread::Execute(std::stop_token stop) {
    session_.Scanning.store(true);
    if (!job_.isCdTrack) {
        // A non-CD source never plays from the image, and every load released the channel
        // that did before this scan was prepared.
        session_.CdWaveImage.reset();
    }

    const ScanSettings settings{job_.isCdTrack, job_.bytesPerPixel};
    ScanOutput out = ScanWaveform(audio_, session_, settings, job_.channel, job_.width, stop);

    if (job_.kind == ScanChannelKind::Music) {
        audio_.MusicFree(job_.channel);
    } else {
        audio_.StreamFree(job_.channel);
    }
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
    const HSTREAM play = audio_.FxTempoCreate(source, kTempoFlags);
    if (play == 0) {
        audio_.StreamFree(source);
    }
    // The old image may be released only now that no channel reads it.
    session_.CdWaveImage = image;
    session_.PlayChannel.store(play);
    audio_.FxTempoSetOption(play, BASS_FX_TEMPO_OPTION_SEQUENCE_MS, kTempoSequenceMs);
    audio_.FxTempoSetOption(play, BASS_FX_TEMPO_OPTION_SEEKWINDOW_MS, kTempoSeekWindowMs);
    // The rebuilt channel keeps the slider's volume instead of the engine's full default.
    audio_.ChannelSetAttributes(play, kKeepRate, session_.Volume.load(), kKeepPan);
    session_.LoopSync.store(audio_.ChannelSetSync(play, BASS_SYNC_POS | BASS_SYNC_MIXTIME,
                                                  QWORD{session_.LoopEnd.load()}, job_.loopSyncProc,
                                                  job_.loopSyncUser));
}

}  // namespace tarvel::overview
