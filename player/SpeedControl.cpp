#include "player/SpeedControl.h"

#include "player/PlayChannelBuild.h"

namespace tarvel {

SpeedControl::SpeedControl(PlayerSession& session, SpeedBox& SpinEdit1)
    : session_(session), SpinEdit1_(SpinEdit1) {}

void SpeedControl::Configure() {
    SpinEdit1_.SetMinValue(kSpeedMin);
    SpinEdit1_.SetMaxValue(kSpeedMax);
    SpinEdit1_.SetIncrement(1);
    SpinEdit1_.SetText(QString::number(kSpeedNormal));
    SpinEdit1_.SetColor(kSpeedColorInRange);
}

void SpeedControl::SpinEdit1Change() {
    if (!SpinEdit1_.Text().isEmpty()) {
        const int value = SpinEdit1_.Value();
        if (value >= kSpeedMin && value <= kSpeedMax) {
            const HSTREAM channel = session_.PlayChannel.load();
            ++tempoCalls_;
            BASS_FX_TempoSet(channel, static_cast<float>(value - kSpeedNormal),
                             static_cast<float>(session_.SampleRate), 0.0F);
            ApplyTempoOptions(DefaultAudioPort(), channel);
        }
    }
    const int value = SpinEdit1_.Value();
    if (value > kSpeedMax) {
        SpinEdit1_.SetColor(kSpeedColorAbove);
    } else if (value < kSpeedMin) {
        SpinEdit1_.SetColor(kSpeedColorBelow);
    } else {
        SpinEdit1_.SetColor(kSpeedColorInRange);
    }
}

void SpeedControl::SpinEdit1KeyPress(QChar key) {
    const int value = SpinEdit1_.Value();
    bool clear = false;
    if (value == 0 || value > kSpeedMax) {
        clear = true;  // a lone 0 or a number above the range is replaced by the next key
    } else if (key == QLatin1Char('0')) {
        clear = false;  // "0" extends any non-zero number
    } else if (value < kSpeedMin) {
        clear = false;  // an unfinished number grows digit by digit
    } else {
        clear = true;  // a complete speed stands: a new digit starts a new number
    }
    if (clear) {
        SpinEdit1_.SetText(QString());
    }
}

void SpeedControl::SpinEdit1Enter() {
    SpinEdit1_.SelectAll();
}

void SpeedControl::SpinEdit1Click() {
    SpinEdit1_.SelectAll();
}

}  // namespace tarvel
