// What an arrow button's auto-repeat waits on: one delay at a time, started again after each
// step. The window runs on Qt's timer; tests step a scripted one instead of waiting wall time.
#pragma once

#include <QTimer>
#include <functional>

namespace tarvel::controls {

class RepeatTimer {
  public:
    virtual ~RepeatTimer() = default;

    // Calls OnTimeout once, `ms` milliseconds from now (replacing any delay still running).
    virtual void Start(int ms) = 0;
    virtual void Stop() = 0;

    std::function<void()> OnTimeout;
};

class QtRepeatTimer final : public RepeatTimer {
  public:
    QtRepeatTimer();
    void Start(int ms) override { timer_.start(ms); }
    void Stop() override { timer_.stop(); }

  private:
    QTimer timer_;
};

}  // namespace tarvel::controls
