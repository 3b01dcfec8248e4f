#include "player/SourceLoader.h"

#include <QFileInfo>
#include <QSlider>
#include <QTimer>

#include "player/LoopSync.h"
#include "player/OpenDialog.h"
#include "player/Seek.h"
#include "player/SpeedControl.h"
#include "player/VolumeControl.h"

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

SourceLoader::SourceLoader(PlayerSession& session, TOpenDialog& od, const QSlider& TrackBar1,
                           QTimer& Timer2, std::function<void()> cancelScan)
    : session_(session),
      od_(od),
      TrackBar1_(TrackBar1),
      Timer2_(Timer2),
      cancelScan_(std::move(cancelScan)) {}

void SourceLoader::FramSpeedBtn4Click() {
    od_.FileName.clear();
    if (!od_.Execute()) {
        return;
    }
    session_.IsCdTrack = IsCdTrackName(od_.FileName);
    OpenSource(od_.FileName, session_.IsCdTrack, true);
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

    const QByteArray path = fileName.toUtf8();
    DWORD source = 0;
    bool music = false;
    if (isCdTrack) {
        source = BASS_CD_StreamCreateFile(path.constData(), kSourceCdFlags);
    } else {
        source = BASS_StreamCreateFile(0, path.constData(), 0, 0, kSourceStreamFlags);
        if (source == 0) {
            source = BASS_MusicLoad(0, path.constData(), 0, 0, kSourceMusicFlags, 0);
            music = source != 0;
        }
    }
    if (source == 0) {
        return Failed();
    }

    const HSTREAM tempo = BASS_FX_TempoCreate(source, kTempoCreateFlags);
    session_.PlayChannel.store(tempo);
    BASS_FX_TempoSetOption(tempo, BASS_FX_TEMPO_OPTION_SEQUENCE_MS, kTempoSequenceMs);
    BASS_FX_TempoSetOption(tempo, BASS_FX_TEMPO_OPTION_SEEKWINDOW_MS, kTempoSeekWindowMs);
    ApplyVolume(tempo, TrackBar1_.value());
    if (tempo == 0) {
        if (music) {
            BASS_MusicFree(source);
        } else {
            BASS_StreamFree(source);
        }
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
    session_.LoopEnd.store(LengthLow32(tempo));
    SetLoopSyncAtEnd(session_);
    if (scan) {
        Timer2_.setInterval(kScanDebounceMs);
        Timer2_.start();
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
