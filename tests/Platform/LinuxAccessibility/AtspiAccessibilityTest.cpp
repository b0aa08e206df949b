#include "Platform/Linux/Atspi/AtspiAccessibility.h"
#include "Monitoring/AlignmentChecker.h"
#include "support/LogCapture.h"
#include "support/SpinUntil.h"
#include "support/a11y/A11ySession.h"

#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>

namespace aimset {
namespace {

using namespace std::chrono_literals;
using namespace Qt::StringLiterals;
using namespace test;

AtspiAccessibility::Options optionsOn(const A11ySession& session) {
    AtspiAccessibility::Options options;
    options.programDirectory = QStringLiteral(AIMSET_ATSPI_DUMP_DIR);
    options.busAddress = session.address();
    // A busy test machine may be slow; the deadline has a test of its own.
    options.deadline = 10s;
    return options;
}

// The prompt switches the bus on at once, whether or not the lasting setting
// can be written, and the adapter follows whoever switches it later. Without
// an accessibility bus nothing is trusted, and each failure is said once.
TEST(AtspiTrust, PromptEnablesTheBusAtOnceAndTheAdapterFollowsItsSwitches) {
    QTemporaryDir dir;
    const QString marker = dir.filePath(u"persisted"_s);
    const QString tag = u"[Accessibility] "_s;
    const QString enabled = tag + u"Accessibility bus enabled"_s;
    const QString missing = u": The name org.a11y.Bus was not provided by any .service files"_s;
    // The bus's state, the command that keeps accessibility on, the lines said.
    const std::tuple<A11ySession::Launcher, QStringList, QStringList> cases[] = {
        {A11ySession::Launcher::disabled, {u"touch"_s, marker}, {enabled}},
        {A11ySession::Launcher::disabled,
         {u"/nonexistent/aimset-gsettings"_s},
         {tag + u"Could not run /nonexistent/aimset-gsettings to keep accessibility enabled"_s,
          enabled}},
        {A11ySession::Launcher::none,
         {},
         {tag + u"Cannot read whether the accessibility bus is enabled"_s + missing,
          tag + u"Could not enable the accessibility bus"_s + missing}},
    };
    for (const auto& [launcher, persistCommand, lines] : cases) {
        const auto session = A11ySession::start(launcher);
        ASSERT_TRUE(session);
        auto options = optionsOn(*session);
        options.persistCommand = persistCommand;
        LogCapture log;
        AtspiAccessibility accessibility(options);

        // Asked at every poll, answered at once, the bus asked in the background.
        QElapsedTimer clock;
        clock.start();
        for (int poll = 0; poll < 5; ++poll) {
            EXPECT_FALSE(accessibility.isProcessTrusted());
            spinUntil([] { return false; }, 100ms);
        }
        accessibility.requestTrustWithPrompt();
        EXPECT_LT(clock.elapsed(), 1000);
        EXPECT_TRUE(spinUntil([&] { return log.lines().size() >= lines.size(); }, 5s));
        EXPECT_EQ(log.lines(), lines);
        EXPECT_EQ(accessibility.isProcessTrusted(), launcher != A11ySession::Launcher::none);
        if (launcher == A11ySession::Launcher::none) {
            continue;
        }
        // Another program (the desktop's settings, a screen reader) switches the bus.
        const QString set = u"call --dest=org.a11y.Bus --object-path=/org/a11y/bus --method="
                            "org.freedesktop.DBus.Properties.Set org.a11y.Status IsEnabled"_s;
        for (const bool on : {false, true}) {
            EXPECT_EQ(QProcess::execute(u"gdbus"_s, set.split(u' ')
                                                        << u"--address="_s + session->address()
                                                        << (on ? u"<true>"_s : u"<false>"_s)),
                      0);
            EXPECT_TRUE(spinUntil([&] { return accessibility.isProcessTrusted() == on; }, 5s));
        }
    }
    EXPECT_TRUE(spinUntil([&] { return QFileInfo::exists(marker); }, 5s));
}

TEST(AtspiDump, MalformedOutputIsAnErrorAndAMissingWindowIsNull) {
    QString error;
    EXPECT_FALSE(parseWindowDump("{\"window\":", error));
    EXPECT_EQ(error, u"unterminated object"_s);
    EXPECT_FALSE(parseWindowDump("[]", error));
    EXPECT_EQ(error, u"no window member"_s);
    const auto none = parseWindowDump("{\"window\":null}", error);
    ASSERT_TRUE(none);
    EXPECT_EQ(*none, nullptr);
}

// What the window text check sends of the window, read through the real
// adapter once it holds marker (an application needs a while to start and
// publish its tree).
QString windowText(AtspiAccessibility& accessibility, std::int32_t pid,
                   const QString& marker = {}) {
    QString text;
    EXPECT_TRUE(spinUntil(
        [&] {
            const auto window = readWindow(accessibility, pid);
            text = window ? AlignmentChecker::windowText(*window) : QString();
            return text.contains(marker);
        },
        1min))
        << "no " << marker.toStdString() << " in " << text.toStdString();
    return text;
}

// Real applications on the test desktop, in one accessibility session.
class AtspiWindows : public ::testing::Test {
protected:
    static void SetUpTestSuite() { s_session = A11ySession::start(A11ySession::Launcher::enabled); }
    static void TearDownTestSuite() { s_session.reset(); }

    void SetUp() override {
        ASSERT_TRUE(s_session);
        ASSERT_FALSE(qEnvironmentVariableIsEmpty("DISPLAY")) << "run under scripts/with-desktop.sh";
    }

    static inline std::unique_ptr<A11ySession> s_session;
};

TEST_F(AtspiWindows, ReadsAGtkDialogToTheWalkDepthAndAFrozenOneCostsOnlyTheDeadline) {
    TestApp zenity(*s_session, u"zenity"_s,
                   {u"--info"_s, u"--title=Aimset GTK check"_s,
                    u"--text=Quarterly report draft due Friday"_s});
    // The label sits three levels below the dialog: elements as deep as the
    // walk limit are not even listed. (The first read waits for the dialog.)
    auto options = optionsOn(*s_session);
    for (const int depth : {4, 3}) {
        options.walkDepth = depth;
        AtspiAccessibility shallow(options);
        const QString text =
            windowText(shallow, zenity.pid(), depth == 4 ? u"Friday"_s : QString());
        EXPECT_TRUE(text.contains(u"Aimset GTK check"_s));
        EXPECT_EQ(text.contains(u"Quarterly report draft due Friday"_s), depth == 4) << depth;
    }

    options = optionsOn(*s_session);
    options.deadline = 1500ms;
    AtspiAccessibility bounded(options);
    ::kill(zenity.processId(), SIGSTOP);
    LogCapture log;
    QElapsedTimer elapsed;
    elapsed.start();
    // Not the application, the deadline ends the read: null, at the deadline.
    EXPECT_EQ(readWindow(bounded, zenity.processId()), nullptr);
    const qint64 took = elapsed.elapsed();
    ::kill(zenity.processId(), SIGCONT);
    EXPECT_GE(took, 1400);
    EXPECT_LT(took, 1500 + 1000);
    EXPECT_EQ(log.lines(), QStringList{u"[Accessibility] Reading the window of "
                                       "process %1 took longer than 1500 ms; "
                                       "stopped"_s.arg(zenity.processId())});

    // Thawed, it answers again.
    windowText(bounded, zenity.processId(), u"Friday"_s);
}

// Of each window, its texts are read and nothing of its password fields:
// neither their text nor their bullets nor their name or description. A Qt
// window; a browser's page, of which only the tab on show is read: not the
// other tab's, nor the tab strip. On the page, one hidden password and fields
// whose "show password" switch has turned them into plain text: labelled,
// named, with a telling id, next to a label of their own, with a placeholder,
// or only the switch after them. (Chromium does not expose the autocomplete
// hint, "new-password", to AT-SPI.) Then a long text, which the read stops
// in, with the same text kept as after reading it all.
TEST_F(AtspiWindows, ReadsQtAndChromiumWindowsButNothingOfTheirPasswordsShownOrNot) {
    QTemporaryDir dir;
    // Accents, combining marks and emoji: clusters the early stop may not
    // count as certain, so it has to read on.
    QString paragraphs;
    for (int i = 1; i <= 400; ++i) {
        paragraphs += u"<p>Paragraph %1: caf\u00E9 na\u0308ive \U0001F44D\U0001F3FD "
                      "\u0915\u094D\u0937 notes on the budget</p>"_s.arg(i);
    }
    const QString login = writePage(
        dir, u"login.html"_s, u"Aimset test page"_s,
        u"<h1>Team handbook</h1><form><label for=u>User</label>"
        "<input id=u value=alice><label for=p>Password</label><input id=p "
        "type=password value=hunter2secret title=\"Secret code field description\">"
        "<button>Sign in</button><input aria-label=Kennwort type=password value=shownsecret4>"
        "<input id=new-password value=shownsecret6></form><form><label for=r>Mot de passe</label>"
        "<input id=r type=password value=shownsecret1></form>"
        "<div><span>Passwort</span><input type=password value=shownsecret2></div>"
        "<div><input type=password placeholder=Contrase\u00F1a value=shownsecret3>"
        "</div><div><input type=password value=shownsecret5><button "
        "aria-label=\"Show password\">\u25C9</button></div><p>Your city</p>"
        "<input value=Lisbon><script>for (const f of document.querySelectorAll("
        "'input[value^=shown]')) f.type = 'text';</script>%1<p>The last paragraph</p>"_s.arg(
            paragraphs));
    const QString other = writePage(dir, u"other.html"_s, u"Bravo tab"_s, u"Bravo body"_s);
    // Each window's program, its arguments, texts it shows and the last of them.
    const std::tuple<QString, QStringList, QStringList, QString> apps[] = {
        {QStringLiteral(AIMSET_QT_PASSWORD_WINDOW_PATH),
         {},
         {u"Budget spreadsheet review"_s, u"alice@example.invalid"_s},
         u"Submit budget"_s},
        // The first tab is the one on show.
        {u"chromium"_s,
         chromiumArguments(dir.filePath(u"profile"_s), login) << other,
         {u"Team handbook"_s, u"alice"_s, u"Sign in"_s, u"Show password"_s, u"Lisbon"_s},
         u"The last paragraph"_s},
    };
    for (const auto& [program, arguments, shown, last] : apps) {
        TestApp window(*s_session, program, arguments);
        // The texts of the window's tree as read.
        const auto partsOf = [&](AtspiAccessibility& accessibility) {
            QStringList parts;
            if (const auto tree = readWindow(accessibility, window.pid())) {
                AlignmentChecker::collectText(*tree, parts, 0, AlignmentChecker::maxWalkDepth);
            }
            return parts;
        };
        auto options = optionsOn(*s_session);
        options.keptTextLength = 1000000000;
        options.deadline = 30s;
        AtspiAccessibility whole(options);
        // Loaded once the whole tree holds the last text.
        ASSERT_TRUE(spinUntil([&] { return partsOf(whole).contains(last); }, 1min));
        AtspiAccessibility accessibility(optionsOn(*s_session));
        const QString text = windowText(accessibility, window.pid());
        EXPECT_EQ(windowText(whole, window.pid()), text);
        // What it read past the kept text is at most the last text it took.
        EXPECT_LT(partsOf(accessibility).join(u' ').size(), 2 * AlignmentChecker::maxTextLength);
        for (const QString& expected : shown) {
            EXPECT_TRUE(text.contains(expected)) << expected.toStdString();
        }
        for (const char* never : {"hunter2secret", "shownsecret", "Secret code field", "\u2022",
                                  "\u25CF", "\u2217", "**", "Bravo", "Reload"}) {
            EXPECT_FALSE(text.contains(QString::fromUtf8(never)))
                << never << " in " << text.toStdString();
        }
    }
}

} // namespace
} // namespace aimset
