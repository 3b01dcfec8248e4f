#include <QFile>
#include <mutex>

#include "resources/Images.h"

// The picture is compiled into this static library; the initialiser must be referenced or
// the linker drops it. Q_INIT_RESOURCE has to be called outside any namespace.
static void RegisterImageResources() {
    Q_INIT_RESOURCE(images);
}

namespace tarvel::resources {

namespace {
constexpr const char* kBackgroundPath = ":/tarvel/background.jpg";
}

QImage Background() {
    static std::once_flag registered;
    std::call_once(registered, RegisterImageResources);
    QFile file(QString::fromLatin1(kBackgroundPath));
    if (!file.open(QIODevice::ReadOnly)) {
        return {};
    }
    return DecodeJpeg(file.readAll());
}

}  // namespace tarvel::resources
