#include "Simulator/Simulator.h"
#include "support/QtPrinters.h"
#include "support/SpinUntil.h"

#include <QProcess>
#include <QRegularExpression>

#include <gtest/gtest.h>

using namespace aimset;
using namespace Qt::StringLiterals;

namespace {

// ---- the program, as users and other tools run it ---------------------------------------------

struct SimRun {
    int exitCode = -1;
    QString out;
    QString err;
};

SimRun runSim(const QStringList& arguments, const QByteArray& input = {}) {
    QProcess process;
    process.start(QStringLiteral(AIMSET_SIM_PATH), arguments);
    process.write(input);
    process.closeWriteChannel();
    EXPECT_TRUE(process.waitForFinished(60000));
    return SimRun{process.exitCode(), QString::fromUtf8(process.readAllStandardOutput()),
                  QString::fromUtf8(process.readAllStandardError())};
}

// Golden scenarios: every line of each expected output was checked by hand
// against what the app must do at that moment.
class GoldenScenarioTest : public ::testing::TestWithParam<const char*> {};

TEST_P(GoldenScenarioTest, PrintsExactlyTheExpectedOutput) {
    const QString base = QStringLiteral(AIMSET_SIM_SCENARIOS "/") + QString::fromLatin1(GetParam());
    const SimRun run = runSim({u"--fold"_s, base + u".jsonl"_s});
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.err, QString());
    // gtest shows a difference of many lines as a diff.
    EXPECT_EQ(run.out.toStdString(), test::readFile(base + u".expected"_s).toStdString());
}

INSTANTIATE_TEST_SUITE_P(
    Scenarios, GoldenScenarioTest,
    ::testing::Values("misaligned-closed-after-15s", "question-yes", "question-yes-nothing-to-add",
                      "question-times-out", "spoken-aimset", "three-hour-session",
                      "app-switch-during-question-then-new-session", "first-run-onboarding",
                      "help-pages", "late-verdict-for-another-window",
                      "check-in-flight-at-session-end", "new-session-judges-afresh",
                      "failed-checks-retry-until-the-service-recovers",
                      "unreadable-window-asks-instead", "sleep-during-a-session",
                      "buttons-not-on-screen-do-nothing"),
    [](const auto& param) {
        std::string name = param.param;
        std::erase(name, '-');
        return name;
    });

// What it cannot run is refused with one whole line naming the place, and
// nothing printed; without a file it says how it is used.
TEST(SimulatorProgramTest, RefusesWhatItCannotRunWithOneLine) {
    const struct {
        QByteArray scenario;
        QString err;
        QStringList arguments{u"-"_s};
    } cases[] = {
        {{},
         u"usage: aimset-sim [--timestamps] [--fold] FILE   (FILE - reads standard input)\n"
         u"  --fold  with timestamps; ticks that print the same lines at a steady period\n"
         u"          (a countdown's polls) are printed once, then as one line"_s,
         {}},
        {{},
         u"aimset-sim: cannot read /nonexistent/scenario.jsonl: No such file or directory"_s,
         {u"/nonexistent/scenario.jsonl"_s}},
        {"{\"snapshot\": true}\n{\"press\": \"Start session\"\n",
         u"aimset-sim: <stdin>:2: not valid JSON: unterminated string"_s},
        {"\n// a comment\n{\"jump\": true}\n", u"aimset-sim: <stdin>:3: unknown step \"jump\""_s},
        {"{\"at\": 5}\n{\"at\": 4, \"snapshot\": true}\n",
         u"aimset-sim: <stdin>:2: \"at\" 4.000 is earlier than the step before (5.000)"_s},
        {"{\"snapshot\": true}\n{\"defaults\": {\"hasCompletedOnboarding\": true}}\n",
         u"aimset-sim: <stdin>:2: setup steps (defaults, keychain) must come before every "
         u"other step"_s},
        {"{\"snapshot\": true, \"goal\": 2}\n",
         u"aimset-sim: <stdin>:1: one step per line, found \"goal\" and \"snapshot\""_s},
        {"{\"service\": {\"mode\": \"vision\"}}\n",
         u"aimset-sim: <stdin>:1: service: \"mode\" must be \"title\", \"text\" or "
         u"\"expand\""_s},
        {"[1, 2]\n", u"aimset-sim: <stdin>:1: a step must be a JSON object"_s},
        // A step that cannot apply stops the run at its line.
        {"{\"defaults\": {\"hasCompletedOnboarding\": false}}\n{\"frontmost\": null}\n"
         "{\"at\": 1, \"title\": \"Inbox\"}\n",
         u"aimset-sim: <stdin>:3: title: there is no frontmost application"_s},
    };
    for (const auto& c : cases) {
        const SimRun run = runSim(c.arguments, c.scenario);
        EXPECT_EQ(run.exitCode, 2) << c.scenario.toStdString();
        EXPECT_EQ(run.err, c.err + u"\n"_s);
        EXPECT_EQ(run.out, QString()) << c.scenario.toStdString();
    }
}

// ---- the library, for the cases the golden scenarios leave out ---------------------------------

struct SimulatorTest : ::testing::Test {
    QStringList out;
    Simulator sim{[this](const QString& line) { out << line; }, Simulator::Options{true}};

    // The scenario's output without the launch lines every session begins with.
    QStringList run(const QByteArray& scenario) {
        sim.run("{\"defaults\": {\"hasCompletedOnboarding\": true}}\n" + scenario);
        return out;
    }
    static QByteArray startSession(const QByteArray& aimset = "Write the report") {
        return "{\"type\": {\"field\": \"aimset\", \"text\": \"" + aimset +
               "\"}}\n{\"press\": \"Start session\"}\n";
    }
};

// Which rule answers, and failing ones, are the goldens'; an answer slower
// than the request's timeout fails when the timeout ends.
TEST_F(SimulatorTest, AnAnswerSlowerThanItsTimeoutFailsAtTheTimeout) {
    run("{\"frontmost\": {\"name\": \"Firefox\", \"pid\": 7, \"title\": \"News\"}}\n"
        "{\"service\": {\"mode\": \"title\", \"body\": {\"aligned\": true}, \"delay\": 12}}\n" +
        startSession() + "{\"at\": 16}\n");
    EXPECT_EQ(out.filter(u"AlignmentChecker"_s),
              QStringList{u"15.000 [AlignmentChecker] Request failed: The request timed out."_s});
}

// Return in the editor sets the trimmed aimset once there is one; a second
// change keeps the first original, which one press restores.
TEST_F(SimulatorTest, ReturnInTheEditorSetsTheTrimmedAimsetAndASecondChangeKeepsTheOriginal) {
    run("{\"frontmost\": null}\n" + startSession() +
        "{\"press\": \"Change aimset\"}\n"
        "{\"press\": \"Return\", \"field\": \"newAimset\"}\n"
        "{\"type\": {\"field\": \"newAimset\", \"text\": \" Book the venue \"}}\n"
        "{\"press\": \"Return\", \"field\": \"newAimset\"}\n"
        "{\"press\": \"Change aimset\"}\n"
        "{\"type\": {\"field\": \"newAimset\", \"text\": \"Plan the offsite\"}}\n"
        "{\"press\": \"Update aimset\"}\n{\"press\": \"Restore original\"}\n");
    EXPECT_EQ(out.filter(QRegularExpression(u"(Temporary|Original) aimset"_s)),
              (QStringList{u"0.000 [AppMonitor] Temporary aimset set: Book the venue "
                           u"(original: Write the report)"_s,
                           u"0.000 [AppMonitor] Temporary aimset set: Plan the offsite "
                           u"(original: Write the report)"_s,
                           u"0.000 [AppMonitor] Original aimset restored: Write the report"_s}));
}

// Each way a recording cannot start, and one that hears only blanks, which
// delivers nothing.
TEST_F(SimulatorTest, VoiceFollowsThePermissionsRecognizerAndAudioTheScenarioGives) {
    const QByteArray press = "{\"chord\": \"down\"}\n{\"chord\": \"up\"}\n";
    run("{\"frontmost\": null}\n{\"permissions\": {\"speech\": 1}}\n" + startSession() + press +
        "{\"press\": \"End session\"}\n{\"press\": \"Start new session\"}\n"
        "{\"permissions\": {\"speech\": 3, \"microphone\": false}}\n"
        "{\"audioStartFails\": \"The microphone is in use.\"}\n" +
        startSession() + press +
        "{\"chord\": \"down\"}\n{\"speech\": {\"partial\": \" \\n\\t \"}}\n{\"chord\": \"up\"}\n"
        "{\"recognizer\": false}\n" +
        press + "{\"speech\": {\"partial\": \"late\"}}\n");
    EXPECT_EQ(out.filter(u"[Voice]"_s),
              (QStringList{
                  u"0.000 [Voice] Speech recognition unavailable (status: 1)"_s,
                  u"0.000 [Voice] Speech recognition not ready"_s,
                  u"0.000 [Voice] Microphone permission denied"_s,
                  u"0.000 [Voice] Audio engine failed to start: The microphone is "
                  u"in use."_s,
                  u"0.000 [Voice] Started listening"_s,
                  u"0.000 [Voice] Stopped listening (no transcription)"_s,
                  u"0.000 [Voice] Speech recognizer not available"_s,
              }));
    EXPECT_EQ(out.filter(u"# panel"_s),
              (QStringList{u"0.000 # panel show voice 300x120"_s, u"0.000 # panel hide voice"_s}));
    EXPECT_TRUE(out.contains(u"0.000 # no recognition task is running"_s));
}

} // namespace
