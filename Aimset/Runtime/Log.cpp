#include "Log.h"

#include <cstdio>
#include <cstring>
#include <mutex>

namespace aimset {

Q_LOGGING_CATEGORY(lcAimset, "aimset")

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

QtMessageHandler& previousHandler() {
    static QtMessageHandler handler = nullptr;
    return handler;
}

// Our category's lines are printed bare, as they always were; every other
// message goes where it went before.
void printOwnLines(QtMsgType type, const QMessageLogContext& context, const QString& message) {
    if (context.category && std::strcmp(context.category, lcAimset().categoryName()) == 0) {
        std::lock_guard lock(logMutex());
        writeToStandardOutput(message);
        return;
    }
    if (previousHandler()) {
        previousHandler()(type, context, message);
    }
}

void installHandlerOnce() {
    static std::once_flag once;
    std::call_once(once, [] { previousHandler() = qInstallMessageHandler(printOwnLines); });
}

// True when a sink took the line.
bool toSink(const QString& line) {
    std::lock_guard lock(logMutex());
    if (!currentSink()) {
        return false;
    }
    currentSink()(line);
    return true;
}

} // namespace

void Log(const QString& line) {
    if (toSink(line) || !lcAimset().isInfoEnabled()) {
        return;
    }
    installHandlerOnce();
    // No separators: a line's own trailing space must stay.
    qCInfo(lcAimset).noquote().nospace() << line;
}

void LogDebug(const QString& line) {
    if (toSink(line) || !lcAimset().isDebugEnabled()) {
        return;
    }
    installHandlerOnce();
    qCDebug(lcAimset).noquote().nospace() << line;
}

LogSink setLogSink(LogSink sink) {
    std::lock_guard lock(logMutex());
    LogSink previous = std::move(currentSink());
    currentSink() = std::move(sink);
    return previous;
}

void applyLogVerbosity(bool verbose) {
    QLoggingCategory::setFilterRules(verbose ? QStringLiteral("aimset.debug=true")
                                             : QStringLiteral("aimset.debug=false"));
}

} // namespace aimset
