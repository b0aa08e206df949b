#include "Platform/Linux/Atspi/AtspiAccessibility.h"
#include "Monitoring/AlignmentChecker.h"
#include "Platform/Fake/FakeHttpClient.h"
#include "support/LogCapture.h"
#include "support/QtPrinters.h"
#include "support/SpinUntil.h"
#include "support/a11y/A11ySession.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVariant>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QUrl>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace aimset {
namespace {

using test::A11ySession;
using test::LogCapture;
using test::TestApp;
using ::testing::HasSubstr;
using ::testing::Not;

AtspiAccessibility::Options optionsOn(const A11ySession& session) {
    AtspiAccessibility::Options options;
    options.programDirectory = QStringLiteral(AIMSET_ATSPI_DUMP_DIR);
    options.busAddress = session.address();
    options.persistCommand.clear();
    // A busy test machine may be slow; the deadline has a test of its own.
    options.deadline = std::chrono::seconds(10);
    return options;
}

int countRole(const AccessibleElement& element, const QString& role) {
    int count = element.role() == role ? 1 : 0;
    for (const auto& child :
         element.children().value_or(std::vector<std::shared_ptr<const AccessibleElement>>{})) {
        count += countRole(*child, role);
    }
    return count;
}

int treeDepth(const AccessibleElement& element) {
    int deepest = 0;
    for (const auto& child :
         element.children().value_or(std::vector<std::shared_ptr<const AccessibleElement>>{})) {
        deepest = std::max(deepest, treeDepth(*child));
    }
    return deepest + 1;
}

using test::spinUntil;

bool trustedBecomes(AtspiAccessibility& accessibility, bool expected) {
    return spinUntil([&] { return accessibility.isProcessTrusted() == expected; },
                     std::chrono::seconds(5));
}

// What the window text check sends, read through the real adapter.
QString windowText(AtspiAccessibility& accessibility, std::int32_t pid) {
    FakeHttpClient http;
    AlignmentChecker checker(http, accessibility, QUrl(QStringLiteral("http://127.0.0.1:9/check")));
    // Trust arrives from the bus a moment after the adapter is made.
    trustedBecomes(accessibility, true);
    auto text = std::make_shared<std::optional<QString>>();
    checker.extractWindowText(
        pid, QStringLiteral("org.example.app"),
        [text](std::optional<QString> read) { *text = read.value_or(QString()); });
    EXPECT_TRUE(spinUntil([&] { return text->has_value(); }, std::chrono::seconds(60)));
    return text->value_or(QString());
}

// Reads the window until its text holds marker (the application needs a
// while to start and to publish its tree).
QString windowTextOnceShown(AtspiAccessibility& accessibility, const TestApp& app,
                            const QString& marker) {
    QString text;
    test::waitUntil(
        [&] {
            text = app.isRunning() ? windowText(accessibility, app.pid()) : QString();
            return !app.isRunning() || text.contains(marker);
        },
        std::chrono::seconds(60));
    return text;
}

// The text of every kind of secure field that must never come out.
void expectNothingOfThePassword(const QString& text) {
    EXPECT_THAT(text.toStdString(), Not(HasSubstr("hunter2secret")));
    EXPECT_THAT(text.toStdString(), Not(HasSubstr("Secret code field description")));
    for (const char* bullet : {"\u2022", "\u25CF", "\u2217", "**"}) {
        EXPECT_THAT(text.toStdString(), Not(HasSubstr(bullet))) << "bullet " << bullet;
    }
}

// The prompt switches the bus on at once, whether or not the lasting setting
// can be written; the change may be heard before the launcher's answer.
TEST(AtspiTrust, PromptEnablesTheAccessibilityBusAtOnceAndRunsTheLastingSetting) {
    QTemporaryDir dir;
    const QString marker = dir.filePath(QStringLiteral("persisted"));
    const QString enabled = QStringLiteral("[Accessibility] Accessibility bus enabled");
    const struct {
        QStringList persistCommand;
        QStringList lines;
    } cases[] = {
        {{QStringLiteral("touch"), marker}, {enabled}},
        {{QStringLiteral("/nonexistent/aimset-gsettings")},
         {QStringLiteral("[Accessibility] Could not run /nonexistent/aimset-gsettings to keep "
                         "accessibility enabled"),
          enabled}},
    };
    for (const auto& c : cases) {
        const auto session = A11ySession::start(A11ySession::Launcher::disabled);
        ASSERT_TRUE(session);
        auto options = optionsOn(*session);
        options.persistCommand = c.persistCommand;
        AtspiAccessibility accessibility(options);
        LogCapture log;

        EXPECT_FALSE(accessibility.isProcessTrusted());
        accessibility.requestTrustWithPrompt();
        EXPECT_TRUE(trustedBecomes(accessibility, true));
        EXPECT_TRUE(
            spinUntil([&] { return log.lines().contains(enabled); }, std::chrono::seconds(5)));
        EXPECT_EQ(log.lines(), c.lines);
    }
    EXPECT_TRUE(
        test::waitUntil([&] { return QFileInfo::exists(marker); }, std::chrono::seconds(5)));
}

// Another program (the desktop's settings, a screen reader) switches the bus.
void switchAccessibilityBus(const A11ySession& session, bool enabled) {
    const QString name = QStringLiteral("aimset-test-settings");
    {
        QDBusConnection other = QDBusConnection::connectToBus(session.address(), name);
        QDBusMessage set = QDBusMessage::createMethodCall(
            QStringLiteral("org.a11y.Bus"), QStringLiteral("/org/a11y/bus"),
            QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Set"));
        set << QStringLiteral("org.a11y.Status") << QStringLiteral("IsEnabled")
            << QVariant::fromValue(QDBusVariant(enabled));
        EXPECT_EQ(other.call(set).type(), QDBusMessage::ReplyMessage);
    }
    QDBusConnection::disconnectFromBus(name);
}

TEST(AtspiTrust, FollowsTheBusWhenSomeoneElseSwitchesIt) {
    const auto session = A11ySession::start(A11ySession::Launcher::disabled);
    ASSERT_TRUE(session);
    AtspiAccessibility accessibility(optionsOn(*session));

    // The change arrives as a signal, handled by the event loop as in the app.
    EXPECT_FALSE(accessibility.isProcessTrusted());
    switchAccessibilityBus(*session, true);
    EXPECT_TRUE(trustedBecomes(accessibility, true));
    switchAccessibilityBus(*session, false);
    EXPECT_TRUE(trustedBecomes(accessibility, false));
}

TEST(AtspiTrust, WithoutAnAccessibilityBusNothingIsTrustedAndTheFailureIsSaidOnce) {
    const auto session = A11ySession::start(A11ySession::Launcher::none);
    ASSERT_TRUE(session);
    LogCapture log;
    AtspiAccessibility accessibility(optionsOn(*session));

    // Asked at every poll, answered at once, the bus asked in the background.
    QElapsedTimer clock;
    clock.start();
    for (int poll = 0; poll < 5; ++poll) {
        EXPECT_FALSE(accessibility.isProcessTrusted());
        spinUntil([] { return false; }, std::chrono::milliseconds(100));
    }
    accessibility.requestTrustWithPrompt();
    EXPECT_LT(clock.elapsed(), 1000);
    EXPECT_TRUE(spinUntil([&] { return log.lines().size() >= 2; }, std::chrono::seconds(5)));
    EXPECT_FALSE(accessibility.isProcessTrusted());

    const QString missing = QStringLiteral("The name org.a11y.Bus was not provided by any "
                                           ".service files");
    EXPECT_EQ(log.lines(),
              (QStringList{QStringLiteral("[Accessibility] Cannot read whether the accessibility "
                                          "bus is enabled: ") +
                               missing,
                           QStringLiteral("[Accessibility] Could not enable the accessibility "
                                          "bus: ") +
                               missing}));
}

TEST(AtspiDump, MalformedOutputIsAnErrorAndAMissingWindowIsNull) {
    QString error;
    EXPECT_FALSE(parseWindowDump("{\"calls\":3,", &error));
    EXPECT_FALSE(error.isEmpty());
    EXPECT_FALSE(parseWindowDump("[]", &error));
    EXPECT_EQ(error, QStringLiteral("no window member"));

    const auto none = parseWindowDump("{\"calls\":3,\"stoppedEarly\":false,\"window\":null}");
    ASSERT_TRUE(none);
    EXPECT_EQ(none->window, nullptr);
    EXPECT_EQ(none->figures.calls, 3);

    const auto one = parseWindowDump(
        R"({"calls":9,"stoppedEarly":true,"window":{"role":"frame","name":"Editor",)"
        R"("children":[{"role":"password text"},{"role":"push button","text":7,"name":"OK"}]}})");
    ASSERT_TRUE(one && one->window);
    EXPECT_TRUE(one->figures.stoppedEarly);
    EXPECT_EQ(one->window->role(), QStringLiteral("frame"));
    EXPECT_EQ(one->window->title(), QStringLiteral("Editor"));
    EXPECT_EQ(one->window->value(), std::nullopt);
    const auto children = one->window->children().value();
    ASSERT_EQ(children.size(), 2u);
    EXPECT_EQ(children[0]->role(), kPasswordRole);
    EXPECT_EQ(children[0]->children(), std::nullopt);
    EXPECT_EQ(children[1]->role(), QStringLiteral("push button"));
    EXPECT_EQ(children[1]->value(), std::nullopt); // not a text
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

TEST_F(AtspiWindows, ReadsAGtkDialogAndAFrozenOneCostsOnlyTheDeadline) {
    TestApp zenity(QStringLiteral("zenity"),
                   {QStringLiteral("--info"), QStringLiteral("--title=Aimset GTK check"),
                    QStringLiteral("--text=Quarterly report draft due Friday")},
                   s_session->environment());
    ASSERT_TRUE(zenity.isRunning());
    AtspiAccessibility accessibility(optionsOn(*s_session));

    const QString text = windowTextOnceShown(accessibility, zenity, QStringLiteral("Friday"));
    EXPECT_THAT(text.toStdString(), HasSubstr("Quarterly report draft due Friday"));
    EXPECT_THAT(text.toStdString(), HasSubstr("Aimset GTK check"));

    // Elements as deep as the walk limit are not even listed: the label sits
    // three levels below the dialog.
    auto shallowOptions = optionsOn(*s_session);
    shallowOptions.walkDepth = 3;
    AtspiAccessibility shallow(shallowOptions);
    const auto shallowTree = test::readWindow(shallow, zenity.pid());
    ASSERT_TRUE(shallowTree);
    EXPECT_EQ(treeDepth(*shallowTree), 3);
    EXPECT_EQ(shallowTree->title(), QStringLiteral("Aimset GTK check"));
    EXPECT_THAT(windowText(shallow, zenity.pid()).toStdString(), Not(HasSubstr("Friday")));

    auto options = optionsOn(*s_session);
    options.deadline = std::chrono::milliseconds(1500);
    AtspiAccessibility bounded(options);
    zenity.freeze();
    LogCapture log;
    QElapsedTimer elapsed;
    elapsed.start();
    // The caller goes on at once; the answer, null, comes at the deadline.
    bool answered = false;
    bounded.readFocusedWindow(zenity.pid(), [&](std::shared_ptr<const AccessibleElement> window) {
        EXPECT_EQ(window, nullptr);
        answered = true;
    });
    EXPECT_LT(elapsed.elapsed(), 200);
    EXPECT_TRUE(spinUntil([&] { return answered; }, std::chrono::seconds(5)));
    const qint64 took = elapsed.elapsed();
    zenity.thaw();
    EXPECT_GE(took, 1400);
    EXPECT_LT(took, 1500 + 1000);
    EXPECT_EQ(log.lines(), QStringList{QStringLiteral("[Accessibility] Reading the window of "
                                                      "process %1 took longer than 1500 ms; "
                                                      "stopped")
                                           .arg(zenity.pid())});

    // Thawed, it answers again.
    EXPECT_THAT(windowText(accessibility, zenity.pid()).toStdString(), HasSubstr("Friday"));
}

TEST_F(AtspiWindows, ReadsAQtWindowButNothingOfItsPasswordField) {
    TestApp window(QStringLiteral(AIMSET_QT_PASSWORD_WINDOW_PATH), {}, s_session->environment());
    ASSERT_TRUE(window.isRunning());
    AtspiAccessibility accessibility(optionsOn(*s_session));

    const QString text = windowTextOnceShown(accessibility, window, QStringLiteral("Submit"));
    EXPECT_THAT(text.toStdString(), HasSubstr("Budget spreadsheet review"));
    EXPECT_THAT(text.toStdString(), HasSubstr("alice@example.invalid"));
    EXPECT_THAT(text.toStdString(), HasSubstr("Submit budget"));
    EXPECT_THAT(text.toStdString(), Not(HasSubstr("Secret code field name")));
    expectNothingOfThePassword(text);

    // The field is there, as a secure field with nothing read of it.
    const auto tree = test::readWindow(accessibility, window.pid());
    ASSERT_TRUE(tree);
    EXPECT_EQ(countRole(*tree, kPasswordRole), 1);
}

TEST_F(AtspiWindows, ReadsAChromiumPageButNothingOfItsPasswordsShownOrNot) {
    const QString chromium = test::chromiumProgram();
    ASSERT_FALSE(chromium.isEmpty()) << "chromium is not installed";
    QTemporaryDir dir;
    // One hidden password, and fields whose "show password" switch has turned
    // them into plain text: labelled, next to a label of their own, with a
    // placeholder, or only the switch after them. (Chromium does not expose
    // the autocomplete hint, "new-password", to AT-SPI.)
    const QString url = test::writePage(
        dir, QStringLiteral("login.html"), QStringLiteral("Aimset test page"),
        QStringLiteral("<h1>Team handbook</h1><h2>Onboarding checklist</h2>"
                       "<p>Read the deployment guide before your first release.</p>"
                       "<p>Ask the platform team for access to the staging cluster.</p>"
                       "<button type=\"button\">Mark chapter done</button>"
                       "<form><label for=\"u\">User</label><input id=\"u\" value=\"alice\">"
                       "<label for=\"p\">Password</label><input id=\"p\" type=\"password\" "
                       "value=\"hunter2secret\" title=\"Secret code field description\">"
                       "<button>Sign in</button></form>"
                       "<form><label for=\"r\">Mot de passe</label><input id=\"r\" "
                       "type=\"password\" value=\"shownsecret1\"><button type=\"button\" "
                       "id=\"show\" onclick=\"r.type='text'\">Afficher</button></form>"
                       "<div><span>Passwort</span><input type=\"password\" class=\"x\" "
                       "value=\"shownsecret2\"></div>"
                       "<div><input type=\"password\" placeholder=\"Contrase\u00F1a\" "
                       "value=\"shownsecret3\"></div>"
                       "<div><input type=\"password\" value=\"shownsecret5\"><button "
                       "type=\"button\" aria-label=\"Show password\">\u25C9</button></div>"
                       "<p>Your city</p><input id=\"c\" value=\"Lisbon\">"
                       "<script>show.click(); for (const f of document.querySelectorAll("
                       "'input[value^=shown]')) f.type = 'text';</script>"));
    TestApp browser(chromium, test::chromiumArguments(dir.filePath(QStringLiteral("profile")), url),
                    s_session->environment());
    ASSERT_TRUE(browser.isRunning());
    AtspiAccessibility accessibility(optionsOn(*s_session));

    const QString text = windowTextOnceShown(accessibility, browser, QStringLiteral("Lisbon"));
    for (const char* shown :
         {"Team handbook", "Onboarding checklist",
          "Read the deployment guide before your first release.",
          "Ask the platform team for access to the staging cluster.", "Mark chapter done", "alice",
          "Sign in", "Show password", "Your city", "Lisbon"}) {
        EXPECT_THAT(text.toStdString(), HasSubstr(shown));
    }
    expectNothingOfThePassword(text);
    EXPECT_THAT(text.toStdString(), Not(HasSubstr("shownsecret")));

    const auto tree = test::readWindow(accessibility, browser.pid());
    ASSERT_TRUE(tree);
    EXPECT_EQ(countRole(*tree, kPasswordRole), 5);
}

TEST_F(AtspiWindows, ReadsOnlyThePageOfChromiumsActiveTab) {
    const QString chromium = test::chromiumProgram();
    ASSERT_FALSE(chromium.isEmpty()) << "chromium is not installed";
    QTemporaryDir dir;
    const QStringList names{QStringLiteral("Alpha"), QStringLiteral("Bravo"),
                            QStringLiteral("Charlie")};
    QStringList urls;
    for (const QString& name : names) {
        urls << test::writePage(dir, name + QStringLiteral(".html"),
                                name + QStringLiteral(" tab title"),
                                QStringLiteral("<p>%1 page body text</p>").arg(name));
    }
    QStringList arguments =
        test::chromiumArguments(dir.filePath(QStringLiteral("profile")), urls.constFirst());
    arguments << urls.mid(1);
    TestApp browser(chromium, arguments, s_session->environment());
    ASSERT_TRUE(browser.isRunning());
    AtspiAccessibility accessibility(optionsOn(*s_session));

    QString text;
    ASSERT_TRUE(test::waitUntil(
        [&] {
            text = windowText(accessibility, browser.pid());
            return text.contains(QStringLiteral("page body text"));
        },
        std::chrono::seconds(60)))
        << text.toStdString();
    // One page, and nothing of the tab strip: no other tab's title. (The
    // page's own title may be there, as its document's name.)
    QStringList pages;
    for (const QString& name : names) {
        if (text.contains(name + QStringLiteral(" page body text"))) {
            pages << name;
        }
    }
    ASSERT_EQ(pages.size(), 1) << text.toStdString();
    for (const QString& name : names) {
        if (name != pages.constFirst()) {
            EXPECT_FALSE(text.contains(name + QStringLiteral(" tab title"))) << text.toStdString();
        }
    }
    EXPECT_FALSE(text.contains(QStringLiteral("Reload"))) << text.toStdString();
    EXPECT_EQ(test::readWindow(accessibility, browser.pid())->role(),
              QStringLiteral("document web"));
}

TEST_F(AtspiWindows, StoppingEarlyOnALongPageKeepsTheSameText) {
    const QString chromium = test::chromiumProgram();
    ASSERT_FALSE(chromium.isEmpty()) << "chromium is not installed";
    QTemporaryDir dir;
    // Accents, combining marks and emoji: clusters the early stop may not
    // count as certain, so it has to read on.
    QString body;
    for (int i = 1; i <= 400; ++i) {
        body += QStringLiteral("<p>Paragraph %1: caf\u00E9 na\u0308ive \U0001F44D\U0001F3FD "
                               "\u0915\u094D\u0937 notes on the budget</p>")
                    .arg(i);
    }
    body += QStringLiteral("<p>The last paragraph</p>");
    const QString url =
        test::writePage(dir, QStringLiteral("long.html"), QStringLiteral("Aimset test page"), body);
    TestApp browser(chromium, test::chromiumArguments(dir.filePath(QStringLiteral("profile")), url),
                    s_session->environment());
    ASSERT_TRUE(browser.isRunning());

    auto wholeOptions = optionsOn(*s_session);
    wholeOptions.readWholeWindow = true;
    wholeOptions.deadline = std::chrono::seconds(30);
    AtspiAccessibility whole(wholeOptions);
    ASSERT_TRUE(test::waitUntil(
        [&] {
            const auto tree = test::readWindow(whole, browser.pid());
            QStringList parts;
            if (tree) {
                AlignmentChecker::collectText(*tree, parts, 0, AlignmentChecker::maxWalkDepth);
            }
            return parts.join(QLatin1Char(' ')).contains(QStringLiteral("The last paragraph"));
        },
        std::chrono::seconds(60)));
    const QString wholeText = windowText(whole, browser.pid());
    const auto wholeFigures = whole.lastReadFigures().value();

    auto earlyOptions = optionsOn(*s_session);
    earlyOptions.deadline = std::chrono::seconds(30);
    AtspiAccessibility early(earlyOptions);
    const QString earlyText = windowText(early, browser.pid());
    const auto earlyFigures = early.lastReadFigures().value();

    EXPECT_EQ(wholeText.size(), earlyText.size());
    EXPECT_EQ(wholeText, earlyText);
    EXPECT_THAT(earlyText.toStdString(), HasSubstr("Paragraph 1: caf\u00E9"));
    EXPECT_FALSE(wholeFigures.stoppedEarly);
    EXPECT_TRUE(earlyFigures.stoppedEarly);
    EXPECT_LT(earlyFigures.calls * 2, wholeFigures.calls);
}

} // namespace
} // namespace aimset
