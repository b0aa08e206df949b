#include "QtMainLoop.h"

#include <QPointer>
#include <QTimer>

#include <algorithm>

#ifdef __linux__
#include <QSocketNotifier>
#include <sys/timerfd.h>
#include <unistd.h>
#endif

namespace aimset {

namespace {

class QtTimerControl final : public TimerControl {
public:
    explicit QtTimerControl(QTimer* timer)
        : m_timer(timer) {}
    void cancel() override {
        if (m_timer) {
            m_timer->stop();
            m_timer->deleteLater();
        }
    }
    bool isActive() const override { return m_timer && m_timer->isActive(); }

private:
    QPointer<QTimer> m_timer;
};

#ifdef __linux__
// A deadline the kernel keeps on the wall clock: it fires on waking when a
// sleep carried past it, and early when the clock is set (which cancels a
// timerfd). Fired, its notifier is switched off; the handle closes the file.
class WallClockControl final : public TimerControl {
public:
    WallClockControl(int fd, QObject* context)
        : m_fd(fd)
        , m_notifier(new QSocketNotifier(fd, QSocketNotifier::Read, context)) {}
    void cancel() override {
        if (m_notifier) {
            m_notifier->setEnabled(false);
            m_notifier->deleteLater();
        }
        ::close(m_fd);
    }
    bool isActive() const override { return m_notifier && m_notifier->isEnabled(); }
    QSocketNotifier* notifier() const { return m_notifier; }

private:
    int m_fd;
    QPointer<QSocketNotifier> m_notifier;
};
#endif

int toTimerMilliseconds(MainLoop::Duration duration, int minimum) {
    return static_cast<int>(std::clamp<MainLoop::Duration::rep>(duration.count(), minimum,
                                                                std::numeric_limits<int>::max()));
}

} // namespace

TimerHandle QtMainLoop::startTimer(Duration interval, bool singleShot, Task task,
                                   QObject* context) {
    auto* timer = new QTimer(owner(context));
    timer->setTimerType(Qt::PreciseTimer);
    timer->setSingleShot(singleShot);
    // A repeating timer of zero would spin the loop; one millisecond is the floor.
    timer->setInterval(toTimerMilliseconds(interval, singleShot ? 0 : 1));
    QObject::connect(timer, &QTimer::timeout, timer, [timer, singleShot, task = std::move(task)] {
        if (singleShot) {
            timer->deleteLater();
        }
        task();
    });
    timer->start();
    return TimerHandle(new QtTimerControl(timer));
}

TimerHandle QtMainLoop::scheduleAtWallClock(Duration deadline, Task task, QObject* context) {
#ifdef __linux__
    const int fd = ::timerfd_create(CLOCK_REALTIME, TFD_NONBLOCK | TFD_CLOEXEC);
    const auto ms = std::max<Duration::rep>(deadline.count(), 1);
    itimerspec at{};
    at.it_value.tv_sec = static_cast<time_t>(ms / 1000);
    at.it_value.tv_nsec = static_cast<long>(ms % 1000) * 1'000'000;
    if (fd >= 0 &&
        ::timerfd_settime(fd, TFD_TIMER_ABSTIME | TFD_TIMER_CANCEL_ON_SET, &at, nullptr) == 0) {
        auto* control = new WallClockControl(fd, owner(context));
        QSocketNotifier* notifier = control->notifier();
        QObject::connect(notifier, &QSocketNotifier::activated, notifier,
                         [notifier, task = std::move(task)] {
                             notifier->setEnabled(false);
                             task();
                         });
        return TimerHandle(control);
    }
    if (fd >= 0) {
        ::close(fd);
    }
#endif
    return scheduleOnce(deadline - wallClock(), std::move(task), context);
}

void QtMainLoop::post(Task task, QObject* context) {
    QMetaObject::invokeMethod(owner(context), std::move(task), Qt::QueuedConnection);
}

void QtMainLoop::postAfter(Duration delay, Task task, QObject* context) {
    QTimer::singleShot(toTimerMilliseconds(delay, 0), Qt::PreciseTimer, owner(context),
                       std::move(task));
}

} // namespace aimset
