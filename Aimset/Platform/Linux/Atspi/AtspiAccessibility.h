#pragma once

#include "Platform/Accessibility.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <chrono>
#include <map>
#include <memory>
#include <optional>

class QThread;

namespace aimset {

// Other applications' windows through AT-SPI. Trust is the desktop's
// accessibility bus being enabled (org.a11y.Status.IsEnabled), which the
// prompt switches on, at once and for good where the desktop keeps it. The bus
// is asked asynchronously: isProcessTrusted() answers from what it last heard.
// Window trees are read by aimset-atspi-dump, a child process run on a thread
// of the adapter's own (starting one holds the thread until it has exec'd) and
// killed at the deadline, the window then unreadable, whatever the target
// application does. Answers come back on the thread the adapter was made on.
class AtspiAccessibility final : public Accessibility {
public:
    struct Options {
        // Where aimset-atspi-dump is looked for; empty: beside the running app.
        QString programDirectory;
        // The whole read of one window, start to parsed tree.
        std::chrono::milliseconds deadline{2000};
        // The session bus to use; empty: the process's own.
        QString busAddress;
        // What the window text check keeps of a window: elements above this
        // depth, this many characters of their texts; the reader reads no more.
        int walkDepth = 15;
        int keptTextLength = 4000;
        // Makes the setting last across logins; failure is tolerated.
        QStringList persistCommand =
            QStringLiteral("gsettings set org.gnome.desktop.interface toolkit-accessibility true")
                .split(QLatin1Char(' '));
    };

    AtspiAccessibility();
    explicit AtspiAccessibility(Options options);
    ~AtspiAccessibility() override;

    bool isProcessTrusted() override;
    void requestTrustWithPrompt() override;
    void readFocusedWindow(std::int32_t processIdentifier, WindowCompletion completion) override;

private:
    class Bus;
    class Readers;

    Options m_options;
    std::unique_ptr<Bus> m_bus;
    std::unique_ptr<QThread> m_readerThread;
    Readers* m_readers = nullptr;
    std::map<quint64, WindowCompletion> m_pending;
    quint64 m_lastReadId = 0;
};

// The window in aimset-atspi-dump's output, null when it has none; nothing
// (and why in error) when the output is malformed.
std::optional<std::shared_ptr<const AccessibleElement>> parseWindowDump(const QByteArray& json,
                                                                        QString& error);

} // namespace aimset
