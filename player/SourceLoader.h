// Loading a source: the LOAD button, OpenSource and the start-up auto-load of the WAV file named
// after the program. UI thread only.
#pragma once

#include <QString>
#include <functional>
#include <string>

#include "player/ControlPorts.h"
#include "player/PlayerSession.h"

namespace tarvel {

inline constexpr const char* kCdTrackExtension = ".cda";
inline constexpr const char* kCompanionExtension = ".wav";

// True when the file name ends in ".cda" exactly (lower case only).
bool IsCdTrackName(const QString& fileName);
// The program path with its extension changed to ".wav" (or ".wav" added when it has none).
QString CompanionWavPath(const QString& programPath);

class SourceLoader {
  public:
    // `cancelScan` stops and joins a running scan; it runs before the old channel is released.
    SourceLoader(PlayerSession& session, FileDialog& od, const VolumeSlider& TrackBar1,
                 DebounceTimer& Timer2, std::function<void()> cancelScan);

    // LOAD button: dialog, CD test, OpenSource with a scan. A cancel changes nothing.
    void FramSpeedBtn4Click();
    // Replaces the current source by `fileName`. Returns PlayChannel (0 on failure).
    HSTREAM OpenSource(const QString& fileName, bool isCdTrack, bool scan);
    // Start-up: opens <program>.wav without a scan and without playing.
    HSTREAM AutoLoad(const QString& programPath);

    // Runs once a new source has replaced the old one (not after a failed open).
    std::function<void()> SourceOpened;

  private:
    // A failed open after the old source was released: leaves the transport idle.
    HSTREAM Failed();

    PlayerSession& session_;
    FileDialog& od_;
    const VolumeSlider& TrackBar1_;
    DebounceTimer& Timer2_;
    std::function<void()> cancelScan_;
};

}  // namespace tarvel
