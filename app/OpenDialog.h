// TOpenDialog `od`: the file-open dialog of the LOAD button. The window's one dialog object keeps
// the title and filter; tests replace Chooser to pick a file or cancel without a dialog.
#pragma once

#include <QString>
#include <functional>
#include <optional>

#include "player/ControlPorts.h"

class QWidget;

namespace tarvel {

inline constexpr const char* kOpenDialogTitle = "音声ファイルを開く";
inline constexpr const char* kOpenDialogFilter =
    "再生可能ファイル (*.mp3 *.mp2 *.mp1 *.wav *.aif *.cda);;全てのファイル (*)";

class TOpenDialog final : public FileDialog {
  public:
    explicit TOpenDialog(QWidget* owner = nullptr);

    QString Title;
    QString Filter;
    QString FileName;  // the chosen file's full path after a successful Execute

    // Runs the dialog; false if the user cancelled (FileName is then left as it was).
    bool Execute();

    bool ChooseFile() override;
    QString ChosenFile() const override { return FileName; }

    // Replaces the platform dialog: returns the chosen path, or nothing for a cancel.
    std::function<std::optional<QString>(const TOpenDialog&)> Chooser;

  private:
    QWidget* owner_;
};

}  // namespace tarvel
