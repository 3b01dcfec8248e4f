#include "player/SourceLoader.h"

#include "player/DecodeSource.h"
#include "player/LoopSync.h"
#include "player/PlayChannelBuild.h"
#include "player/ScanDebounce.h"
#include "player/Seek.h"

namespace tarvel {

bool IsCdTrackName(const QString& fileName) {
    return fileName.endsWith(QLatin1String(kCdTrackExtension), Qt::CaseSensitive);
}

QString CompanionWavPath(const QString& programPath) {
    const qsizetype slash = programPath.lastIndexOf(QLatin1Char('/'));
    const qsizetype dot = programPath.lastIndexOf(QLatin1Char('.'));
    const QString stem = dot > slash ? programPath.left(dot) : programPath;
    return stem + QLatin1String(kCompanionExtension);
}

SourceLoader::SourceLoader(PlayerSession& session, FileDialog& od, const VolumeSlider& TrackBar1,
                           DebounceTimer& Timer2, std::function<void()> cancelScan)
    : session_(session),
      od_(od),
      TrackBar1_(TrackBar1),
      Timer2_(Timer2),
      cancelScan_(std::move(cancelScan)) {}

void SourceLoader::FramSpeedBtn4Click() {
    if (!od_.ChooseFile()) {
        return;
    }
    const QString fileName = od_.ChosenFile();
    session_.IsCdTrack = IsCdTrackName(fileName);
    OpenSource(fileName, session_.IsCdTrack, true);
}

HSTREAM SourceLoader::OpenSource(const QString& fileName, bool isCdTrack, bool scan) {
    // A scan still running on the old source must be over before that source goes away, so that
    // it can never touch (or, for a CD track, replace) the new one.
    if (cancelScan_) {
        cancelScan_();
    }
    session_.CurrentFileName = fileName.toStdString();
    BASS_StreamFree(session_.PlayChannel.exchange(0));
    session_.CdWaveImage.reset();  // no channel reads the old CD image any more

    AudioPort& audio = DefaultAudioPort();
    const DecodeSource source = OpenDecodeSource(audio, fileName.toUtf8().constData(), isCdTrack);
    if (source.handle == 0) {
        return Failed();
    }

    const HSTREAM tempo =
        BuildPlayChannel(audio, source.handle, TrackBar1_.Position(),
                         [this](HSTREAM play) { session_.PlayChannel.store(play); });
    if (tempo == 0) {
        FreeDecodeSource(audio, source);
        session_.PlayChannel.store(0);
        return Failed();
    }

    session_.Playing.store(false);
    BASS_CHANNELINFO info{};
    if (BASS_ChannelGetInfo(tempo, &info)) {
        session_.SampleRate = info.freq;
        session_.ChannelCount = info.chans;
    }
    session_.LoopStart.store(0);
    session_.LoopEnd.store(LengthOrZero(tempo));
    SetLoopSyncAtEnd(session_);
    if (scan) {
        Timer2_.Start(kScanDebounceMs);
    }
    if (SourceOpened) {
        SourceOpened();
    }
    return tempo;
}

HSTREAM SourceLoader::Failed() {
    // The old channel is gone and nothing plays: the transport must not go on saying it plays
    // (a "PAUSE" button over silence, a negative play time, a PLAY that does nothing).
    session_.Playing.store(false);
    return 0;
}

HSTREAM SourceLoader::AutoLoad(const QString& programPath) {
    return OpenSource(CompanionWavPath(programPath), false, false);
}

}  // namespace tarvel
