#pragma once

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>

#include <chrono>
#include <functional>
#include <optional>
#include <stdexcept>

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

// Lets the event loop run for a while, for what has no event to wait on.
inline void settle(std::chrono::milliseconds duration = std::chrono::milliseconds(300)) {
    spinUntil([] { return false; }, duration);
}

// A child whose standard output the test reads line by line, its errors on
// the test's own. When it goes it is asked to end, as a session logout
// would, and killed if it lingers.
class LineProcess : public QProcess {
public:
    LineProcess() {
        setProcessChannelMode(QProcess::ForwardedErrorChannel);
        QObject::connect(this, &QProcess::readyReadStandardOutput, this, [this] {
            while (canReadLine()) {
                printed << QString::fromUtf8(readLine()).chopped(1);
            }
        });
    }
    ~LineProcess() override {
        terminate();
        if (!waitForFinished(5000)) {
            kill();
            waitForFinished(5000);
        }
    }

    // Starts the program, or throws.
    void launch(const QString& program, const QStringList& arguments) {
        start(program, arguments);
        if (!waitForStarted(10000)) {
            throw std::runtime_error("could not start " + program.toStdString());
        }
    }

    QStringList printed; // every whole line so far
};

// Runs a program to its end, with its errors on the test's own standard
// error: what it printed, if it exited 0. One that hangs is killed as the
// process object goes, and Qt's warning names it.
inline std::optional<QByteArray> run(const QString& program, const QStringList& arguments,
                                     const QByteArray& input = {}, int timeoutMs = 60000) {
    QProcess process;
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process.start(program, arguments);
    process.write(input);
    process.closeWriteChannel();
    if (!process.waitForFinished(timeoutMs) || process.exitStatus() != QProcess::NormalExit ||
        process.exitCode() != 0) {
        return std::nullopt;
    }
    return process.readAllStandardOutput();
}

// Writes a file, and the folders it goes in; false if it could not.
inline bool writeFile(const QString& path, const QByteArray& bytes) {
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

// A file's bytes; none if it cannot be read.
inline QByteArray readFile(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Sets an environment variable, or with no value unsets it, while it lives.
class ScopedEnvironment {
public:
    ScopedEnvironment(const char* name, const std::optional<QByteArray>& value)
        : m_name(name)
        , m_saved(qEnvironmentVariableIsSet(name) ? std::optional(qgetenv(name)) : std::nullopt) {
        set(value);
    }
    ~ScopedEnvironment() { set(m_saved); }
    ScopedEnvironment(const ScopedEnvironment&) = delete;
    ScopedEnvironment& operator=(const ScopedEnvironment&) = delete;

private:
    bool set(const std::optional<QByteArray>& value) {
        return value ? qputenv(m_name, *value) : qunsetenv(m_name);
    }

    const char* m_name;
    std::optional<QByteArray> m_saved;
};

} // namespace aimset::test
