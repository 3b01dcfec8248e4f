// TSingleProc: keeps the program to one running copy.
//
// The first copy claims a local server name in the Linux abstract namespace, keyed to the
// application title and the user; the kernel drops the name when the process ends, however it ends
// (kill -9 included). A second copy finds the name taken, asks the first copy to restore and raise
// its window, tells the program not to show its own window, and requests a queued quit (exit code
// 0).
//
// Wayland lets no program raise a window of another client, nor its own without the desktop's
// consent: an activation token. A desktop that starts the second copy hands it one
// (XDG_ACTIVATION_TOKEN); the second copy passes it on with its request, and the first copy
// activates its window with it. Without a token the first copy still asks to be activated, which
// the desktop may answer with a notice instead.
#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>
#include <memory>

class QLocalServer;
class QWidget;

namespace tarvel {

class TSingleProc : public QObject {
    Q_OBJECT
  public:
    // `owner`: the main window, raised when another copy asks for it.
    explicit TSingleProc(QWidget* owner);
    ~TSingleProc() override;

    // The name this copy holds; null when it holds none (second copy, or the claim failed).
    QLocalServer* MutexHandle() const { return server_.get(); }
    // False in a second copy: the main window must not be shown.
    bool ShowMainForm() const { return showMainForm_; }

    // The name the running copy of this user holds.
    static QString MarkName();

    // The line a second copy sends to the first: "raise", then the activation token if it has
    // one.
    static QByteArray RaiseRequest(const QByteArray& activationToken);
    // Reads such a line. Anyone on the machine can reach the name, so a token is taken only if
    // it is short and plain; a malformed one is dropped and the request still counts.
    struct Request {
        bool raise = false;
        QByteArray activationToken;
    };
    static Request ParseRequest(const QByteArray& line);

  private:
    void RaiseOwner(const QByteArray& activationToken);
    void OnConnection();

    QWidget* owner_;
    std::unique_ptr<QLocalServer> server_;
    bool showMainForm_ = true;
};

}  // namespace tarvel
