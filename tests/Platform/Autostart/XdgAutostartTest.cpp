#include "Platform/Linux/XdgAutostart.h"

#include "support/LogCapture.h"
#include "support/SpinUntil.h"

#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace aimset;
using namespace Qt::StringLiterals;
using test::writeFile;

namespace {

// What the command did: its exit status (none: the app starts as usual),
// then what it printed on standard output and on standard error, each said
// at once (the app may end right after).
QString run(XdgAutostart& autostart, const QStringList& arguments) {
    QString out;
    QString err;
    QTextStream outStream(&out);
    QTextStream errStream(&err);
    const auto status =
        runAutostartCommand(QStringList{u"aimset"_s} + arguments, autostart, outStream, errStream);
    return (status ? QString::number(*status) : u"none"_s) + u"|"_s + out + u"|"_s + err;
}

// One entry in a private config folder, for the app at /usr/bin/aimset.
struct XdgAutostartTest : ::testing::Test {
    QTemporaryDir config;
    XdgAutostart autostart{config.path(), u"/usr/bin/aimset"_s};
};

TEST(XdgAutostartExecTest, ProgramPathsWithSpecialCharactersAreQuotedForExec) {
    EXPECT_EQ(XdgAutostart::entryText(u"/opt/My Apps/aimset"_s).section(u'\n', 4, 4),
              u"Exec=\"/opt/My Apps/aimset\""_s);
    EXPECT_EQ(XdgAutostart::entryText(u"/home/a$b/50%/aimset"_s).section(u'\n', 4, 4),
              u"Exec=\"/home/a\\\\$b/50%%/aimset\""_s);
    QTemporaryDir config;
    XdgAutostart autostart(config.path(), u"/home/a$b \"x\"/aimset"_s);
    ASSERT_TRUE(autostart.setEnabled(true));
    // desktop-file-validate says nothing of a valid entry.
    EXPECT_EQ(test::run(u"desktop-file-validate"_s, {autostart.entryPath()}), QByteArray());
}

TEST_F(XdgAutostartTest, AHiddenEntryCountsAsOffAndSwitchingOnReplacesIt) {
    writeFile(autostart.entryPath(),
              "[Desktop Entry]\nType=Application\nName=Aimset\nExec=aimset\nHidden = true\n");
    EXPECT_FALSE(autostart.isEnabled());
    writeFile(autostart.entryPath(), "[Desktop Entry]\nHidden=true\n");
    ASSERT_TRUE(autostart.setEnabled(true));
    EXPECT_TRUE(autostart.isEnabled());
}

// Relative or empty XDG_CONFIG_HOME is ignored, as the base-directory rules say.
TEST(XdgAutostartEnvironmentTest, TheConfigHomeComesFromXdgConfigHomeOrTheHomeFolder) {
    QTemporaryDir home;
    const test::ScopedEnvironment homeSet("HOME", home.path().toUtf8());
    const QString fallback = home.path() + u"/.config/autostart/aimset.desktop"_s;
    for (const auto& [configHome, entry] :
         {std::pair{"/tmp/aimset-config", u"/tmp/aimset-config/autostart/aimset.desktop"_s},
          {"relative/config", fallback},
          {"", fallback}}) {
        const test::ScopedEnvironment configSet("XDG_CONFIG_HOME", configHome);
        EXPECT_EQ(XdgAutostart().entryPath(), entry) << configHome;
    }
}

TEST(XdgAutostartUnwritableTest, AnUnwritableFolderLeavesTheStateAndSaysSo) {
    QTemporaryDir dir;
    // The config home is a plain file: no autostart folder can be made in it.
    const QString configHome = dir.filePath(u"config"_s);
    writeFile(configHome, "not a folder");
    XdgAutostart autostart(configHome, u"/usr/bin/aimset"_s);
    test::LogCapture log;
    EXPECT_FALSE(autostart.setEnabled(true));
    EXPECT_FALSE(autostart.isEnabled());
    EXPECT_EQ(log.lines(),
              QStringList{u"[Autostart] Could not create "_s + configHome + u"/autostart"_s});
}

// One row per command, in order on one config folder: the exit status (none:
// the app starts as usual), what it printed, and the state after it. Switching
// on writes the entry (making the autostart folder), off removes it, and only
// a change is announced.
TEST_F(XdgAutostartTest, TheCommandLineSwitchesReportsAndRefuses) {
    const QString entry = config.path() + u"/autostart/aimset.desktop"_s;
    const QString where = u" ("_s + entry + u")\n|"_s;
    const QString on = u"0|Start at login: on"_s + where, off = u"0|Start at login: off"_s + where;
    const std::tuple<QStringList, QString, bool> rows[] = {
        {{u"--autostart"_s, u"status"_s}, off, false},
        {{u"--autostart=on"_s}, on, true},
        {{u"--autostart"_s, u"on"_s}, on, true},
        {{u"--autostart"_s, u"status"_s}, on, true},
        {{u"--autostart"_s, u"maybe"_s},
         u"2||aimset: --autostart takes on, off or status, not \"maybe\"\n"_s,
         true},
        {{u"--autostart"_s, u"off"_s}, off, false},
        {{u"--autostart"_s, u"off"_s}, off, false},
        {{u"--autostart"_s}, u"2||aimset: Missing value after '--autostart'.\n"_s, false},
        // Nothing of ours, or Qt's own options: the app starts as usual.
        {{}, u"none||"_s, false},
        {{u"-platform"_s, u"xcb"_s}, u"none||"_s, false},
    };
    int changes = 0;
    QObject::connect(&autostart, &XdgAutostart::enabledChanged, [&] { ++changes; });
    for (const auto& [arguments, result, enabled] : rows) {
        const std::string name = arguments.join(u' ').toStdString();
        EXPECT_EQ(run(autostart, arguments), result) << name;
        EXPECT_EQ(autostart.isEnabled(), enabled) << name;
        EXPECT_EQ(QString::fromUtf8(test::readFile(entry)),
                  enabled ? XdgAutostart::entryText(u"/usr/bin/aimset"_s) : QString())
            << name;
    }
    EXPECT_EQ(changes, 2);
    const QString help = run(autostart, {u"--help"_s});
    EXPECT_TRUE(help.startsWith(u"0|"_s) && help.contains(u"--autostart <on|off|status>"_s))
        << help.toStdString();
}

// The real program, with no desktop at all: the command needs none. Run from
// its build tree it will not start at login, and says why (the installed
// app's status and entry are checked by the install test).
TEST(XdgAutostartAppTest, TheAppAnswersTheCommandWithoutADisplay) {
    QTemporaryDir config;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.remove(u"DISPLAY"_s);
    environment.remove(u"WAYLAND_DISPLAY"_s);
    environment.insert(u"XDG_CONFIG_HOME"_s, config.path());
    const QString app = QString::fromUtf8(AIMSET_APP_PATH);
    QProcess process;
    process.setProcessEnvironment(environment);
    // Without the command, the app still refuses plainly.
    for (const auto& [arguments, refusal] :
         {std::pair{QStringList{u"--autostart"_s, u"on"_s},
                    QString(u"aimset: Start at login needs Aimset installed: this copy runs "
                            u"from its build folder ("_s +
                            QFileInfo(app).absolutePath() + u")\n"_s)},
          {QStringList(), u"Aimset: needs an X11 desktop, and DISPLAY is not set (under "
                          u"Wayland, enable XWayland).\n"_s}}) {
        process.start(app, arguments);
        ASSERT_TRUE(process.waitForFinished(20000));
        EXPECT_EQ(process.exitCode(), 1);
        EXPECT_EQ(QString::fromUtf8(process.readAllStandardError()), refusal);
    }
    EXPECT_FALSE(QFile::exists(config.path() + u"/autostart/aimset.desktop"_s));
}

} // namespace
