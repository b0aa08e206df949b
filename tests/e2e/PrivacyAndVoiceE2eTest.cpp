// What leaves the machine and what the microphone hears: a login page's
// password, even shown in plain text, never reaches the alignment service nor
// the log, whose default lines name no window; and a spoken aimset, said
// while Alt+M is held, replaces the typed one for a while.

#include "E2eDesktop.h"
#include "support/audio/PrivatePulseAudio.h"
#include "support/audio/SpeechTestAudio.h"

#include <QJsonDocument>
#include <QScopeGuard>

#include <gtest/gtest.h>

using namespace aimset::e2e;
namespace test = aimset::test;

namespace {

TEST(PrivacyE2eTest, ARevealedPasswordNeverReachesTheServiceNorTheLog) {
    Desktop desktop;
    const auto bus = test::A11ySession::start(test::A11ySession::Launcher::enabled);
    ASSERT_TRUE(bus);
    ScriptedService service([](const QJsonObject& request) -> QJsonObject {
        if (request.value(QStringLiteral("mode")).toString() == QStringLiteral("title")) {
            return {{QStringLiteral("aligned"), false}};
        }
        return {{QStringLiteral("verdict"), QStringLiteral("MISALIGNED")},
                {QStringLiteral("reason"), QStringLiteral("Club business is not the report")}};
    });
    // The title names no sign-in words, so the page is judged like any other.
    // Its switch shows the password in plain text, as many login pages do.
    QTemporaryDir pages;
    const QString page = writePage(
        pages, QStringLiteral("members.html"), QStringLiteral("Club members"),
        QStringLiteral("<h1>Members of the chess club</h1><p>Enter your password to see the "
                       "meeting notes.</p><label>Email <input type=\"text\" "
                       "value=\"member@example.org\"></label><label>Password <input id=\"p\" "
                       "type=\"password\" autofocus oninput=\"document.title='Club members, "
                       "password entered'\"></label><button type=\"button\" "
                       "onclick=\"p.type='text'; document.title='Club members, password "
                       "shown'\">Show password</button>"));
    Chromium chromium({page}, bus.get());
    const auto browser = chromium.waitForWindow(desktop, QStringLiteral("Club members"));
    ASSERT_TRUE(browser);
    ASSERT_TRUE(desktop.activateAndWait(*browser));

    // A person types the password into the focused field, then shows it:
    // Tab to the switch, Space to press it.
    const QString password = QStringLiteral("Tr0ub4dor-e2e-secret");
    ASSERT_TRUE(xdotool(
        {QStringLiteral("type"), QStringLiteral("--delay"), QStringLiteral("30"), password}));
    ASSERT_TRUE(chromium.waitForWindow(desktop, QStringLiteral("Club members, password entered")));
    ASSERT_TRUE(xdotool({QStringLiteral("key"), QStringLiteral("Tab"), QStringLiteral("space")}));
    ASSERT_TRUE(chromium.waitForWindow(desktop, QStringLiteral("Club members, password shown")));

    // The app as started at login: no --verbose.
    AimsetApp app({service.url(), bus.get(), false});
    ASSERT_TRUE(app.startSession(desktop));
    ASSERT_TRUE(desktop.activateAndWait(*browser));
    // The countdown starts (fast polling); its reason names the page, so its
    // line is a debug line.
    ASSERT_TRUE(app.waitForLine(QStringLiteral("[Alignment] Title says not aligned, reading the "
                                               "window text for a verdict..."),
                                25s))
        << app.dump();
    ASSERT_TRUE(app.waitForLine(QStringLiteral("[AppMonitor] Poll interval set to 0.5s"), 10s))
        << app.dump();

    // The page's text went to the service; the password did not, in any request.
    const QList<QJsonObject> texts = service.requests(QStringLiteral("text"));
    ASSERT_EQ(texts.size(), 1);
    const QString context = texts[0][QStringLiteral("context")].toString();
    EXPECT_TRUE(context.contains(QStringLiteral("Members of the chess club")))
        << context.toStdString();
    for (const QJsonObject& request : service.requests()) {
        const QByteArray body = QJsonDocument(request).toJson();
        EXPECT_FALSE(body.contains(password.toUtf8())) << body.toStdString();
    }
    // The default output: state changes only, no window title, no poll lines.
    const QString output = app.lines().join(u'\n');
    EXPECT_FALSE(output.contains(password));
    EXPECT_FALSE(output.contains(QStringLiteral("Club members"))) << output.toStdString();
    EXPECT_FALSE(output.contains(QStringLiteral("[AppMonitor] App: "))) << output.toStdString();
}

TEST(VoiceE2eTest, SpeakingWhileHoldingAltMSetsATemporaryAimset) {
    Desktop desktop;
    const auto bus = test::A11ySession::start(test::A11ySession::Launcher::enabled);
    ASSERT_TRUE(bus);
    // The app's audio goes to a daemon of the test's own: what it plays is
    // what the app's microphone hears.
    test::PrivatePulseAudio microphone;
    ASSERT_TRUE(microphone.isRunning());
    ASSERT_TRUE(test::SpeechClips::instance().isReady());
    ScriptedService service;
    const QString typed = QStringLiteral("Plan the team offsite");
    AimsetApp app({service.url(), bus.get()});
    ASSERT_TRUE(app.startSession(desktop, typed));
    // The recogniser is ready once the permissions are answered.
    ASSERT_TRUE(spinUntil(
        [&] { return app.lines().contains(QStringLiteral("[Voice] Speech recognition ready")); },
        30s))
        << app.dump();

    // Hold Alt+M, speak, let go.
    ASSERT_TRUE(xdotool({QStringLiteral("keydown"), QStringLiteral("alt+m")}));
    auto letGo = qScopeGuard([] {
        xdotool({QStringLiteral("keyup"), QStringLiteral("m"), QStringLiteral("alt")});
    });
    const bool listening = app.waitForLine(QStringLiteral("[Voice] Started listening"), 5s);
    const bool played = listening && microphone.play(test::SpeechClips::instance().paddedPhrase());
    spinUntil([] { return false; }, 700ms); // the recogniser catches up with the last word
    letGo.dismiss();
    ASSERT_TRUE(xdotool({QStringLiteral("keyup"), QStringLiteral("m"), QStringLiteral("alt")}));
    ASSERT_TRUE(listening && played) << app.dump();

    const auto transcribed = app.waitFor(
        QRegularExpression(QStringLiteral("\\[Voice\\] Transcription complete: .+")), 15s);
    ASSERT_TRUE(transcribed) << app.dump();
    const QString heard = transcribed->section(QStringLiteral(": "), 1);
    // The recogniser may miss a word, but what it heard is the speech.
    qsizetype wordsHeard = 0;
    for (const QString& word : QString::fromLatin1(test::kPhrase).split(u' ')) {
        wordsHeard += heard.contains(word, Qt::CaseInsensitive) ? 1 : 0;
    }
    EXPECT_GE(wordsHeard, 3) << heard.toStdString();
    // Each hotkey line follows what its callback set off: listening starts
    // before the press is logged, and the transcription lands before the release is.
    EXPECT_TRUE(inOrder(app.lines(),
                        {QStringLiteral("[Voice] Started listening"),
                         QStringLiteral("[Hotkey] Alt+M pressed — recording started"), *transcribed,
                         QStringLiteral("[AppMonitor] Temporary aimset set: ") + heard +
                             QStringLiteral(" (original: ") + typed + u')',
                         QStringLiteral("[Hotkey] Alt+M released — recording stopped")}))
        << app.dump();
}

} // namespace
