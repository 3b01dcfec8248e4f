#include "app/OpenDialog.h"

#include <QFileDialog>
#include <QFileInfo>

namespace tarvel {

TOpenDialog::TOpenDialog(QWidget* owner)
    : Title(QString::fromUtf8(kOpenDialogTitle)),
      Filter(QString::fromUtf8(kOpenDialogFilter)),
      owner_(owner) {}

bool TOpenDialog::Execute() {
    std::optional<QString> chosen;
    if (Chooser) {
        chosen = Chooser(*this);
    } else {
        // No initial folder: the platform's dialog decides where it opens.
        const QString path = QFileDialog::getOpenFileName(owner_, Title, QString(), Filter);
        if (!path.isEmpty()) {
            chosen = path;
        }
    }
    if (!chosen || chosen->isEmpty()) {
        return false;
    }
    FileName = QFileInfo(*chosen).absoluteFilePath();
    return true;
}

bool TOpenDialog::ChooseFile() {
    FileName.clear();
    return Execute();
}

}  // namespace tarvel
