#include "Log.h"

#include <cstdio>
#include <mutex>

namespace aimset {

namespace {

std::mutex& logMutex() {
    static std::mutex mutex;
    return mutex;
}

LogSink& currentSink() {
    static LogSink sink;
    return sink;
}

void writeToStandardOutput(const QString& line) {
    QByteArray bytes = line.toUtf8();
    bytes.append('\n');
    std::fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), stdout);
    std::fflush(stdout);
}

} // namespace

void Log(const QString& line) {
    std::lock_guard lock(logMutex());
    if (currentSink()) {
        currentSink()(line);
    } else {
        writeToStandardOutput(line);
    }
}

LogSink setLogSink(LogSink sink) {
    std::lock_guard lock(logMutex());
    LogSink previous = std::move(currentSink());
    currentSink() = std::move(sink);
    return previous;
}

} // namespace aimset
