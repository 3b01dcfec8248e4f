#include "app/WidgetPorts.h"

#include <QSlider>
#include <QTimer>

#include "controls/FramBtn.h"
#include "controls/SpinEdit.h"
#include "player/VolumeControl.h"
#include "resources/Images.h"

namespace tarvel {

void ShowFace(controls::TFramSpeedBtn& button, ButtonFace face) {
    button.SetCaption(QString::fromUtf8(face.caption));
    button.SetGlyph(resources::Glyph(face.glyph));
}

void ConfigureTrackBar1(QSlider& TrackBar1) {
    TrackBar1.setOrientation(Qt::Horizontal);
    TrackBar1.setRange(kVolumeMin, kVolumeMax);
    TrackBar1.setPageStep(kVolumePage);
    TrackBar1.setSingleStep(kVolumeLine);
    TrackBar1.setTickPosition(QSlider::NoTicks);
    TrackBar1.setValue(kVolumeStart);
}

void ButtonPort::ShowFace(ButtonFace face) {
    tarvel::ShowFace(button_, face);
}

void SpinEditPort::SetMinValue(int v) {
    box_.SetMinValue(v);
}
void SpinEditPort::SetMaxValue(int v) {
    box_.SetMaxValue(v);
}
void SpinEditPort::SetIncrement(int v) {
    box_.SetIncrement(v);
}
QString SpinEditPort::Text() const {
    return box_.Text();
}
void SpinEditPort::SetText(const QString& text) {
    box_.SetText(text);
}
int SpinEditPort::Value() const {
    return box_.Value();
}
void SpinEditPort::SetValue(int value) {
    box_.SetValue(value);
}
void SpinEditPort::SetColor(const QColor& color) {
    box_.SetColor(color);
}
void SpinEditPort::SelectAll() {
    box_.SelectAll();
}

int SliderPort::Position() const {
    return slider_.value();
}

void TimerPort::Start(int intervalMs) {
    timer_.setInterval(intervalMs);
    timer_.start();
}

}  // namespace tarvel
