#pragma once

#include "Runtime/Log.h"
#include "support/QtPrinters.h"

#include <QStringList>

#include <mutex>

namespace aimset::test {

// Collects every logged line while it lives, instead of printing it; the
// lines compared in a failed check print as text.
class LogCapture {
public:
    LogCapture() {
        m_previous = setLogSink([this](const QString& line) {
            std::lock_guard lock(m_mutex);
            m_lines << line;
        });
    }
    ~LogCapture() { setLogSink(std::move(m_previous)); }

    QStringList lines() const {
        std::lock_guard lock(m_mutex);
        return m_lines;
    }
    // Lines logged since the last take(); they are forgotten.
    QStringList take() {
        std::lock_guard lock(m_mutex);
        QStringList taken;
        taken.swap(m_lines);
        return taken;
    }
    void clear() { take(); }

private:
    mutable std::mutex m_mutex;
    QStringList m_lines;
    LogSink m_previous;
};

} // namespace aimset::test
