#pragma once

#include "Runtime/VirtualMainLoop.h"

#include <QPointer>

#include <utility>
#include <vector>

namespace aimset {

// The virtual loop, able to hold back what is posted, as a busy main thread
// does: a test can then act between a timer firing and the work it queued.
class HoldingMainLoop final : public MainLoop {
public:
    Duration now() const override { return inner.now(); }
    Duration wallClock() const override { return inner.wallClock(); }
    TimerHandle scheduleOnce(Duration delay, Task task, QObject* context = nullptr) override {
        return inner.scheduleOnce(delay, std::move(task), context);
    }
    TimerHandle scheduleRepeating(Duration interval, Task task,
                                  QObject* context = nullptr) override {
        return inner.scheduleRepeating(interval, std::move(task), context);
    }
    void post(Task task, QObject* context = nullptr) override {
        if (holding) {
            held.push_back({std::move(task), context, context != nullptr});
        } else {
            inner.post(std::move(task), context);
        }
    }
    void postAfter(Duration delay, Task task, QObject* context = nullptr) override {
        inner.postAfter(delay, std::move(task), context);
    }
    // Queues what was held, in order, and runs what is due.
    void release() {
        holding = false;
        for (Held& task : std::exchange(held, {})) {
            if (!task.guarded || task.context) {
                inner.post(std::move(task.task), task.context);
            }
        }
        inner.runPending();
    }

    VirtualMainLoop inner;
    bool holding = false;
    struct Held {
        Task task;
        QPointer<QObject> context;
        bool guarded = false;
    };
    std::vector<Held> held;
};

} // namespace aimset
