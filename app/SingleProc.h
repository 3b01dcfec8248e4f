// TSingleProc: keeps the program to one running copy.
//
// The first copy claims a local server name in the Linux abstract namespace, keyed to the
// application title and the user; the kernel drops the name when the process ends, however it ends
// (kill -9 included). A second copy finds the name taken, asks the first copy to restore and raise
// its window, tells the program not to show its own window, and requests a queued quit (exit code
// 0).
#pragma once

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

    // The message a second copy sends to the first.
    static constexpr const char* kRaiseRequest = "raise\n";

  private:
    void RaiseOwner();
    void OnConnection();

    QWidget* owner_;
    std::unique_ptr<QLocalServer> server_;
    bool showMainForm_ = true;
};

}  // namespace tarvel
