#pragma once

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>

#include <chrono>
#include <functional>

namespace aimset::test {

// Runs Qt's event loop, as the app does, until done() holds or the limit
// passes; returns done().
inline bool spinUntil(const std::function<bool()>& done,
                      std::chrono::milliseconds limit = std::chrono::milliseconds(10000)) {
    QElapsedTimer elapsed;
    elapsed.start();
    while (!done() && elapsed.elapsed() < limit.count()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    return done();
}

// Asks a child to end, as a session logout would, and kills it if it lingers.
inline void stopProcess(QProcess& process) {
    process.terminate();
    if (!process.waitForFinished(5000)) {
        process.kill();
        process.waitForFinished(5000);
    }
}

} // namespace aimset::test
