#pragma once

#include "MainLoop.h"

#include <QElapsedTimer>
#include <QObject>

namespace aimset {

// The main loop of the running application: Qt's event loop on the thread
// that constructs it, with precise QTimers (no coalescing, no leeway).
class QtMainLoop final : public MainLoop {
public:
    QtMainLoop();
    ~QtMainLoop() override;

    Duration now() const override;
    Duration wallClock() const override;
    TimerHandle scheduleOnce(Duration delay, Task task) override;
    TimerHandle scheduleAtWallClock(Duration deadline, Task task) override;
    TimerHandle scheduleRepeating(Duration interval, Task task) override;
    void post(Task task) override;
    void postAfter(Duration delay, Task task) override;

private:
    TimerHandle startTimer(Duration interval, bool singleShot, Task task);

    QElapsedTimer m_clock;
    QObject m_context;
};

} // namespace aimset
