// What the playback logic needs of the window's controls: a button that shows a face, the speed
// box, the volume slider's position, the scan's debounce timer and the file-open dialog. The
// window implements these over its widgets (app/WidgetPorts); tests may script them instead, so
// the logic runs without a display. UI thread only.
#pragma once

#include <QColor>
#include <QString>

#include "player/ButtonFaces.h"

namespace tarvel {

class FaceButton {
  public:
    virtual ~FaceButton() = default;
    // Shows the face's caption and glyph.
    virtual void ShowFace(ButtonFace face) = 0;
};

// The speed box: its text is the only store of the speed.
class SpeedBox {
  public:
    virtual ~SpeedBox() = default;
    virtual void SetMinValue(int v) = 0;
    virtual void SetMaxValue(int v) = 0;
    virtual void SetIncrement(int v) = 0;
    virtual QString Text() const = 0;
    // Sets the text; raises the change event when the text differs.
    virtual void SetText(const QString& text) = 0;
    // The text read as a number (what an empty or invalid text counts as is the box's rule).
    virtual int Value() const = 0;
    // Writes `value`, limited to the range, only if its text differs.
    virtual void SetValue(int value) = 0;
    virtual void SetColor(const QColor& color) = 0;
    virtual void SelectAll() = 0;
};

class VolumeSlider {
  public:
    virtual ~VolumeSlider() = default;
    virtual int Position() const = 0;
};

class DebounceTimer {
  public:
    virtual ~DebounceTimer() = default;
    // (Re)starts the single wait of `intervalMs` before the scan.
    virtual void Start(int intervalMs) = 0;
};

class FileDialog {
  public:
    virtual ~FileDialog() = default;
    // Forgets the last choice, then asks; false if the user cancelled.
    virtual bool ChooseFile() = 0;
    // The chosen file's full path after a successful ChooseFile.
    virtual QString ChosenFile() const = 0;
};

}  // namespace tarvel
