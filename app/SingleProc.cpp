#include "app/SingleProc.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QLocalServer>
#include <QLocalSocket>
#include <QWidget>

#include <unistd.h>

namespace tarvel {

namespace {

constexpr int kConnectTimeoutMs = 1000;
constexpr int kWriteTimeoutMs = 1000;
constexpr qsizetype kMaxRequestLength = 512;
constexpr qsizetype kMaxTokenLength = 256;
constexpr char kRaiseWord[] = "raise";

// The token the desktop gave this start, if it gave one.
QByteArray OwnActivationToken() {
    return qgetenv("XDG_ACTIVATION_TOKEN");
}

bool PlainToken(const QByteArray& token) {
    if (token.isEmpty() || token.size() > kMaxTokenLength) {
        return false;
    }
    for (const char c : token) {
        if (c <= ' ' || c > '~') {
            return false;
        }
    }
    return true;
}

// Asks the running copy to bring its window forward. Failure is silent: this copy ends anyway.
void AskRunningCopyToRaise(const QString& name) {
    QLocalSocket socket;
    socket.setSocketOptions(QLocalSocket::AbstractNamespaceOption);
    socket.connectToServer(name);
    if (!socket.waitForConnected(kConnectTimeoutMs)) {
        return;
    }
    socket.write(TSingleProc::RaiseRequest(OwnActivationToken()));
    socket.waitForBytesWritten(kWriteTimeoutMs);
    socket.disconnectFromServer();
}

}  // namespace

QByteArray TSingleProc::RaiseRequest(const QByteArray& activationToken) {
    QByteArray line(kRaiseWord);
    if (PlainToken(activationToken)) {
        line += ' ' + activationToken;
    }
    return line + '\n';
}

TSingleProc::Request TSingleProc::ParseRequest(const QByteArray& line) {
    const QByteArray text = line.endsWith('\n') ? line.chopped(1) : line;
    const QList<QByteArray> words = text.split(' ');
    Request request;
    request.raise = words.value(0) == kRaiseWord;
    if (request.raise && words.size() == 2 && PlainToken(words[1])) {
        request.activationToken = words[1];
    }
    return request;
}

QString TSingleProc::MarkName() {
    // Per user: another user's running copy on the same machine must not keep this one from
    // starting, nor be raised by it.
    return QStringLiteral("%1 (uid %2)").arg(QCoreApplication::applicationName()).arg(getuid());
}

TSingleProc::TSingleProc(QWidget* owner) : QObject(nullptr), owner_(owner) {
    const QString title = MarkName();
    auto server = std::make_unique<QLocalServer>();
    server->setSocketOptions(QLocalServer::AbstractNamespaceOption);
    if (server->listen(title)) {
        server_ = std::move(server);
        connect(server_.get(), &QLocalServer::newConnection, this, &TSingleProc::OnConnection);
        return;
    }
    if (server->serverError() != QAbstractSocket::AddressInUseError) {
        return;  // no mark could be made: run without one, unreported
    }
    AskRunningCopyToRaise(title);
    showMainForm_ = false;
    QMetaObject::invokeMethod(
        QCoreApplication::instance(), [] { QCoreApplication::exit(0); }, Qt::QueuedConnection);
}

TSingleProc::~TSingleProc() = default;

void TSingleProc::OnConnection() {
    while (QLocalSocket* socket = server_->nextPendingConnection()) {
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
            if (!socket->canReadLine()) {
                if (socket->bytesAvailable() > kMaxRequestLength) {
                    socket->abort();  // not one of ours
                }
                return;
            }
            const Request request = ParseRequest(socket->readLine(kMaxRequestLength));
            if (request.raise) {
                RaiseOwner(request.activationToken);
            }
        });
    }
}

void TSingleProc::RaiseOwner(const QByteArray& activationToken) {
    if (owner_ == nullptr) {
        return;
    }
    if (owner_->isMinimized()) {
        owner_->setWindowState(owner_->windowState() & ~Qt::WindowMinimized);
    }
    owner_->raise();
    // Qt's Wayland platform activates with the token it finds in the environment, and clears it.
    if (!activationToken.isEmpty() && QGuiApplication::platformName() == QLatin1String("wayland")) {
        qputenv("XDG_ACTIVATION_TOKEN", activationToken);
    }
    owner_->activateWindow();
}

}  // namespace tarvel
