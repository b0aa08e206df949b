#include "InterventionManager.h"

#include "Platform/FrontTabCloser.h"
#include "Platform/KeyNames.h"
#include "Runtime/Log.h"
#include "Runtime/Observable.h"
#include "UsageStore.h"

#include <QPointer>

namespace aimset {

InterventionManager::InterventionManager(MainLoop& loop, PanelHost& panelHost,
                                         FrontTabCloser& frontTab, UsageStore& usageStore,
                                         BackgroundRunner runInBackground,
                                         TargetCheck isTargetInFront, QObject* parent)
    : QObject(parent)
    , m_loop(loop)
    , m_panelHost(panelHost)
    , m_frontTab(frontTab)
    , m_usageStore(usageStore)
    , m_runInBackground(std::move(runInBackground))
    , m_isTargetInFront(std::move(isTargetInFront)) {}

void InterventionManager::showClarifyingQuestion(const QString& aimset, const QString& question) {
    if (m_phase != Phase::hidden) {
        return;
    }
    assignAndNotify(this, m_currentAimset, aimset, &InterventionManager::currentAimsetChanged);
    assignAndNotify(this, m_clarifyingQuestion, question,
                    &InterventionManager::clarifyingQuestionChanged);
    assignAndNotify(this, m_clarifyTimeoutRemaining, clarifyTimeoutSeconds,
                    &InterventionManager::clarifyTimeoutRemainingChanged);
    enter(Phase::clarifyingQuestion, QStringLiteral("ClarifyingQuestionView"), questionPanelSize);
    countIntervention(QStringLiteral("[Intervention] Clarifying question shown: "), question,
                      false);
}

void InterventionManager::startMisalignedCountdown(const QString& aimset, const QString& reason) {
    if (m_phase != Phase::hidden) {
        return;
    }
    assignAndNotify(this, m_currentAimset, aimset, &InterventionManager::currentAimsetChanged);
    assignAndNotify(this, m_countdownRemaining, countdownSeconds,
                    &InterventionManager::countdownRemainingChanged);
    enter(Phase::misalignedCountdown, QStringLiteral("MisalignedCountdownView"),
          countdownPanelSize);
    countIntervention(QStringLiteral("[Intervention] Misaligned countdown started: "), reason,
                      true);
}

void InterventionManager::enter(Phase phase, const QString& view, QSize size) {
    m_pauseStart = m_loop.wallClock();
    assignAndNotify(this, m_phase, phase, &InterventionManager::phaseChanged);
    m_panel = m_panelHost.presentPanel(PanelRequest{view, this, size, PanelPlacement::centred});
    const std::uint64_t generation = ++m_tickerGeneration;
    m_ticker = m_loop.scheduleRepeating(
        tickInterval,
        [this, generation] {
            // Queued rather than run here.
            m_loop.post([this, generation] { tickDown(generation); }, this);
        },
        this);
}

void InterventionManager::tickDown(std::uint64_t generation) {
    // A tick queued just before its ticker stopped must not count down (or
    // close a tab for) an intervention that has already ended.
    if (generation != m_tickerGeneration || !m_ticker) {
        return;
    }
    if (m_phase == Phase::clarifyingQuestion) {
        assignAndNotify(this, m_clarifyTimeoutRemaining, m_clarifyTimeoutRemaining - 1,
                        &InterventionManager::clarifyTimeoutRemainingChanged);
        if (m_clarifyTimeoutRemaining <= 0) {
            closeTabAndDismiss(QStringLiteral("[Intervention] Clarify timeout"),
                               QStringLiteral("closing tab"));
        }
    } else {
        assignAndNotify(this, m_countdownRemaining, m_countdownRemaining - 1,
                        &InterventionManager::countdownRemainingChanged);
        if (m_countdownRemaining <= 0) {
            closeTabAndDismiss(QStringLiteral("[Intervention] Countdown expired"),
                               QStringLiteral("auto-closing tab"));
        }
    }
}

void InterventionManager::leavePhase() {
    m_ticker.reset();
    if (m_pauseStart) {
        m_accumulatedPausedSeconds += secondsSince(*m_pauseStart);
        m_pauseStart.reset();
    }
    assignAndNotify(this, m_phase, Phase::hidden, &InterventionManager::phaseChanged);
    m_panel.reset();
}

void InterventionManager::userSaidYes() {
    leavePhase();
    emit aimsetExpanded(m_currentAimset);
    Log(QStringLiteral("[Intervention] User said YES \u2014 expanding aimset"));
}

void InterventionManager::userSaidNo() {
    closeTabAndDismiss(QStringLiteral("[Intervention] User said NO"),
                       QStringLiteral("closing tab"));
}

void InterventionManager::closeTabAndDismiss(const QString& event, const QString& closing) {
    leavePhase();
    // The key goes to whatever is in front: if that is no longer the window
    // the intervention was about, nothing is closed.
    const bool stillInFront = !m_isTargetInFront || m_isTargetInFront();
    if (stillInFront) {
        closeFrontTab();
    }
    emit dismissed();
    Log(event + QStringLiteral(" \u2014 ") +
        (stillInFront ? closing : QStringLiteral("the window in front changed, nothing closed")));
}

void InterventionManager::closeFrontTab() {
    const KeyNames& names = KeyNames::desktop();
    switch (m_frontTab.closeFrontTab()) {
    case FrontTabCloser::Result::sent:
        Log(QStringLiteral("[TabCloser] Sent ") + names.closeTabChord + QStringLiteral(" via ") +
            names.keySynthesis);
        break;
    case FrontTabCloser::Result::unreachable:
        Log(QStringLiteral("[TabCloser] Failed to reach ") + names.keySynthesis);
        break;
    case FrontTabCloser::Result::noKeys:
        Log(QStringLiteral("[TabCloser] Failed to create the ") + names.closeTabChord +
            QStringLiteral(" key events"));
        break;
    }
}

void InterventionManager::autoDismiss() {
    if (m_phase == Phase::hidden) {
        return;
    }
    leavePhase();
    Log(QStringLiteral("[Intervention] Auto-dismissed \u2014 user went back on track"));
}

void InterventionManager::resetPauses() {
    m_accumulatedPausedSeconds = 0;
    m_pauseStart.reset();
}

double InterventionManager::pausedSeconds() const {
    return m_pauseStart ? m_accumulatedPausedSeconds + secondsSince(*m_pauseStart)
                        : m_accumulatedPausedSeconds;
}

double InterventionManager::secondsSince(MainLoop::Duration start) const {
    return std::chrono::duration<double>(m_loop.wallClock() - start).count();
}

void InterventionManager::countIntervention(const QString& logPrefix, const QString& text,
                                            bool quotesWindow) {
    // Touches none of the manager's fields and never holds the intervention
    // up: the secret store may take seconds to answer, so it is only ever
    // asked off the main thread.
    m_runInBackground([&store = m_usageStore, &loop = m_loop, self = QPointer(this),
                       runInBackground = m_runInBackground, quotesWindow,
                       line = QString(logPrefix + text)]() mutable {
        store.incrementCount(UsageStore::totalInterventionsKey);
        loop.post([&store, self, runInBackground, quotesWindow, line = std::move(line)]() mutable {
            // The store and the runner belong to the manager's owner: once
            // the manager is gone they may be too.
            if (!self) {
                return;
            }
            runInBackground([&store, line = std::move(line), quotesWindow] {
                const std::int64_t count = store.readCount(UsageStore::totalInterventionsKey);
                const QString counted = line + QStringLiteral(" (total interventions: ") +
                                        QString::number(count) + QLatin1Char(')');
                if (quotesWindow) {
                    LogDebug(counted);
                } else {
                    Log(counted);
                }
            });
        });
    });
}

} // namespace aimset
