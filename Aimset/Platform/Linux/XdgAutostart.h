#pragma once

#include <QObject>
#include <QString>
#include <QStringList>
#include <QTextStream>

#include <optional>

namespace aimset {

// Starting the app at login: our desktop entry in $XDG_CONFIG_HOME/autostart,
// there and not hidden. Only for an installed app: one in a build tree moves,
// goes with the next clean build, and has no icon installed.
class XdgAutostart : public QObject {
    Q_OBJECT
    Q_PROPERTY(bool enabled READ isEnabled WRITE setEnabled NOTIFY enabledChanged)
    Q_PROPERTY(QString unavailableReason READ unavailableReason CONSTANT)

public:
    // configHome empty: $XDG_CONFIG_HOME, else ~/.config. program: what the
    // entry runs; empty: the running app's own executable, if installed.
    explicit XdgAutostart(QString configHome = {}, QString program = {}, QObject* parent = nullptr);

    QString entryPath() const;
    bool isEnabled() const;
    // Why the entry cannot be switched on; empty when it can.
    QString unavailableReason() const { return m_unavailableReason; }
    // On failure (or when unavailable): one log line, false, no change.
    bool setEnabled(bool enabled);

    // The entry's text for a program path (quoted as desktop entries need).
    static QString entryText(const QString& program);

signals:
    void enabledChanged();

private:
    QString m_configHome;
    QString m_program;
    QString m_unavailableReason;
};

// Handles `--autostart on|off|status` (and --help) before any window exists:
// the exit status, or nothing when the app should start as usual.
std::optional<int> runAutostartCommand(const QStringList& arguments, XdgAutostart& autostart,
                                       QTextStream& out, QTextStream& err);

} // namespace aimset
