#include "Log.h"

#include <cstdio>
#include <mutex>
#include <utility>

namespace aimset {

Q_LOGGING_CATEGORY(lcAimset, "aimset")

namespace {

std::mutex logMutex;
LogSink currentSink;

// A sink takes every line; standard output the lines the category's rules
// let through, bare as given (no message pattern): a line's own trailing
// space must stay.
void write(const QString& line, bool shown) {
    std::lock_guard lock(logMutex);
    if (currentSink) {
        currentSink(line);
    } else if (shown) {
        QByteArray bytes = line.toUtf8();
        bytes.append('\n');
        std::fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), stdout);
        std::fflush(stdout);
    }
}

} // namespace

void Log(const QString& line) {
    write(line, lcAimset().isInfoEnabled());
}

void LogDebug(const QString& line) {
    write(line, lcAimset().isDebugEnabled());
}

LogSink setLogSink(LogSink sink) {
    std::lock_guard lock(logMutex);
    return std::exchange(currentSink, std::move(sink));
}

void applyLogVerbosity(bool verbose) {
    QLoggingCategory::setFilterRules(verbose ? QStringLiteral("aimset.debug=true")
                                             : QStringLiteral("aimset.debug=false"));
}

} // namespace aimset
