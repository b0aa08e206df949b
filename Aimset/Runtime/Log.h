#pragma once

#include <QLoggingCategory>
#include <QString>

#include <functional>

namespace aimset {

// The app's lines are filtered by this Qt logging category ("aimset"): Log
// writes info lines, shown by default, and LogDebug debug lines, which a
// desktop session keeps out of its journal ("aimset.debug=false", lifted by
// --verbose or QT_LOGGING_RULES).
Q_DECLARE_LOGGING_CATEGORY(lcAimset)

// Receives every log line, without its trailing newline.
using LogSink = std::function<void(const QString& line)>;

// Writes one line: state changes and failures. By default UTF-8 to standard
// output, bare as given, flushed at once so that a reader of the stream sees
// each event as it happens. Safe to call from any thread; lines never
// interleave.
void Log(const QString& line);

// The same for a line shown only on request: per-poll lines and every line
// that carries a window title or page text.
void LogDebug(const QString& line);

// Replaces the destination of both and returns the previous one. A sink sees
// every line, debug lines included, whatever the logging rules say. An empty
// sink restores standard output.
LogSink setLogSink(LogSink sink);

// The filter the app starts with: debug lines off unless verbose. Rules from
// QT_LOGGING_RULES still win.
void applyLogVerbosity(bool verbose);

} // namespace aimset
