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
#include <QRegularExpression>
#include <QSaveFile>
#include <QStandardPaths>

namespace aimset {

using namespace Qt::StringLiterals;

namespace {

QString defaultConfigHome() {
    // Qt takes $XDG_CONFIG_HOME as it is; the base-directory rules ignore a relative one.
    const QString configured =
        QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    return QDir::isAbsolutePath(configured) ? configured : QDir::homePath() + u"/.config"_s;
}

// An Exec argument, quoted and escaped as the desktop-entry rules need.
QString execArgument(const QString& argument) {
    static const QRegularExpression reserved(u"[ \\t\\n\"'\\\\><~|&;$*?#()`]"_s);
    static const QRegularExpression escapedInQuotes(u"([\"`$\\\\])"_s);
    QString escaped = argument;
    escaped.replace(u'%', u"%%"_s);
    if (!argument.isEmpty() && !argument.contains(reserved)) {
        return escaped;
    }
    escaped.replace(escapedInQuotes, u"\\\\1"_s);
    // The string value itself escapes backslashes once more.
    escaped.replace(u'\\', u"\\\\"_s);
    return u'"' + escaped + u'"';
}

} // namespace

XdgAutostart::XdgAutostart(QString configHome, QString program, QObject* parent)
    : QObject(parent)
    , m_configHome(configHome.isEmpty() ? defaultConfigHome() : std::move(configHome))
    , m_program(program.isEmpty() ? QCoreApplication::applicationFilePath() : program) {
    if (program.isEmpty() && !isInstalledApp()) {
        m_unavailableReason =
            u"Start at login needs Aimset installed: this copy runs from its build folder ("_s +
            QCoreApplication::applicationDirPath() + u")"_s;
    }
}

QString XdgAutostart::entryPath() const {
    return m_configHome + u"/autostart/"_s + QString::fromLatin1(kLinuxOwnAppID) + u".desktop"_s;
}

bool XdgAutostart::isEnabled() const {
    // Hidden=true is how a desktop entry is switched off without deleting it.
    const auto keys = desktopEntryKeys(entryPath());
    return keys && keys->value(u"Hidden"_s) != u"true"_s;
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
        Log(u"[Autostart] "_s + m_unavailableReason);
        return false;
    }
    if (enabled) {
        if (!QDir().mkpath(QFileInfo(path).absolutePath())) {
            Log(u"[Autostart] Could not create "_s + QFileInfo(path).absolutePath());
            return false;
        }
        QSaveFile file(path);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Text) ||
            file.write(entryText(m_program).toUtf8()) < 0 || !file.commit()) {
            Log(u"[Autostart] Could not write "_s + path + u": "_s + file.errorString());
            return false;
        }
    } else if (QFile::exists(path) && !QFile::remove(path)) {
        Log(u"[Autostart] Could not remove "_s + path);
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
    parser.setApplicationDescription(u"Aimset, a desktop focus assistant."_s);
    const QCommandLineOption help(QStringList{u"h"_s, u"help"_s}, u"Displays this help."_s);
    const QCommandLineOption autostartOption(
        u"autostart"_s, u"Start Aimset at login (on), not (off), or show which (status)."_s,
        u"on|off|status"_s);
    // Read by the app itself; listed here so that --help shows it.
    const QCommandLineOption verbose(
        u"verbose"_s, u"Also log every poll, with window titles and page text (debug lines)."_s);
    parser.addOptions({help, autostartOption, verbose});
    // Said at once: the app may end right after.
    const auto say = [](QTextStream& stream, const QString& text, int status) {
        stream << text;
        stream.flush();
        return status;
    };
    const auto fail = [&](const QString& why, int status) {
        return say(err, u"aimset: "_s + why + u'\n', status);
    };
    const auto state = [&](const QString& value) {
        return say(out, u"Start at login: %1 (%2)\n"_s.arg(value, autostart.entryPath()), 0);
    };
    // Qt's own options (-platform, -style, ...) are not ours to judge: an
    // argument list we cannot read is left to the app unless it names us.
    if (!parser.parse(arguments)) {
        if (parser.errorText().contains(u"autostart"_s)) {
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
    if (value == u"status"_s) {
        return state(autostart.isEnabled() ? u"on"_s : u"off"_s);
    }
    if (value != u"on"_s && value != u"off"_s) {
        return fail(u"--autostart takes on, off or status, not \"%1\""_s.arg(value), 2);
    }
    const bool enabled = value == u"on"_s;
    if (enabled && !autostart.unavailableReason().isEmpty()) {
        return fail(autostart.unavailableReason(), 1);
    }
    if (!autostart.setEnabled(enabled)) {
        return fail(u"could not switch start at login "_s + value, 1);
    }
    return state(value);
}

} // namespace aimset
