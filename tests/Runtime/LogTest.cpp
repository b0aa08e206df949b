#include "Runtime/Log.h"
#include "support/LogCapture.h"
#include "support/QtPrinters.h"

#include <QFile>
#include <QTemporaryFile>

#include <gtest/gtest.h>

#include <cstdio>
#include <unistd.h>

#include <thread>
#include <vector>

using namespace aimset;
using namespace Qt::StringLiterals;

namespace {

TEST(LogTest, SinkReceivesWholeLinesDebugOnesIncludedAndIsRestored) {
    QStringList outer;
    auto previous = setLogSink([&](const QString& line) { outer << line; });
    {
        applyLogVerbosity(false);
        test::LogCapture capture;
        Log(u"[Intervention] Countdown expired \u2014 auto-closing tab"_s);
        LogDebug(u"[AppMonitor] App: Firefox (firefox) | Window: Inbox"_s);
        EXPECT_EQ(capture.lines(),
                  (QStringList{u"[Intervention] Countdown expired \u2014 auto-closing tab"_s,
                               u"[AppMonitor] App: Firefox (firefox) | Window: Inbox"_s}));
    }
    Log(u"after"_s);
    setLogSink(std::move(previous));
    EXPECT_EQ(outer, QStringList{u"after"_s});
}

TEST(LogTest, LinesFromManyThreadsNeverInterleave) {
    test::LogCapture capture;
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([t] {
            for (int i = 0; i < 250; ++i) {
                Log(u"thread %1 line %2"_s.arg(t).arg(i));
            }
        });
    }
    for (auto& thread : threads) {
        thread.join();
    }
    const QStringList lines = capture.lines();
    ASSERT_EQ(lines.size(), 1000);
    for (const QString& line : lines) {
        EXPECT_TRUE(line.startsWith(u"thread "_s)) << line.toStdString();
    }
}

// Bare lines, as the app has always printed them, whatever Qt's message
// pattern; debug lines only when verbose.
TEST(LogTest, StandardOutputGetsBareUtf8LinesFlushedAtOnceDebugOnesWhenVerbose) {
    qputenv("QT_MESSAGE_PATTERN", "%{time} %{category} %{type}: %{message}");
    QTemporaryFile file;
    ASSERT_TRUE(file.open());
    std::fflush(stdout);
    const int saved = dup(STDOUT_FILENO);
    ASSERT_GE(saved, 0);
    ASSERT_GE(dup2(file.handle(), STDOUT_FILENO), 0);
    QFile reader(file.fileName());
    ASSERT_TRUE(reader.open(QIODevice::ReadOnly));
    // Read before restoring: each line must already be on disk, not in a buffer.
    QByteArrayList written;
    applyLogVerbosity(false);
    Log(u"[Alignment] Title says not aligned, running OCR for verdict... "_s);
    LogDebug(u"[Alignment] Cached verdict for: Write \u2194 Caf\u00e9"_s);
    written << reader.readAll();
    applyLogVerbosity(true);
    LogDebug(u"[Alignment] Cached verdict for: Write \u2194 Caf\u00e9"_s);
    written << reader.readAll();
    applyLogVerbosity(false);
    dup2(saved, STDOUT_FILENO);
    close(saved);
    qunsetenv("QT_MESSAGE_PATTERN");
    EXPECT_EQ(written,
              (QByteArrayList{"[Alignment] Title says not aligned, running OCR for verdict... \n",
                              "[Alignment] Cached verdict for: Write \xe2\x86\x94 Caf\xc3\xa9\n"}));
}

} // namespace
