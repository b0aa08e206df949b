#pragma once

#include <QString>

#include <functional>

namespace aimset {

// Receives every log line, without its trailing newline.
using LogSink = std::function<void(const QString& line)>;

// Writes one line: by default UTF-8 to standard output, flushed at once so
// that a reader of the stream sees each event as it happens. Safe to call
// from any thread; lines never interleave.
void Log(const QString& line);

// Replaces the destination of Log and returns the previous one. An empty
// sink restores standard output.
LogSink setLogSink(LogSink sink);

} // namespace aimset
