#include "QtMainLoop.h"

#include <QDateTime>
#include <QPointer>
#include <QTimer>

#include <algorithm>

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
            m_timer = nullptr;
        }
    }
    bool isActive() const override { return m_timer && m_timer->isActive(); }

private:
    QPointer<QTimer> m_timer;
};

int toTimerMilliseconds(MainLoop::Duration duration, int minimum) {
    const auto count = std::clamp<MainLoop::Duration::rep>(duration.count(), minimum,
                                                           std::numeric_limits<int>::max());
    return static_cast<int>(count);
}

} // namespace

QtMainLoop::QtMainLoop() {
    m_clock.start();
}

QtMainLoop::~QtMainLoop() = default;

MainLoop::Duration QtMainLoop::now() const {
    return Duration(m_clock.elapsed());
}

MainLoop::Duration QtMainLoop::wallClock() const {
    return Duration(QDateTime::currentMSecsSinceEpoch());
}

TimerHandle QtMainLoop::startTimer(Duration interval, bool singleShot, Task task) {
    auto* timer = new QTimer(&m_context);
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
    return TimerHandle(std::make_shared<QtTimerControl>(timer));
}

TimerHandle QtMainLoop::scheduleOnce(Duration delay, Task task) {
    return startTimer(delay, true, std::move(task));
}

TimerHandle QtMainLoop::scheduleRepeating(Duration interval, Task task) {
    return startTimer(interval, false, std::move(task));
}

void QtMainLoop::post(Task task) {
    QMetaObject::invokeMethod(&m_context, std::move(task), Qt::QueuedConnection);
}

void QtMainLoop::postAfter(Duration delay, Task task) {
    QTimer::singleShot(toTimerMilliseconds(delay, 0), Qt::PreciseTimer, &m_context,
                       std::move(task));
}

} // namespace aimset
