#include "Interventions/InterventionManager.h"

#include "Interventions/UsageStore.h"
#include "Platform/Fake/HoldingMainLoop.h"
#include "Runtime/Log.h"
#include "Simulator/SimulatedDesktop.h"

#include <QThreadPool>

#include <gtest/gtest.h>

#include <latch>

using namespace aimset;
using namespace Qt::StringLiterals;
using namespace std::chrono_literals;

namespace {

struct InterventionManagerTest : ::testing::Test {
    // Panels, keys, the target check, the manager's signals and the log, in order.
    QStringList journal;
    HoldingMainLoop loop;
    VirtualMainLoop& virtualLoop = loop.inner;
    // Its panels, keys and keyring; the loop is the one above.
    SimulatedDesktop sim;
    UsageStore usage{sim.secrets};
    LogSink previousSink;
    bool targetInFront = true;
    std::unique_ptr<InterventionManager> manager;
    QList<qint64> countdownValues;

    InterventionManagerTest() {
        sim.panels.journal = &journal;
        sim.frontTab.journal = &journal;
        previousSink = setLogSink([this](const QString& line) { journal << u"log "_s + line; });
        // Counting runs at once; its line comes with the next turn of the loop.
        manager = std::make_unique<InterventionManager>(
            loop, sim.panels, sim.frontTab, usage, [](std::function<void()> task) { task(); },
            [this] {
                journal << u"isTargetInFront"_s;
                return targetInFront;
            });
        auto* m = manager.get();
        QObject::connect(m, &InterventionManager::dismissed, [this] { journal << u"dismissed"_s; });
        QObject::connect(m, &InterventionManager::phaseChanged,
                         [this, m] { journal << u"phase %1"_s.arg(static_cast<int>(m->phase())); });
        QObject::connect(m, &InterventionManager::countdownRemainingChanged,
                         [this, m] { countdownValues << m->countdownRemaining(); });
    }
    ~InterventionManagerTest() override {
        manager.reset();
        setLogSink(std::move(previousSink));
    }
};

// How each intervention ends, journals joined by "; ": the card goes before
// the key is sent, and the key only while the window asked about is still in
// front; the tab closer logs what the desktop did, and its failure does not
// stop the way out. Every second on screen counts down one and is paused time.
// The ways out the goldens tell (a withheld timeout, "yes", going back on
// track from a question) are not repeated here.
TEST_F(InterventionManagerTest, EveryWayOutInOrder) {
    const QString countdown = u"MisalignedCountdownView"_s;
    const QString question = u"ClarifyingQuestionView"_s;
    const auto closed = [](const QString& view, const QString& line,
                           const QString& sent = u"Sent Ctrl+W via XTest"_s) {
        return u"phase 0; panel.orderOut %1; isTargetInFront; keys.closeFrontTab; "_s
               u"log [TabCloser] %3; dismissed; log [Intervention] %2"_s.arg(view, line, sent);
    };
    const QString expired = u"Countdown expired \u2014 auto-closing tab"_s;
    using M = InterventionManager;
    using enum FrontTabCloser::Result;
    const struct {
        QString view;
        int seconds;
        void (M::*act)();
        bool inFront;
        QString journal;
        FrontTabCloser::Result closer = FrontTabCloser::Result::sent;
    } cases[] = {
        {countdown, 15, nullptr, true, closed(countdown, expired)},
        {countdown, 15, nullptr, true, closed(countdown, expired, u"Failed to reach XTest"_s),
         unreachable},
        {countdown, 15, nullptr, true,
         closed(countdown, expired, u"Failed to create the Ctrl+W key events"_s), noKeys},
        {question, 30, nullptr, true, closed(question, u"Clarify timeout \u2014 closing tab"_s)},
        {question, 4, &M::userSaidNo, true, closed(question, u"User said NO \u2014 closing tab"_s)},
        {question, 4, &M::userSaidNo, false,
         u"phase 0; panel.orderOut ClarifyingQuestionView; isTargetInFront; dismissed; log "_s
         u"[Intervention] User said NO \u2014 the window in front changed, nothing closed"_s},
        {countdown, 6, &M::autoDismiss, true,
         u"phase 0; panel.orderOut MisalignedCountdownView; "_s
         u"log [Intervention] Auto-dismissed \u2014 user went back on track"_s},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.journal.toStdString());
        targetInFront = c.inFront;
        sim.frontTab.result = c.closer;
        const double pausedBefore = manager->pausedSeconds();
        journal.clear();
        const bool asking = c.view == question;
        if (asking) {
            manager->showClarifyingQuestion(u"Plan"_s, u"Q?"_s);
        } else {
            manager->startMisalignedCountdown(u"Plan"_s, u"R"_s);
        }
        virtualLoop.runPending();
        // The phase is set before its panel shows, in the middle of the screen
        // (its words and size are the goldens').
        ASSERT_EQ(journal.size(), 3);
        EXPECT_EQ(journal[0], u"phase %1"_s.arg(asking ? 1 : 2));
        EXPECT_TRUE(journal[1].startsWith(u"panel.present "_s + c.view) &&
                    journal[1].endsWith(u" centred"_s))
            << journal[1].toStdString();
        EXPECT_TRUE(manager->isPaused());
        journal.clear();
        virtualLoop.advance(std::chrono::seconds(c.seconds) - 1ms);
        EXPECT_TRUE(journal.isEmpty());
        virtualLoop.advance(1ms);
        if (c.act) {
            (manager.get()->*c.act)();
        }
        EXPECT_EQ(journal.join(u"; "_s), c.journal);
        EXPECT_EQ(asking ? manager->clarifyTimeoutRemaining() : manager->countdownRemaining(),
                  (asking ? 30 : 15) - c.seconds);
        EXPECT_FALSE(manager->isPaused());
        EXPECT_DOUBLE_EQ(manager->pausedSeconds() - pausedBefore, c.seconds);
        // Nothing keeps ticking behind the card.
        EXPECT_EQ(virtualLoop.scheduledTimerCount(), 0u);
    }
    // The first countdown showed every second; the fields keep their last values.
    EXPECT_EQ(countdownValues.mid(0, 16),
              (QList<qint64>{15, 14, 13, 12, 11, 10, 9, 8, 7, 6, 5, 4, 3, 2, 1, 0}));
    EXPECT_EQ(manager->currentAimset(), u"Plan"_s);
    // A new session forgets the pauses so far.
    manager->resetPauses();
    EXPECT_DOUBLE_EQ(manager->pausedSeconds(), 0.0);
}

TEST_F(InterventionManagerTest, ASecondVerdictWhileOneIsShownIsIgnoredEntirely) {
    manager->showClarifyingQuestion(u"Write the report"_s, u"Q?"_s);
    virtualLoop.advance(3s);
    // Every assignment notifies, even of an equal value; none may come here.
    int notifications = 0;
    for (auto signal :
         {&InterventionManager::phaseChanged, &InterventionManager::currentAimsetChanged,
          &InterventionManager::clarifyingQuestionChanged,
          &InterventionManager::countdownRemainingChanged,
          &InterventionManager::clarifyTimeoutRemainingChanged}) {
        QObject::connect(manager.get(), signal, [&] { ++notifications; });
    }
    journal.clear();
    manager->startMisalignedCountdown(u"Other"_s, u"Other reason"_s);
    manager->showClarifyingQuestion(u"Other"_s, u"Other question?"_s);
    EXPECT_EQ(notifications, 0);
    EXPECT_TRUE(journal.isEmpty());
    EXPECT_EQ(usage.readCount(UsageStore::totalInterventionsKey), 1);
    // The question's own clock runs on undisturbed.
    virtualLoop.advance(27s);
    EXPECT_EQ(journal.last(), u"log [Intervention] Clarify timeout \u2014 closing tab"_s);

    // The next intervention notifies even the values that did not change.
    manager->startMisalignedCountdown(u"Other"_s, u"R"_s);
    manager->autoDismiss();
    notifications = 0;
    manager->startMisalignedCountdown(u"Other"_s, u"R"_s);
    EXPECT_EQ(notifications, 3);
}

// A tick queued before its countdown ended neither closes a tab nor counts
// down the next countdown, and once the manager is gone does nothing at all.
TEST_F(InterventionManagerTest, ATickQueuedBeforeTheEndDoesNothingAfterIt) {
    // Lets the countdown's last tick fire but holds its queued work back.
    const auto holdTheLastTick = [this] {
        virtualLoop.advance(14s);
        loop.holding = true;
        virtualLoop.advance(1s);
        ASSERT_EQ(loop.held.size(), 1u);
    };
    manager->startMisalignedCountdown(u"A"_s, u"R"_s);
    holdTheLastTick();
    manager->autoDismiss();
    manager->startMisalignedCountdown(u"B"_s, u"R2"_s);
    journal.clear();
    loop.release();
    EXPECT_EQ(journal, QStringList{u"log [Intervention] Misaligned countdown started: R2 "_s
                                   u"(total interventions: 2)"_s});
    EXPECT_EQ(manager->countdownRemaining(), 15);

    holdTheLastTick();
    manager.reset();
    EXPECT_EQ(journal.last(), u"panel.orderOut MisalignedCountdownView"_s);
    journal.clear();
    loop.release();
    virtualLoop.advance(30s);
    EXPECT_TRUE(journal.isEmpty());
}

// A keyring waiting for the user to unlock it: lookups block until released,
// and every count starts with one.
class BlockingSecretStore final : public SecretStore {
public:
    FindResult find(const SecretItemKey& key, bool wantData) override {
        unlocked.wait();
        return inner.find(key, wantData);
    }
    Status add(const SecretItemKey& key, const QByteArray& data) override {
        return inner.add(key, data);
    }
    Status update(const SecretItemKey& key, const QByteArray& data) override {
        return inner.update(key, data);
    }
    FakeSecretStore inner;
    std::latch unlocked{1};
};

TEST_F(InterventionManagerTest, ASlowSecretStoreNeverHoldsUpTheIntervention) {
    BlockingSecretStore slow;
    UsageStore slowUsage(slow);
    // Real background threads, as the app's own pool runs them.
    InterventionManager production(loop, sim.panels, sim.frontTab, slowUsage,
                                   [](auto task) { QThreadPool::globalInstance()->start(task); });
    production.startMisalignedCountdown(u"A"_s, u"Video site"_s);
    virtualLoop.advance(15s);
    EXPECT_EQ(journal.filter(u"log "_s),
              (QStringList{u"log [TabCloser] Sent Ctrl+W via XTest"_s,
                           u"log [Intervention] Countdown expired \u2014 auto-closing tab"_s}));
    journal.clear();
    slow.unlocked.count_down();
    // Counted in the background, then read back and logged in the background.
    QThreadPool::globalInstance()->waitForDone();
    virtualLoop.runPending();
    QThreadPool::globalInstance()->waitForDone();
    EXPECT_EQ(journal, QStringList{u"log [Intervention] Misaligned countdown started: Video site "_s
                                   u"(total interventions: 1)"_s});
}

} // namespace
