#include "overview/ScanController.h"

#include <cstdint>

#include "overview/AudioPort.h"
#include "overview/ScanThread.h"
#include "player/LoopSync.h"

namespace tarvel::overview {

namespace {

constexpr float kMinPixelSeconds = 0.02f;
constexpr BOOL kFromFile = 0;  // StreamCreateFile and MusicLoad: `file` is a path
constexpr DWORD kCdScanFlags = BASS_STREAM_DECODE | BASS_STREAM_PRESCAN;
constexpr DWORD kMusicScanFlags = BASS_MUSIC_DECODE | BASS_MUSIC_PRESCAN | BASS_MUSIC_RAMP;

}  // namespace

struct ScanController::Impl {
    explicit Impl(AudioPort& a) : audio(a) {}
    AudioPort& audio;
    SYNCPROC* loopSyncProc = nullptr;
    void* loopSyncUser = nullptr;
    std::unique_ptr<TScanThread> thread;
};

ScanController::ScanController(PlayerSession& session)
    : ScanController(session, DefaultAudioPort()) {}

ScanController::ScanController(PlayerSession& session, AudioPort& audio)
    : session_(session), impl_(std::make_unique<Impl>(audio)) {
    impl_->loopSyncProc = &LoopSyncProc;
    impl_->loopSyncUser = &session;
}

ScanController::~ScanController() {
    CancelAndWait();
}

void ScanController::SetLoopSyncProc(SYNCPROC* proc, void* user) {
    impl_->loopSyncProc = proc;
    impl_->loopSyncUser = user;
}

void ScanController::CancelAndWait() {
    if (impl_->thread) {
        impl_->thread->RequestStop();
        impl_->thread.reset();
    }
}

void ScanController::Timer2Timer(int width) {
    // One scan at a time: the running one stops at its next step before anything is changed.
    CancelAndWait();
    AudioPort& audio = impl_->audio;

    const int w = width > 0 ? width : 0;
    const HSTREAM play = session_.PlayChannel.load();
    const auto length = static_cast<std::int64_t>(audio.ChannelGetLength(play));
    auto bytesPerPixel = w > 0 ? static_cast<std::uint32_t>(length / w) : 0u;
    // At least 20 ms per column; the library's error value (negative) leaves it alone.
    const auto minimum = static_cast<std::int32_t>(
        static_cast<std::uint32_t>(audio.ChannelSeconds2Bytes(play, kMinPixelSeconds)));
    if (std::int64_t{minimum} > std::int64_t{bytesPerPixel}) {
        bytesPerPixel = static_cast<std::uint32_t>(minimum);
    }
    session_.BytesPerPixel.store(bytesPerPixel);

    ScanJob job;
    session_.ScanChannel.store(0);
    const char* file = session_.CurrentFileName.c_str();
    if (session_.IsCdTrack) {
        job.channel = audio.CdStreamCreateFile(file, kCdScanFlags);
        job.kind = ScanChannelKind::Stream;
    } else {
        job.channel = audio.StreamCreateFile(kFromFile, file, 0, 0, BASS_STREAM_DECODE);
        job.kind = ScanChannelKind::Stream;
        if (job.channel == 0) {
            job.channel = audio.MusicLoad(kFromFile, file, 0, 0, kMusicScanFlags, 0);
            job.kind = ScanChannelKind::Music;
        }
    }
    session_.ScanChannel.store(job.channel);
    job.width = w;
    job.isCdTrack = session_.IsCdTrack;
    job.bytesPerPixel = bytesPerPixel;
    job.loopSyncProc = impl_->loopSyncProc;
    job.loopSyncUser = impl_->loopSyncUser;

    // Raised here, before the thread exists, so that no tick draws arrays the scan resizes.
    session_.Scanning.store(true);
    impl_->thread = std::make_unique<TScanThread>(audio, session_, job);
}

}  // namespace tarvel::overview
