#include "XdgAutostart.h"

#include "DesktopEntries.h"
#include "LinuxAppLists.h"
#include "Platform/Qt/HelperPrograms.h"
#include "Runtime/Log.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>

namespace aimset {

namespace {

QString defaultConfigHome() {
    // Qt takes $XDG_CONFIG_HOME as it is; the base-directory rules ignore a relative one.
    const QString configured =
        QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    return QDir::isAbsolutePath(configured) ? configured
                                            : QDir::homePath() + QStringLiteral("/.config");
}

// An Exec argument: quoted when it holds anything the desktop-entry rules
// treat specially, with the characters escaped that must be inside quotes.
QString execArgument(const QString& argument) {
    static const QString reserved = QStringLiteral(" \t\n\"'\\><~|&;$*?#()`");
    static const QString escapedInQuotes = QStringLiteral("\"`$\\");
    QString escaped = argument;
    escaped.replace(QLatin1Char('%'), QStringLiteral("%%"));
    if (!argument.isEmpty() && std::none_of(argument.begin(), argument.end(),
                                            [](QChar c) { return reserved.contains(c); })) {
        return escaped;
    }
    QString quoted;
    for (const QChar c : std::as_const(escaped)) {
        if (escapedInQuotes.contains(c)) {
            quoted += QLatin1Char('\\');
        }
        quoted += c;
    }
    // The string value itself escapes backslashes once more.
    quoted.replace(QLatin1Char('\\'), QStringLiteral("\\\\"));
    return QLatin1Char('"') + quoted + QLatin1Char('"');
}

} // namespace

XdgAutostart::XdgAutostart(QString configHome, QString program, QObject* parent)
    : QObject(parent)
    , m_configHome(configHome.isEmpty() ? defaultConfigHome() : std::move(configHome))
    , m_program(program.isEmpty() ? QCoreApplication::applicationFilePath() : program) {
    if (program.isEmpty() && !isInstalledApp()) {
        m_unavailableReason =
            QStringLiteral("Start at login needs Aimset installed: this copy runs from its "
                           "build folder (") +
            QCoreApplication::applicationDirPath() + QStringLiteral(")");
    }
}

QString XdgAutostart::entryPath() const {
    return m_configHome + QStringLiteral("/autostart/") + QString::fromLatin1(kLinuxOwnAppID) +
           QStringLiteral(".desktop");
}

bool XdgAutostart::isEnabled() const {
    // Hidden=true is how a desktop entry is switched off without deleting it.
    const auto keys = desktopEntryKeys(entryPath());
    return keys && keys->value(QStringLiteral("Hidden")) != QStringLiteral("true");
}

QString XdgAutostart::entryText(const QString& program) {
    return QStringLiteral("[Desktop Entry]\n"
                          "Type=Application\n"
                          "Name=Aimset\n"
                          "Comment=Start Aimset at login\n"
                          "Exec=") +
           execArgument(program) +
           QStringLiteral("\n"
                          "Icon=aimset\n"
                          "Terminal=false\n"
                          "X-GNOME-Autostart-enabled=true\n");
}

bool XdgAutostart::setEnabled(bool enabled) {
    const bool was = isEnabled();
    const QString path = entryPath();
    if (enabled && !m_unavailableReason.isEmpty()) {
        Log(QStringLiteral("[Autostart] ") + m_unavailableReason);
        return false;
    }
    if (enabled) {
        if (!QDir().mkpath(QFileInfo(path).absolutePath())) {
            Log(QStringLiteral("[Autostart] Could not create ") + QFileInfo(path).absolutePath());
            return false;
        }
        QSaveFile file(path);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Text) ||
            file.write(entryText(m_program).toUtf8()) < 0 || !file.commit()) {
            Log(QStringLiteral("[Autostart] Could not write ") + path + QStringLiteral(": ") +
                file.errorString());
            return false;
        }
    } else if (QFile::exists(path) && !QFile::remove(path)) {
        Log(QStringLiteral("[Autostart] Could not remove ") + path);
        return false;
    }
    if (was != enabled) {
        emit enabledChanged();
    }
    return true;
}

std::optional<int> runAutostartCommand(const QStringList& arguments, XdgAutostart& autostart,
                                       QTextStream& out, QTextStream& err) {
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Aimset, a desktop focus assistant."));
    const QCommandLineOption help(QStringList{QStringLiteral("h"), QStringLiteral("help")},
                                  QStringLiteral("Displays this help."));
    const QCommandLineOption autostartOption(
        QStringLiteral("autostart"),
        QStringLiteral("Start Aimset at login (on), not (off), or show which (status)."),
        QStringLiteral("on|off|status"));
    // Read by the app itself; listed here so that --help shows it.
    const QCommandLineOption verbose(
        QStringLiteral("verbose"),
        QStringLiteral("Also log every poll, with window titles and page text (debug lines)."));
    parser.addOption(help);
    parser.addOption(autostartOption);
    parser.addOption(verbose);
    // Said at once: the app may end right after.
    const auto say = [](QTextStream& stream, const QString& text, int status) {
        stream << text;
        stream.flush();
        return status;
    };
    const auto fail = [&](const QString& why, int status) {
        return say(err, QStringLiteral("aimset: ") + why + QLatin1Char('\n'), status);
    };
    const auto state = [&](const QString& value) {
        return say(
            out, QStringLiteral("Start at login: %1 (%2)\n").arg(value, autostart.entryPath()), 0);
    };
    // Qt's own options (-platform, -style, ...) are not ours to judge: an
    // argument list we cannot read is left to the app unless it names us.
    if (!parser.parse(arguments)) {
        if (parser.errorText().contains(QStringLiteral("autostart"))) {
            return fail(parser.errorText(), 2);
        }
        return std::nullopt;
    }
    if (parser.isSet(help)) {
        return say(out, parser.helpText(), 0);
    }
    if (!parser.isSet(autostartOption)) {
        return std::nullopt;
    }
    const QString value = parser.value(autostartOption);
    if (value == QStringLiteral("status")) {
        return state(autostart.isEnabled() ? QStringLiteral("on") : QStringLiteral("off"));
    }
    if (value != QStringLiteral("on") && value != QStringLiteral("off")) {
        return fail(QStringLiteral("--autostart takes on, off or status, not \"%1\"").arg(value),
                    2);
    }
    const bool enabled = value == QStringLiteral("on");
    if (enabled && !autostart.unavailableReason().isEmpty()) {
        return fail(autostart.unavailableReason(), 1);
    }
    if (!autostart.setEnabled(enabled)) {
        return fail(QStringLiteral("could not switch start at login ") + value, 1);
    }
    return state(value);
}

} // namespace aimset
