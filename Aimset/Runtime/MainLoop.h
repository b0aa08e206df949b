#pragma once

#include <chrono>
#include <functional>
#include <memory>

class QObject;

namespace aimset {

// What a handle holds of its timer; the loop implementation decides what
// cancelling means for it.
class TimerControl {
public:
    virtual ~TimerControl() = default;
    virtual void cancel() = 0;
    virtual bool isActive() const = 0;
};

// Owns one scheduled timer. Dropping, resetting or overwriting the handle
// cancels the timer, so a component that holds its timers in handle fields
// can never leave one running behind it.
class [[nodiscard]] TimerHandle {
public:
    TimerHandle() = default;
    // Takes ownership of control.
    explicit TimerHandle(TimerControl* control)
        : m_control(control) {}

    void reset() { m_control.reset(); }

    // True while a one-shot timer has not fired yet or a repeating timer runs.
    bool isActive() const { return m_control && m_control->isActive(); }
    explicit operator bool() const { return static_cast<bool>(m_control); }

private:
    struct Cancel {
        void operator()(TimerControl* control) const {
            control->cancel();
            delete control;
        }
    };
    std::unique_ptr<TimerControl, Cancel> m_control;
};

// The main thread's run loop as the components see it: its clock, its timers
// and a way to get work onto it. Production runs on Qt's event loop; tests run
// on a virtual loop whose clock moves only when the test says so.
class MainLoop {
public:
    using Duration = std::chrono::milliseconds;
    using Task = std::function<void()>;

    virtual ~MainLoop() = default;

    // Monotonic time since the loop's own origin. It stands still while the
    // machine sleeps, and so do the timers.
    virtual Duration now() const = 0;

    // Wall-clock time since the Unix epoch: it moves on while the machine
    // sleeps. For spans a person lives through (a focus session).
    virtual Duration wallClock() const = 0;

    // Every call below takes an optional context, as Qt's own timers do: a
    // QObject on the main thread whose destruction cancels the call, so a
    // task may use its owner freely. It must be alive when the call is made.

    // Runs task once, delay from now. Main thread only.
    virtual TimerHandle scheduleOnce(Duration delay, Task task, QObject* context = nullptr) = 0;

    // Runs task once the wall clock reaches deadline (wallClock()'s scale): on
    // time, at once on waking if the machine slept past it, and possibly early
    // when the clock is set, so the task should check what is due. This default
    // cannot tell a sleep and waits on the monotonic clock. Main thread only.
    virtual TimerHandle scheduleAtWallClock(Duration deadline, Task task,
                                            QObject* context = nullptr) {
        return scheduleOnce(deadline - wallClock(), std::move(task), context);
    }

    // Runs task every interval; the first firing comes one interval from now.
    // Main thread only.
    virtual TimerHandle scheduleRepeating(Duration interval, Task task,
                                          QObject* context = nullptr) = 0;

    // Runs task on the main thread as soon as it is free. Callable from any
    // thread; tasks posted from one thread run in the order they were posted.
    virtual void post(Task task, QObject* context = nullptr) = 0;

    // Runs task once, delay from now, with no handle: only its context's
    // destruction cancels it. Main thread only.
    virtual void postAfter(Duration delay, Task task, QObject* context = nullptr) = 0;
};

} // namespace aimset
