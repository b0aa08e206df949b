#include "Interventions/InterventionManager.h"

#include "Interventions/TabCloser.h"
#include "Interventions/UsageStore.h"
#include "Platform/Fake/FakeFrontTabCloser.h"
#include "Platform/Fake/FakePanelHost.h"
#include "Platform/Fake/FakeSecretStore.h"
#include "Runtime/Log.h"
#include "Runtime/VirtualMainLoop.h"
#include "support/LogCapture.h"
#include "support/QtPrinters.h"

#include <QPointer>
#include <QThreadPool>

#include <gtest/gtest.h>

#include <condition_variable>
#include <deque>
#include <mutex>

using namespace aimset;
using namespace Qt::StringLiterals;
using namespace std::chrono_literals;

namespace {

using Phase = InterventionManager::Phase;

// One record of what happened, in order, across the loop, the panel host, the
// key poster, the manager's callbacks and signals, and the log.
using Journal = QStringList;

// Records when a ticker is stopped.
class JournalTimerControl final : public TimerControl {
public:
    JournalTimerControl(TimerHandle inner, Journal& journal)
        : m_inner(std::move(inner))
        , m_journal(journal) {}
    void cancel() override {
        if (m_inner) {
            m_journal << u"stop ticker"_s;
            m_inner.reset();
        }
    }
    bool isActive() const override { return m_inner.isActive(); }

private:
    TimerHandle m_inner;
    Journal& m_journal;
};

// The virtual loop, journaling ticker stops, and able to hold posted tasks
// back so a test can act between a ticker firing and its queued tick.
class JournalLoop final : public MainLoop {
public:
    JournalLoop(VirtualMainLoop& inner, Journal& journal)
        : m_inner(inner)
        , m_journal(journal) {}
    Duration now() const override { return m_inner.now(); }
    Duration wallClock() const override { return m_inner.wallClock(); }
    TimerHandle scheduleOnce(Duration delay, Task task, QObject* context) override {
        return m_inner.scheduleOnce(delay, std::move(task), context);
    }
    TimerHandle scheduleRepeating(Duration interval, Task task, QObject* context) override {
        m_journal << u"start ticker %1ms"_s.arg(interval.count());
        return TimerHandle(std::make_shared<JournalTimerControl>(
            m_inner.scheduleRepeating(interval, std::move(task), context), m_journal));
    }
    void post(Task task, QObject* context) override {
        if (holdPosts) {
            held.push_back([task = std::move(task), guard = QPointer<QObject>(context),
                            guarded = context != nullptr] {
                if (!guarded || guard) {
                    task();
                }
            });
        } else {
            m_inner.post(std::move(task), context);
        }
    }
    void postAfter(Duration delay, Task task, QObject* context) override {
        m_inner.postAfter(delay, std::move(task), context);
    }

    void releaseHeld() {
        auto tasks = std::move(held);
        held.clear();
        for (auto& task : tasks) {
            task();
        }
    }

    bool holdPosts = false;
    std::deque<Task> held;

private:
    VirtualMainLoop& m_inner;
    Journal& m_journal;
};

class JournalPanel final : public FloatingPanel {
public:
    JournalPanel(std::unique_ptr<FloatingPanel> inner, QString view, Journal& journal)
        : m_inner(std::move(inner))
        , m_view(std::move(view))
        , m_journal(journal) {}
    void orderOut() override {
        m_journal << u"orderOut "_s + m_view;
        m_inner->orderOut();
    }

private:
    std::unique_ptr<FloatingPanel> m_inner;
    QString m_view;
    Journal& m_journal;
};

class JournalPanelHost final : public PanelHost {
public:
    JournalPanelHost(FakePanelHost& inner, Journal& journal)
        : m_inner(inner)
        , m_journal(journal) {}
    std::unique_ptr<FloatingPanel> presentPanel(const PanelRequest& request) override {
        auto panel = m_inner.presentPanel(request);
        m_journal << m_inner.calls.last();
        return std::make_unique<JournalPanel>(std::move(panel), request.view, m_journal);
    }

private:
    FakePanelHost& m_inner;
    Journal& m_journal;
};

class JournalFrontTab final : public FrontTabCloser {
public:
    JournalFrontTab(FakeFrontTabCloser& inner, Journal& journal)
        : m_inner(inner)
        , m_journal(journal) {}
    Result closeFrontTab() override {
        m_journal << u"closeFrontTab"_s;
        return m_inner.closeFrontTab();
    }

private:
    FakeFrontTabCloser& m_inner;
    Journal& m_journal;
};

const QString kCountdownExpired = u"[Intervention] Countdown expired \u2014 auto-closing tab"_s;
const QString kClarifyTimeout = u"[Intervention] Clarify timeout \u2014 closing tab"_s;
const QString kSaidYes = u"[Intervention] User said YES \u2014 expanding aimset"_s;
const QString kSaidNo = u"[Intervention] User said NO \u2014 closing tab"_s;
const QString kAutoDismissed = u"[Intervention] Auto-dismissed \u2014 user went back on track"_s;
const QString kSentCmdW = u"[TabCloser] Sent Ctrl+W via XTest"_s;

struct InterventionManagerTest : ::testing::Test {
    Journal journal;
    VirtualMainLoop virtualLoop;
    JournalLoop loop{virtualLoop, journal};
    FakePanelHost panels;
    JournalPanelHost panelHost{panels, journal};
    FakeFrontTabCloser keys;
    JournalFrontTab frontTab{keys, journal};
    TabCloser tabCloser{frontTab};
    FakeSecretStore secrets;
    UsageStore usage{secrets};
    // Background work waits here until the test runs it.
    std::deque<std::function<void()>> background;
    LogSink previousSink;
    std::function<bool()> isTargetInFront;
    std::unique_ptr<InterventionManager> manager;

    QList<qint64> countdownValues;
    QList<qint64> clarifyValues;
    int notifications = 0;

    InterventionManagerTest() {
        previousSink = setLogSink([this](const QString& line) { journal << u"log "_s + line; });
        manager = std::make_unique<InterventionManager>(
            loop, panelHost, tabCloser, usage,
            [this](std::function<void()> task) { background.push_back(std::move(task)); },
            [this] { return !isTargetInFront || isTargetInFront(); });
        auto* m = manager.get();
        QObject::connect(m, &InterventionManager::dismissed, [this] { journal << u"dismissed"_s; });
        QObject::connect(m, &InterventionManager::aimsetExpanded, [this](const QString& aimset) {
            journal << u"aimsetExpanded "_s + aimset;
        });
        QObject::connect(m, &InterventionManager::phaseChanged, [this, m] {
            ++notifications;
            journal << u"phase "_s + phaseName(m->phase());
        });
        QObject::connect(m, &InterventionManager::countdownRemainingChanged, [this, m] {
            ++notifications;
            countdownValues << m->countdownRemaining();
        });
        QObject::connect(m, &InterventionManager::clarifyTimeoutRemainingChanged, [this, m] {
            ++notifications;
            clarifyValues << m->clarifyTimeoutRemaining();
        });
        for (auto signal : {&InterventionManager::currentAimsetChanged,
                            &InterventionManager::clarifyingQuestionChanged,
                            &InterventionManager::misalignedReasonChanged}) {
            QObject::connect(m, signal, [this] { ++notifications; });
        }
    }
    ~InterventionManagerTest() override {
        manager.reset();
        setLogSink(std::move(previousSink));
    }

    static QString phaseName(Phase phase) {
        switch (phase) {
        case Phase::hidden:
            return u"hidden"_s;
        case Phase::clarifyingQuestion:
            return u"clarifyingQuestion"_s;
        case Phase::misalignedCountdown:
            return u"misalignedCountdown"_s;
        }
        return {};
    }

    // Runs the counting tasks to the end, main-thread steps included.
    void runBackground() {
        while (!background.empty() || virtualLoop.postedTaskCount() > 0) {
            while (!background.empty()) {
                auto task = std::move(background.front());
                background.pop_front();
                task();
            }
            virtualLoop.runPending();
        }
    }

    // What the journal holds once a card closes the tab on its way out.
    static Journal closedTab(const QString& view, const QString& endLine) {
        return {u"stop ticker"_s,      u"phase hidden"_s, u"orderOut "_s + view, u"closeFrontTab"_s,
                u"log "_s + kSentCmdW, u"dismissed"_s,    u"log "_s + endLine};
    }
    // Lets the countdown's last tick fire but holds its queued work back.
    void holdTheLastCountdownTick() {
        manager->startMisalignedCountdown(u"A"_s, u"R"_s);
        virtualLoop.advance(14s);
        loop.holdPosts = true;
        virtualLoop.advance(1s);
        ASSERT_EQ(loop.held.size(), 1u);
    }

    QStringList logLines() const {
        QStringList lines;
        for (const QString& entry : journal) {
            if (entry.startsWith(u"log "_s)) {
                lines << entry.mid(4);
            }
        }
        return lines;
    }
};

TEST_F(InterventionManagerTest, CountdownRunsFifteenTicksThenHidesTheCardBeforeClosingTheTab) {
    EXPECT_EQ(manager->phase(), Phase::hidden);
    EXPECT_EQ(manager->pausedSeconds(), 0.0);
    EXPECT_FALSE(manager->windowController().hasPanel());
    virtualLoop.advance(2s);
    manager->startMisalignedCountdown(u"Write the report"_s, u"Video site"_s);

    EXPECT_EQ(manager->phase(), Phase::misalignedCountdown);
    EXPECT_TRUE(manager->isPaused());
    EXPECT_EQ(journal, (QStringList{u"phase misalignedCountdown"_s,
                                    u"present MisalignedCountdownView 420x280 centred"_s,
                                    u"start ticker 1000ms"_s}));
    EXPECT_EQ(panels.lastRequest.model, manager.get());
    journal.clear();

    virtualLoop.advance(14s);
    EXPECT_EQ(manager->phase(), Phase::misalignedCountdown);
    EXPECT_EQ(manager->countdownRemaining(), 1);
    EXPECT_EQ(keys.requests, 0);
    EXPECT_TRUE(journal.isEmpty());

    virtualLoop.advance(1s);
    EXPECT_EQ(journal, closedTab(u"MisalignedCountdownView"_s, kCountdownExpired));
    QList<qint64> expected;
    for (qint64 value = 15; value >= 0; --value) {
        expected << value;
    }
    EXPECT_EQ(countdownValues, expected);
    EXPECT_EQ(panels.panelsOnScreen, 0);
    EXPECT_EQ(virtualLoop.scheduledTimerCount(), 0u);
    EXPECT_FALSE(manager->hasCountdownTimer());

    // The pause lasted exactly as long as the card, and the fields keep their
    // last values.
    EXPECT_FALSE(manager->isPaused());
    EXPECT_DOUBLE_EQ(manager->pausedSeconds(), 15.0);
    EXPECT_EQ(manager->countdownRemaining(), 0);
    EXPECT_EQ(manager->misalignedReason(), u"Video site"_s);
    EXPECT_EQ(manager->currentAimset(), u"Write the report"_s);

    journal.clear();
    virtualLoop.advance(5s);
    EXPECT_TRUE(journal.isEmpty());
}

TEST_F(InterventionManagerTest, AnswersEndTheQuestionInTheirOwnOrder) {
    manager->showClarifyingQuestion(u"Write the report"_s, u"Q?"_s);
    virtualLoop.advance(4s);
    journal.clear();
    manager->userSaidNo();
    EXPECT_EQ(journal, closedTab(u"ClarifyingQuestionView"_s, kSaidNo));
    EXPECT_EQ(manager->clarifyTimeoutRemaining(), 26);
    EXPECT_DOUBLE_EQ(manager->pausedSeconds(), 4.0);

    manager->showClarifyingQuestion(u"Plan the trip"_s, u"Q2?"_s);
    EXPECT_EQ(manager->clarifyTimeoutRemaining(), 30);
    virtualLoop.advance(3s);
    journal.clear();
    keys.requests = 0;
    manager->userSaidYes();
    // Yes widens the aimset it was asked about and closes nothing.
    EXPECT_EQ(journal, (QStringList{u"stop ticker"_s, u"phase hidden"_s,
                                    u"orderOut ClarifyingQuestionView"_s,
                                    u"aimsetExpanded Plan the trip"_s, u"log "_s + kSaidYes}));
    EXPECT_EQ(keys.requests, 0);
    EXPECT_DOUBLE_EQ(manager->pausedSeconds(), 7.0);

    journal.clear();
    virtualLoop.advance(60s);
    EXPECT_TRUE(journal.isEmpty());
}

TEST_F(InterventionManagerTest, AFailingTabCloserDoesNotStopTheWayOut) {
    keys.result = FrontTabCloser::Result::unreachable;
    manager->startMisalignedCountdown(u"A"_s, u"R"_s);
    journal.clear();
    virtualLoop.advance(15s);
    EXPECT_EQ(journal, (QStringList{u"stop ticker"_s, u"phase hidden"_s,
                                    u"orderOut MisalignedCountdownView"_s, u"closeFrontTab"_s,
                                    u"log [TabCloser] Failed to reach XTest"_s, u"dismissed"_s,
                                    u"log "_s + kCountdownExpired}));
}

TEST_F(InterventionManagerTest, NoTabIsClosedOnceTheWindowInFrontIsAnotherOne) {
    bool inFront = false;
    isTargetInFront = [this, &inFront] {
        journal << u"isTargetInFront"_s;
        return inFront;
    };
    const auto withheld = [](const QString& view, const QString& event) {
        return Journal{u"stop ticker"_s,
                       u"phase hidden"_s,
                       u"orderOut "_s + view,
                       u"isTargetInFront"_s,
                       u"dismissed"_s,
                       u"log [Intervention] "_s + event +
                           u" \u2014 the window in front changed, nothing closed"_s};
    };
    manager->startMisalignedCountdown(u"A"_s, u"R"_s);
    virtualLoop.advance(14s);
    journal.clear();
    virtualLoop.advance(1s);
    EXPECT_EQ(journal, withheld(u"MisalignedCountdownView"_s, u"Countdown expired"_s));
    manager->showClarifyingQuestion(u"A"_s, u"Q?"_s);
    virtualLoop.advance(29s);
    journal.clear();
    virtualLoop.advance(1s);
    EXPECT_EQ(journal, withheld(u"ClarifyingQuestionView"_s, u"Clarify timeout"_s));
    manager->showClarifyingQuestion(u"A"_s, u"Q?"_s);
    journal.clear();
    manager->userSaidNo();
    EXPECT_EQ(journal, withheld(u"ClarifyingQuestionView"_s, u"User said NO"_s));
    EXPECT_EQ(keys.requests, 0);

    // Still in front: the tab is closed, the window asked about right before the key.
    inFront = true;
    manager->showClarifyingQuestion(u"A"_s, u"Q?"_s);
    journal.clear();
    manager->userSaidNo();
    Journal closed = closedTab(u"ClarifyingQuestionView"_s, kSaidNo);
    closed.insert(3, u"isTargetInFront"_s);
    EXPECT_EQ(journal, closed);
}

TEST_F(InterventionManagerTest, ASecondVerdictWhileOneIsShownIsIgnoredEntirely) {
    manager->showClarifyingQuestion(u"Write the report"_s, u"Q?"_s);
    virtualLoop.advance(3s);
    runBackground();
    journal.clear();
    const int notificationsBefore = notifications;

    manager->startMisalignedCountdown(u"Other"_s, u"Other reason"_s);
    manager->showClarifyingQuestion(u"Other"_s, u"Other question?"_s);

    EXPECT_EQ(notifications, notificationsBefore);
    EXPECT_TRUE(journal.isEmpty());
    EXPECT_TRUE(background.empty());
    EXPECT_EQ(manager->phase(), Phase::clarifyingQuestion);
    EXPECT_EQ(manager->clarifyTimeoutRemaining(), 27);
    EXPECT_EQ(manager->clarifyingQuestion(), u"Q?"_s);
    EXPECT_EQ(manager->currentAimset(), u"Write the report"_s);
    EXPECT_EQ(panels.calls.size(), 1);
    EXPECT_EQ(usage.readCount(UsageStore::totalInterventionsKey), 1);
    EXPECT_FALSE(manager->hasCountdownTimer());

    // The question's own timeout is untouched.
    virtualLoop.advance(27s);
    EXPECT_EQ(manager->phase(), Phase::hidden);
    EXPECT_EQ(logLines().last(), kClarifyTimeout);
}

TEST_F(InterventionManagerTest, AutoDismissTakesTheCardAwayWithoutClosingAnything) {
    manager->autoDismiss();
    EXPECT_TRUE(journal.isEmpty());
    EXPECT_EQ(notifications, 0);

    manager->startMisalignedCountdown(u"A"_s, u"R"_s);
    virtualLoop.advance(6s);
    journal.clear();
    manager->autoDismiss();
    EXPECT_EQ(journal,
              (QStringList{u"stop ticker"_s, u"phase hidden"_s,
                           u"orderOut MisalignedCountdownView"_s, u"log "_s + kAutoDismissed}));
    EXPECT_EQ(manager->countdownRemaining(), 9);
    EXPECT_EQ(keys.requests, 0);
    EXPECT_EQ(virtualLoop.scheduledTimerCount(), 0u);

    journal.clear();
    manager->autoDismiss();
    EXPECT_TRUE(journal.isEmpty());

    manager->showClarifyingQuestion(u"A"_s, u"Q?"_s);
    journal.clear();
    manager->autoDismiss();
    EXPECT_EQ(journal,
              (QStringList{u"stop ticker"_s, u"phase hidden"_s,
                           u"orderOut ClarifyingQuestionView"_s, u"log "_s + kAutoDismissed}));
}

TEST_F(InterventionManagerTest, PauseCoversExactlyTheTimeOnScreen) {
    virtualLoop.advance(100s);
    manager->startMisalignedCountdown(u"A"_s, u"R"_s);
    virtualLoop.advance(7s);
    EXPECT_DOUBLE_EQ(manager->pausedSeconds(), 7.0);
    virtualLoop.advance(5s);
    manager->autoDismiss();
    EXPECT_DOUBLE_EQ(manager->pausedSeconds(), 12.0);

    virtualLoop.advance(50s);
    EXPECT_DOUBLE_EQ(manager->pausedSeconds(), 12.0);

    manager->showClarifyingQuestion(u"A"_s, u"Q?"_s);
    virtualLoop.advance(2500ms);
    EXPECT_DOUBLE_EQ(manager->pausedSeconds(), 14.5);
    manager->userSaidYes();
    EXPECT_FALSE(manager->isPaused());
}

TEST_F(InterventionManagerTest, EveryAssignmentNotifiesEvenWithAnEqualValue) {
    manager->startMisalignedCountdown(u"A"_s, u"R"_s);
    manager->autoDismiss();
    int aimsetNotifications = 0;
    int reasonNotifications = 0;
    QObject::connect(manager.get(), &InterventionManager::currentAimsetChanged,
                     [&] { ++aimsetNotifications; });
    QObject::connect(manager.get(), &InterventionManager::misalignedReasonChanged,
                     [&] { ++reasonNotifications; });
    countdownValues.clear();

    manager->startMisalignedCountdown(u"A"_s, u"R"_s);
    EXPECT_EQ(aimsetNotifications, 1);
    EXPECT_EQ(reasonNotifications, 1);
    EXPECT_EQ(countdownValues, QList<qint64>{15});
}

TEST_F(InterventionManagerTest, ATickQueuedBeforeTheEndDoesNothingAfterIt) {
    holdTheLastCountdownTick();
    manager->autoDismiss();
    manager->startMisalignedCountdown(u"B"_s, u"R2"_s);
    journal.clear();

    // The last tick of the old countdown must neither close a tab nor count
    // down the new one.
    loop.releaseHeld();
    EXPECT_TRUE(journal.isEmpty());
    EXPECT_EQ(manager->countdownRemaining(), 15);
    EXPECT_EQ(manager->phase(), Phase::misalignedCountdown);
    EXPECT_EQ(keys.requests, 0);
}

TEST_F(InterventionManagerTest, ATickAfterTheManagerIsGoneDoesNothing) {
    holdTheLastCountdownTick();
    manager.reset();
    journal.clear();

    loop.releaseHeld();
    virtualLoop.advance(30s);
    EXPECT_TRUE(journal.isEmpty());
    EXPECT_EQ(keys.requests, 0);
    EXPECT_EQ(panels.panelsOnScreen, 0);
}

TEST_F(InterventionManagerTest, CountsEachInterventionAndLogsItsOwnCopyOfTheText) {
    secrets.put(UsageStore::service, UsageStore::totalInterventionsKey, {"41"});
    manager->startMisalignedCountdown(u"A"_s, u"Video site"_s);
    // Shown and ticking before anything was counted.
    EXPECT_EQ(manager->phase(), Phase::misalignedCountdown);
    EXPECT_EQ(background.size(), 1u);
    EXPECT_TRUE(logLines().isEmpty());
    manager->autoDismiss();
    manager->showClarifyingQuestion(u"A"_s, u"Is this work?"_s);
    journal.clear();

    runBackground();
    EXPECT_EQ(logLines(), (QStringList{u"[Intervention] Misaligned countdown started: Video site "_s
                                       u"(total interventions: 43)"_s,
                                       u"[Intervention] Clarifying question shown: Is this work? "_s
                                       u"(total interventions: 43)"_s}));
    EXPECT_EQ(secrets.item(UsageStore::service, UsageStore::totalInterventionsKey)->data, "43");
}

// Holds every secret-store call until released, like a keyring waiting for
// the user to unlock it.
class BlockingSecretStore final : public SecretStore {
public:
    explicit BlockingSecretStore(SecretStore& inner)
        : m_inner(inner) {}
    FindResult find(const SecretItemKey& key, bool wantData) override {
        wait();
        return m_inner.find(key, wantData);
    }
    Status add(const SecretItemKey& key, const QByteArray& data) override {
        wait();
        return m_inner.add(key, data);
    }
    Status update(const SecretItemKey& key, const QByteArray& data) override {
        wait();
        return m_inner.update(key, data);
    }
    Status remove(const SecretItemKey& key) override {
        wait();
        return m_inner.remove(key);
    }
    void release() {
        std::lock_guard lock(m_mutex);
        m_released = true;
        m_changed.notify_all();
    }

private:
    void wait() {
        std::unique_lock lock(m_mutex);
        m_changed.wait(lock, [this] { return m_released; });
    }

    SecretStore& m_inner;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    bool m_released = false;
};

TEST(InterventionManagerCountingTest, ASlowSecretStoreNeverHoldsUpTheIntervention) {
    test::LogCapture log;
    VirtualMainLoop loop;
    FakePanelHost panels;
    FakeFrontTabCloser keys;
    TabCloser tabCloser(keys);
    FakeSecretStore secrets;
    BlockingSecretStore slowSecrets(secrets);
    UsageStore usage(slowSecrets);
    // The production runner: a real background thread.
    InterventionManager manager(loop, panels, tabCloser, usage);
    manager.startMisalignedCountdown(u"A"_s, u"Video site"_s);
    loop.advance(15s);
    EXPECT_EQ(manager.phase(), Phase::hidden);
    EXPECT_EQ(keys.requests, 1);
    EXPECT_EQ(log.take(), (QStringList{kSentCmdW, kCountdownExpired}));

    slowSecrets.release();
    QThreadPool::globalInstance()->waitForDone();
    loop.runPending();
    QThreadPool::globalInstance()->waitForDone();
    EXPECT_EQ(log.take(), QStringList{u"[Intervention] Misaligned countdown started: Video site "_s
                                      u"(total interventions: 1)"_s});
}

} // namespace
