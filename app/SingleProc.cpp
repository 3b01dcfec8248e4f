#include "app/SingleProc.h"

#include <QCoreApplication>
#include <QLocalServer>
#include <QLocalSocket>
#include <QWidget>

#include <unistd.h>

namespace tarvel {

namespace {

constexpr int kConnectTimeoutMs = 1000;
constexpr int kWriteTimeoutMs = 1000;

// Asks the running copy to bring its window forward. Failure is silent: this copy ends anyway.
void AskRunningCopyToRaise(const QString& name) {
    QLocalSocket socket;
    socket.setSocketOptions(QLocalSocket::AbstractNamespaceOption);
    socket.connectToServer(name);
    if (!socket.waitForConnected(kConnectTimeoutMs)) {
        return;
    }
    socket.write(TSingleProc::kRaiseRequest);
    socket.waitForBytesWritten(kWriteTimeoutMs);
    socket.disconnectFromServer();
}

}  // namespace

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
            if (socket->readAll().startsWith("raise")) {
                RaiseOwner();
            }
        });
    }
}

void TSingleProc::RaiseOwner() {
    if (owner_ == nullptr) {
        return;
    }
    if (owner_->isMinimized()) {
        owner_->setWindowState(owner_->windowState() & ~Qt::WindowMinimized);
    }
    owner_->raise();
    owner_->activateWindow();
}

}  // namespace tarvel
