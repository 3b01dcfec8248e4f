#include "overview/ScanController.h"

#include <cstdint>

#include "overview/ScanThread.h"
#include "player/AudioPort.h"
#include "player/DecodeSource.h"
#include "player/LoopSync.h"

namespace tarvel::overview {

namespace {

constexpr float kMinPixelSeconds = 0.02f;

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
    // The library's error length (negative) gives 0.
    const auto length = static_cast<std::int64_t>(audio.ChannelGetLength(play));
    QWORD bytesPerPixel = w > 0 && length > 0 ? static_cast<QWORD>(length / w) : 0;
    // At least 20 ms per column; the library's error value (negative) leaves it alone.
    const auto minimum =
        static_cast<std::int64_t>(audio.ChannelSeconds2Bytes(play, kMinPixelSeconds));
    if (minimum > 0 && static_cast<QWORD>(minimum) > bytesPerPixel) {
        bytesPerPixel = static_cast<QWORD>(minimum);
    }
    session_.BytesPerPixel.store(bytesPerPixel);

    ScanJob job;
    session_.ScanChannel.store(0);
    const char* file = session_.CurrentFileName.c_str();
    job.source = OpenDecodeSource(audio, file, session_.IsCdTrack);
    session_.ScanChannel.store(job.source.handle);
    job.width = w;
    job.isCdTrack = session_.IsCdTrack;
    job.bytesPerPixel = bytesPerPixel;
    job.loopSyncProc = impl_->loopSyncProc;
    job.loopSyncUser = impl_->loopSyncUser;

    // The progress of the previous scan must not show, even for one tick, as that of this one.
    session_.ScanDone.store(0);
    session_.ScanTotal.store(0);
    // Raised here, before the thread exists, so that no tick draws arrays the scan resizes.
    session_.Scanning.store(true);
    impl_->thread = std::make_unique<TScanThread>(audio, session_, job);
}

}  // namespace tarvel::overview
