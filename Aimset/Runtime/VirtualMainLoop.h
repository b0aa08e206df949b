#pragma once

#include "MainLoop.h"

#include <QPointer>

#include <algorithm>
#include <deque>
#include <map>
#include <mutex>

namespace aimset {

// A main loop whose clock stands still until advance() moves it. Everything
// that falls due on the way runs in a fixed order: first the posted tasks
// (in posting order), then the earliest due timer (timers due at the same
// moment in the order they were scheduled), then the posted tasks again, and
// so on. Used by tests and by the scripted desktop simulator.
class VirtualMainLoop final : public MainLoop {
public:
    Duration now() const override { return m_now; }
    Duration wallClock() const override { return wallClockOrigin + m_now + m_slept; }
    TimerHandle scheduleOnce(Duration delay, Task task, QObject* context = nullptr) override;
    TimerHandle scheduleAtWallClock(Duration deadline, Task task,
                                    QObject* context = nullptr) override;
    TimerHandle scheduleRepeating(Duration interval, Task task,
                                  QObject* context = nullptr) override;
    void post(Task task, QObject* context = nullptr) override;
    void postAfter(Duration delay, Task task, QObject* context = nullptr) override;

    // Moves the clock forward by duration, running what falls due.
    void advance(Duration duration) { advanceTo(m_now + std::max(duration, Duration(0))); }
    // Moves the clock to an absolute time (never backwards).
    void advanceTo(Duration time);
    // Runs what is due at the current time without moving the clock.
    void runPending() { advanceTo(m_now); }
    // The machine sleeps for duration: the wall clock moves on, the monotonic
    // clock and its timers stand still; on waking, what was posted runs and so
    // do the wall-clock timers the sleep carried past their deadline.
    void suspend(Duration duration);

    // Where the wall clock stood when the loop was made.
    static constexpr Duration wallClockOrigin{1'767'225'600'000}; // 2026-01-01 00:00 UTC

    // Timers still scheduled (one-shot not yet fired, repeating not cancelled).
    std::size_t scheduledTimerCount() const;

private:
    struct Timer;
    class Control;
    // A task and the context whose destruction cancels it.
    struct Guarded {
        Task task;
        QPointer<QObject> context;
        bool hasContext = false;
        bool isCancelled() const { return !task || (hasContext && context.isNull()); }
    };
    static Guarded guard(Task task, QObject* context) {
        return {std::move(task), context, context != nullptr};
    }

    void schedule(const std::shared_ptr<Timer>& timer);
    std::shared_ptr<Timer> add(Timer timer);
    void runPostedTasks();
    bool runNextTimerDueBy(Duration limit);

    Duration m_now{0};
    Duration m_slept{0};
    std::uint64_t m_sequence = 0;
    // Ordered by (due time, scheduling sequence).
    std::map<std::pair<Duration, std::uint64_t>, std::shared_ptr<Timer>> m_timers;
    mutable std::mutex m_postedMutex;
    std::deque<Guarded> m_posted;
};

} // namespace aimset
