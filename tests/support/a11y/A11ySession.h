#pragma once

#include "Platform/Accessibility.h"
#include "support/SpinUntil.h"

#include <QProcessEnvironment>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <chrono>
#include <cstdint>
#include <memory>

namespace aimset::test {

// A private D-Bus session bus, optionally with the accessibility bus launcher
// of at-spi2-core on it; everything it started stops when it goes. Desktop
// settings of the programs started in it live in memory only.
class A11ySession {
public:
    enum class Launcher { none, disabled, enabled };

    // Null, with a test failure saying why, when it cannot be had.
    static std::unique_ptr<A11ySession> start(Launcher launcher);

    const QString& address() const { return m_address; }
    // The environment of a program started in this session.
    QProcessEnvironment environment() const;

private:
    A11ySession() = default;

    QTemporaryDir m_dir;
    LineProcess m_bus;
    LineProcess m_launcher;
    QString m_address;
};

// A program started in the session, stopped when it goes (continued first,
// if it was stopped by the test).
class TestApp : public LineProcess {
public:
    TestApp(const A11ySession& session, const QString& program, const QStringList& arguments);
    ~TestApp() override;
    std::int32_t pid() const { return static_cast<std::int32_t>(processId()); }
};

// Reads a window through the adapter, running the event loop until the
// answer arrives (a test failure and null when none comes in the limit).
std::shared_ptr<const AccessibleElement>
readWindow(Accessibility& accessibility, std::int32_t pid,
           std::chrono::milliseconds limit = std::chrono::minutes(1));

// Writes a small HTML page into the folder; its file:// URL.
QString writePage(const QTemporaryDir& folder, const QString& fileName, const QString& title,
                  const QString& body);

// Chromium on the test desktop, accessible, with a throwaway profile in dir.
QStringList chromiumArguments(const QString& profileDir, const QString& url);

} // namespace aimset::test
