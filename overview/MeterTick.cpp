#include "overview/MeterTick.h"

#include <QCheckBox>
#include <QProgressBar>
#include <QSlider>
#include <algorithm>
#include <cstdint>

#include "controls/PaintBox.h"
#include "controls/Panel.h"
#include "controls/Shape.h"
#include "player/AudioPort.h"

namespace tarvel::overview {

namespace {

constexpr std::uint32_t kFullScale = 32768;
constexpr std::uint64_t kKiB = 1024;
constexpr int kPercent = 100;
// The bars leave this much of Panel6's client width free (their left offset and a margin).
constexpr int kBarInset = 3;

// A level word above full scale (the error value included) counts as silence.
int Side(std::uint32_t word) {
    return word > kFullScale ? 0 : static_cast<int>(word);
}

// Instant rise, linear fall by `decay` per tick.
void Follow(int& shown, int reading, int decay) {
    shown -= decay;
    if (shown < 0) {
        shown = 0;
    }
    if (reading > shown) {
        shown = reading;
    }
}

void SetBarWidth(controls::TShape* bar, int width) {
    if (bar && bar->width() != width) {
        bar->resize(width, bar->height());
    }
}

}  // namespace

MeterTick::MeterTick(PlayerSession& session, MeterControls controls)
    : MeterTick(session, controls, DefaultAudioPort()) {}

MeterTick::MeterTick(PlayerSession& session, MeterControls controls, AudioPort& audio)
    : session_(session), c_(controls), audio_(audio) {}

void MeterTick::ShowProgress() {
    if (c_.Panel2) {
        c_.Panel2->hide();
    }
    if (c_.PB) {
        c_.PB->hide();
    }
    if (c_.ProgressBar1) {
        c_.ProgressBar1->show();
    }
    // Whole kibibytes of 64-bit counts: a scan past 2 GiB keeps counting up.
    const std::uint64_t done = session_.ScanDone.load();
    const std::uint64_t total = session_.ScanTotal.load();
    if (c_.Panel1) {
        c_.Panel1->SetCaption(QString::asprintf("scanning ( %llu / %llu )",
                                                static_cast<unsigned long long>(done / kKiB),
                                                static_cast<unsigned long long>(total / kKiB)));
    }
    if (c_.ProgressBar1) {
        // Before the scan knows its total (or for an empty source) the bar stands at 0.
        int position = 0;
        if (total != 0) {
            const long double share = static_cast<long double>(done) / total * kPercent;
            position = static_cast<int>(std::min(share, static_cast<long double>(kPercent)));
        }
        c_.ProgressBar1->setValue(
            std::clamp(position, c_.ProgressBar1->minimum(), c_.ProgressBar1->maximum()));
    }
}

void MeterTick::ShowOverview() {
    if (c_.Panel2) {
        c_.Panel2->show();
    }
    if (c_.PB) {
        c_.PB->show();
    }
    if (c_.ProgressBar1) {
        c_.ProgressBar1->hide();
        c_.ProgressBar1->setValue(0);
    }
    if (c_.Panel1 && !c_.Panel1->Caption().isEmpty()) {
        c_.Panel1->SetCaption(QString());
    }
}

void MeterTick::Timer3Timer() {
    int l = 0;
    int r = 0;
    if (session_.Scanning.load()) {
        ShowProgress();
    } else {
        ShowOverview();
        const bool meterOn = !c_.CheckBox5 || c_.CheckBox5->isChecked();
        if (session_.Playing.load() && !session_.Paused.load() && meterOn) {
            const DWORD level = audio_.ChannelGetLevel(session_.PlayChannel.load());
            l = Side(level & 0xFFFF);
            r = Side(level >> 16);
        }
    }
    Follow(session_.MeterLeft, l, session_.MeterDecay);
    Follow(session_.MeterRight, r, session_.MeterDecay);
    SetBarWidth(c_.Shape2, MeterWidth(session_.MeterLeft));
    SetBarWidth(c_.Shape4, MeterWidth(session_.MeterRight));
}

int MeterTick::MeterWidth(int level) const {
    const int volume = c_.TrackBar1 ? c_.TrackBar1->value() : 0;
    const std::int32_t percent = (volume * level) / static_cast<std::int32_t>(kFullScale);
    // The panel's bevel is drawn inside its client area, so the bars measure against its whole
    // width (99, giving at most 96 pixels).
    const int client = c_.Panel6 ? c_.Panel6->width() : 0;
    const std::int64_t width = (std::int64_t{client - kBarInset} * percent) / kPercent;
    return width < 0 ? 0 : static_cast<int>(width);
}

}  // namespace tarvel::overview
