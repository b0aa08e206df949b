#pragma once

#include "MainLoop.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QObject>

namespace aimset {

// The main loop of the running application: Qt's event loop on the thread
// that constructs it, with precise QTimers (no coalescing, no leeway).
class QtMainLoop final : public MainLoop {
public:
    QtMainLoop() { m_clock.start(); }

    Duration now() const override { return Duration(m_clock.elapsed()); }
    Duration wallClock() const override { return Duration(QDateTime::currentMSecsSinceEpoch()); }
    TimerHandle scheduleOnce(Duration delay, Task task, QObject* context = nullptr) override {
        return startTimer(delay, true, std::move(task), context);
    }
    TimerHandle scheduleAtWallClock(Duration deadline, Task task,
                                    QObject* context = nullptr) override;
    TimerHandle scheduleRepeating(Duration interval, Task task,
                                  QObject* context = nullptr) override {
        return startTimer(interval, false, std::move(task), context);
    }
    void post(Task task, QObject* context = nullptr) override;
    void postAfter(Duration delay, Task task, QObject* context = nullptr) override;

private:
    TimerHandle startTimer(Duration interval, bool singleShot, Task task, QObject* context);
    // Timers live as the context's children: its destruction takes them along.
    QObject* owner(QObject* context) { return context ? context : &m_context; }

    QElapsedTimer m_clock;
    QObject m_context;
};

} // namespace aimset
