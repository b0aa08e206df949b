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
// accessibility bus being enabled (org.a11y.Status.IsEnabled); the prompt
// switches it on, for good where the desktop keeps the setting and at once.
// Nothing here waits on another process: the bus is asked asynchronously and
// isProcessTrusted() answers from what it last heard (false until then).
// Window trees are read by aimset-atspi-dump, installed beside the app: a
// child process started, read and timed out on a thread of the adapter's own
// (starting a process holds the starting thread until the child has exec'd),
// under a deadline after which the reader is killed and the window counts as
// unreadable, however the target application behaves. The answer comes back
// through the event loop of the thread the adapter was made on (the main one).
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
        // depth, and this many characters of their joined texts. The reader
        // stops once it has read enough of them.
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

// The window in aimset-atspi-dump's output, its roles in the port's names;
// null when the output has no window. Malformed output is an error, said in error.
std::optional<std::shared_ptr<const AccessibleElement>> parseWindowDump(const QByteArray& json,
                                                                        QString& error);

} // namespace aimset
