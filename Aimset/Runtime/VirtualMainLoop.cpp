#include "VirtualMainLoop.h"

#include <optional>
#include <vector>

namespace aimset {

struct VirtualMainLoop::Timer {
    Duration interval{0};
    bool repeating = false;
    std::optional<Duration> wallDeadline;
    Guarded call;
};

class VirtualMainLoop::Control final : public TimerControl {
public:
    explicit Control(std::weak_ptr<Timer> timer)
        : m_timer(std::move(timer)) {}
    void cancel() override {
        if (auto timer = m_timer.lock()) {
            timer->call.task = nullptr;
        }
    }
    bool isActive() const override {
        auto timer = m_timer.lock();
        // A one-shot timer drops its task as it fires.
        return timer && !timer->call.isCancelled();
    }

private:
    std::weak_ptr<Timer> m_timer;
};

void VirtualMainLoop::suspend(Duration duration) {
    m_slept += std::max(duration, Duration(0));
    // The wall clock moved on: timers waiting for it are due that much sooner.
    std::vector<std::shared_ptr<Timer>> waiting;
    for (auto entry = m_timers.begin(); entry != m_timers.end();) {
        if (entry->second->wallDeadline) {
            waiting.push_back(entry->second);
            entry = m_timers.erase(entry);
        } else {
            ++entry;
        }
    }
    for (const auto& timer : waiting) {
        schedule(timer);
    }
    runPending();
}

void VirtualMainLoop::schedule(const std::shared_ptr<Timer>& timer) {
    const Duration due = timer->wallDeadline
                             ? std::max(m_now, *timer->wallDeadline - wallClockOrigin - m_slept)
                             : m_now + timer->interval;
    m_timers.emplace(std::make_pair(due, m_sequence++), timer);
}

std::shared_ptr<VirtualMainLoop::Timer> VirtualMainLoop::add(Timer timer) {
    auto shared = std::make_shared<Timer>(std::move(timer));
    schedule(shared);
    return shared;
}

TimerHandle VirtualMainLoop::scheduleOnce(Duration delay, Task task, QObject* context) {
    return TimerHandle(new Control(
        add({std::max(delay, Duration(0)), false, {}, guard(std::move(task), context)})));
}

TimerHandle VirtualMainLoop::scheduleAtWallClock(Duration deadline, Task task, QObject* context) {
    return TimerHandle(
        new Control(add({Duration(0), false, deadline, guard(std::move(task), context)})));
}

TimerHandle VirtualMainLoop::scheduleRepeating(Duration interval, Task task, QObject* context) {
    // A repeating timer of zero would never let the clock move; one millisecond is the floor.
    return TimerHandle(new Control(
        add({std::max(interval, Duration(1)), true, {}, guard(std::move(task), context)})));
}

void VirtualMainLoop::post(Task task, QObject* context) {
    Guarded posted = guard(std::move(task), context);
    std::lock_guard lock(m_postedMutex);
    m_posted.push_back(std::move(posted));
}

void VirtualMainLoop::postAfter(Duration delay, Task task, QObject* context) {
    add({std::max(delay, Duration(0)), false, {}, guard(std::move(task), context)});
}

void VirtualMainLoop::runPostedTasks() {
    for (;;) {
        Guarded posted;
        {
            std::lock_guard lock(m_postedMutex);
            if (m_posted.empty()) {
                return;
            }
            posted = std::move(m_posted.front());
            m_posted.pop_front();
        }
        if (!posted.isCancelled()) {
            posted.task();
        }
    }
}

bool VirtualMainLoop::runNextTimerDueBy(Duration limit) {
    while (!m_timers.empty()) {
        auto first = m_timers.begin();
        if (first->first.first > limit) {
            return false;
        }
        std::shared_ptr<Timer> timer = first->second;
        const Duration due = first->first.first;
        m_timers.erase(first);
        if (timer->call.isCancelled()) {
            continue;
        }
        m_now = std::max(m_now, due);
        if (timer->repeating) {
            schedule(timer);
        }
        // Copy: the task may cancel its own timer, which drops the stored function.
        Task task = timer->call.task;
        if (!timer->repeating) {
            timer->call.task = nullptr;
        }
        task();
        return true;
    }
    return false;
}

void VirtualMainLoop::advanceTo(Duration time) {
    const Duration target = std::max(time, m_now);
    for (;;) {
        runPostedTasks();
        if (!runNextTimerDueBy(target)) {
            break;
        }
    }
    // Posted tasks run after each timer; none are left at this point.
    m_now = target;
}

std::size_t VirtualMainLoop::scheduledTimerCount() const {
    return static_cast<std::size_t>(std::ranges::count_if(
        m_timers, [](const auto& entry) { return !entry.second->call.isCancelled(); }));
}

} // namespace aimset
