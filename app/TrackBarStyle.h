// The volume slider's look: the application's style with a thumb 9 pixels long.
#pragma once

#include <QProxyStyle>

namespace tarvel {

inline constexpr int kTrackBarThumbLength = 9;

class TrackBarStyle : public QProxyStyle {
  public:
    int pixelMetric(PixelMetric metric, const QStyleOption* option = nullptr,
                    const QWidget* widget = nullptr) const override {
        if (metric == PM_SliderLength) {
            return kTrackBarThumbLength;
        }
        return QProxyStyle::pixelMetric(metric, option, widget);
    }
};

}  // namespace tarvel
