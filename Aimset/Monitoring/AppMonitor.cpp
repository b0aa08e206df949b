#include "AppMonitor.h"

#include "AlignmentChecker.h"
#include "Platform/Accessibility.h"
#include "Runtime/Log.h"
#include "Runtime/Observable.h"

#include <QPointer>

namespace aimset {

namespace {

const QString kAligned = QStringLiteral("ALIGNED");
const QString kUnclear = QStringLiteral("UNCLEAR");
const QString kMisaligned = QStringLiteral("MISALIGNED");
const QString kEmptyTextReason = QStringLiteral("Could not extract page text for verification");
const QString kFailedTextCheckReason = QStringLiteral("API check failed");
const QString kLinks = QStringLiteral(" \u2194 ");

// Seconds in the shortest form that still shows a fraction: "0.5", "5.0".
QString formatSeconds(MainLoop::Duration interval) {
    QString text = QString::number(static_cast<double>(interval.count()) / 1000.0, 'g', 15);
    if (!text.contains(QLatin1Char('.'))) {
        text += QStringLiteral(".0");
    }
    return text;
}

} // namespace

AppMonitor::AppMonitor(MainLoop& loop, Workspace& workspace, Accessibility& accessibility,
                       AlignmentChecker& checker, const PlatformAppLists& platformLists,
                       QObject* parent)
    : QObject(parent)
    , m_loop(loop)
    , m_workspace(workspace)
    , m_accessibility(accessibility)
    , m_checker(checker)
    , m_whitelistedBundleIDs(listedWhitelistedBundleIDs()) {
    for (const QString& id : platformLists.alwaysAllowedIDs) {
        m_whitelistedBundleIDs.insert(id);
    }
}

AppMonitor::~AppMonitor() {
    if (m_observer) {
        m_workspace.removeActivationObserver(*m_observer);
    }
}

const QSet<QString>& AppMonitor::listedWhitelistedBundleIDs() {
    static const QSet<QString> ids{
        QStringLiteral("com.apple.systempreferences"),
        QStringLiteral("com.apple.SystemPreferences"),
        QStringLiteral("com.apple.ActivityMonitor"),
        QStringLiteral("Aimset.com.Aimset"),
        QStringLiteral("com.apple.finder"),
        QStringLiteral("com.apple.keychainaccess"),
        QStringLiteral("com.apple.DiskUtility"),
        QStringLiteral("com.apple.Terminal"),
        QStringLiteral("com.apple.Console"),
        QStringLiteral("com.apple.Screenshot"),
        QStringLiteral("com.apple.TextEdit"),
        QStringLiteral("com.apple.Preview"),
        QStringLiteral("com.apple.calculator"),
        QStringLiteral("com.apple.FontBook"),
        QStringLiteral("com.apple.archiveutility"),
        QStringLiteral("com.apple.installer"),
        QStringLiteral("com.apple.MigrationUtility"),
    };
    return ids;
}

const QSet<QString>& AppMonitor::whitelistedWindows() {
    static const QSet<QString> windows{QStringLiteral("Safari|Start Page"),
                                       QStringLiteral("Safari|Start Page, Private Browsing")};
    return windows;
}

const QStringList& AppMonitor::whitelistedTitleSubstrings() {
    static const QStringList fragments{QStringLiteral("Gmail"), QStringLiteral("Outlook"),
                                       QStringLiteral("Mail"), QStringLiteral("Google Calendar")};
    return fragments;
}

const QStringList& AppMonitor::authDomains() {
    static const QStringList hosts{
        QStringLiteral("accounts.google.com"),
        QStringLiteral("login.microsoftonline.com"),
        QStringLiteral("login.live.com"),
        QStringLiteral("appleid.apple.com"),
        QStringLiteral("auth0.com"),
        QStringLiteral("okta.com"),
        QStringLiteral("onelogin.com"),
        QStringLiteral("login.yahoo.com"),
        QStringLiteral("id.atlassian.com"),
        QStringLiteral("signin.aws.amazon.com"),
        QStringLiteral("login.salesforce.com"),
    };
    return hosts;
}

const QStringList& AppMonitor::authPathPatterns() {
    static const QStringList paths{
        QStringLiteral("/login"),        QStringLiteral("/signin"),
        QStringLiteral("/sign-in"),      QStringLiteral("/sign_in"),
        QStringLiteral("/auth"),         QStringLiteral("/oauth"),
        QStringLiteral("/sso"),          QStringLiteral("/authenticate"),
        QStringLiteral("/verification"), QStringLiteral("/2fa"),
        QStringLiteral("/mfa"),
    };
    return paths;
}

const QStringList& AppMonitor::authTitlePatterns() {
    static const QStringList phrases{
        QStringLiteral("sign in"),      QStringLiteral("log in"),
        QStringLiteral("login"),        QStringLiteral("signin"),
        QStringLiteral("authenticate"), QStringLiteral("verify your"),
        QStringLiteral("two-factor"),   QStringLiteral("2-step"),
        QStringLiteral("verification"),
    };
    return phrases;
}

QString AppMonitor::windowKey(const QString& appName, const QString& windowTitle) {
    return appName + QLatin1Char('|') + windowTitle;
}

void AppMonitor::setLastAlignmentResult(const QString& result) {
    assignIfChanged(this, m_lastAlignmentResult, result, &AppMonitor::lastAlignmentResultChanged);
}

void AppMonitor::setHasAccessibilityPermission(bool trusted) {
    assignIfChanged(this, m_hasAccessibilityPermission, trusted,
                    &AppMonitor::hasAccessibilityPermissionChanged);
}

void AppMonitor::setLastChecked(const QString& appName, const QString& windowTitle) {
    lastCheckedAppName = appName;
    lastCheckedWindowTitle = windowTitle;
}

void AppMonitor::resetChecks() {
    m_alignmentCache.clear();
    setLastAlignmentResult(QString());
    setLastChecked(QString(), QString());
}

TimerHandle AppMonitor::makePollTimer(MainLoop::Duration interval) {
    return m_loop.scheduleRepeating(interval, [self = QPointer<AppMonitor>(this)] {
        if (self) {
            self->pollFrontmostWindow();
        }
    });
}

void AppMonitor::startMonitoring() {
    if (m_isMonitoring) {
        return;
    }
    const bool trusted = m_accessibility.isProcessTrusted();
    setHasAccessibilityPermission(trusted);
    Log(trusted ? QStringLiteral("[AppMonitor] Accessibility: trusted")
                : QStringLiteral("[AppMonitor] Accessibility: NOT trusted \u2014 window titles "
                                 "unavailable"));

    m_observer = m_workspace.addActivationObserver(
        [self = QPointer<AppMonitor>(this)](const std::optional<RunningApplication>& app) {
            if (!app || !self) {
                return;
            }
            self->m_loop.post([self, app = *app] {
                if (!self) {
                    return;
                }
                if (self->onWindowChanged) {
                    self->onWindowChanged();
                }
                self->m_loop.postAfter(activationRefreshDelay, [self, app] {
                    if (self) {
                        self->updateFrontmostApp(app);
                    }
                });
            });
        });

    m_isMonitoring = true;
    emit isMonitoringChanged();

    if (const auto app = m_workspace.frontmostApplication()) {
        updateFrontmostApp(*app);
    }
    m_pollTimer = makePollTimer(slowPollInterval);
    Log(QStringLiteral("[AppMonitor] Started monitoring"));
}

void AppMonitor::stopMonitoring() {
    if (!m_isMonitoring) {
        return;
    }
    if (m_observer) {
        m_workspace.removeActivationObserver(*m_observer);
        m_observer.reset();
    }
    m_pollTimer.reset();
    m_isMonitoring = false;
    emit isMonitoringChanged();
    Log(QStringLiteral("[AppMonitor] Stopped monitoring"));
}

void AppMonitor::checkAccessibilityPermission() {
    const bool trusted = m_accessibility.isProcessTrusted();
    setHasAccessibilityPermission(trusted);
    if (!trusted && !m_hasPromptedThisSession) {
        m_hasPromptedThisSession = true;
        m_accessibility.requestTrustWithPrompt();
    }
}

void AppMonitor::setPollInterval(bool fast) {
    const MainLoop::Duration interval = fast ? fastPollInterval : slowPollInterval;
    m_pollTimer.reset();
    m_pollTimer = makePollTimer(interval);
    Log(QStringLiteral("[AppMonitor] Poll interval set to ") + formatSeconds(interval) +
        QLatin1Char('s'));
}

void AppMonitor::markInterventionWindow() {
    interventionAppName = m_currentAppName;
    interventionWindowTitle = m_currentWindowTitle;
    LogDebug(QStringLiteral("[AppMonitor] Intervention window marked: ") + interventionAppName +
             QStringLiteral(" | ") + interventionWindowTitle);
}

void AppMonitor::markAligned(const QString& appName, const QString& windowTitle) {
    m_alignmentCache.insert(windowKey(appName, windowTitle), AlignmentVerdict::aligned());
}

void AppMonitor::setTemporaryAimset(const QString& aimset) {
    if (!m_isTemporaryAimset) {
        assignIfChanged(this, m_originalAimset, userAimset, &AppMonitor::originalAimsetChanged);
    }
    assignIfChanged(this, m_isTemporaryAimset, true, &AppMonitor::isTemporaryAimsetChanged);
    userAimset = aimset;
    resetChecks();
    Log(QStringLiteral("[AppMonitor] Temporary aimset set: ") + aimset +
        QStringLiteral(" (original: ") + m_originalAimset + QLatin1Char(')'));
}

void AppMonitor::restoreOriginalAimset() {
    if (!m_isTemporaryAimset) {
        return;
    }
    userAimset = m_originalAimset;
    assignIfChanged(this, m_isTemporaryAimset, false, &AppMonitor::isTemporaryAimsetChanged);
    resetChecks();
    Log(QStringLiteral("[AppMonitor] Original aimset restored: ") + userAimset);
}

std::optional<AlignmentVerdict> AppMonitor::cachedVerdict(const QString& appName,
                                                          const QString& windowTitle) const {
    const auto found = m_alignmentCache.constFind(windowKey(appName, windowTitle));
    if (found == m_alignmentCache.constEnd()) {
        return std::nullopt;
    }
    return *found;
}

QString AppMonitor::readFocusedWindowTitle(std::int32_t pid) {
    const bool trusted = m_accessibility.isProcessTrusted();
    setHasAccessibilityPermission(trusted);
    if (!trusted) {
        return {};
    }
    return m_workspace.focusedWindowTitle(pid).value_or(QString());
}

void AppMonitor::publishWindow(const QString& name, const QString& bundleID, const QString& title) {
    assignIfChanged(this, m_currentAppName, name, &AppMonitor::currentAppNameChanged);
    assignIfChanged(this, m_currentBundleID, bundleID, &AppMonitor::currentBundleIDChanged);
    assignIfChanged(this, m_currentWindowTitle, title, &AppMonitor::currentWindowTitleChanged);
}

void AppMonitor::logWindow() const {
    QString line = QStringLiteral("[AppMonitor] App: ") + m_currentAppName + QStringLiteral(" (") +
                   m_currentBundleID + QLatin1Char(')');
    if (!m_currentWindowTitle.isEmpty()) {
        line += QStringLiteral(" | Window: ") + m_currentWindowTitle;
    }
    LogDebug(line);
}

void AppMonitor::updateFrontmostApp(const RunningApplication& app) {
    const QString title = readFocusedWindowTitle(app.processIdentifier);
    publishWindow(app.localizedName.value_or(QStringLiteral("Unknown")),
                  app.bundleIdentifier.value_or(QStringLiteral("unknown")), title);
    logWindow();
}

bool AppMonitor::isSignInPage(const QString& title) const {
    const QString lowered = title.toLower();
    const auto containedIn = [&lowered](const QStringList& patterns) {
        for (const QString& pattern : patterns) {
            if (lowered.contains(pattern)) {
                return true;
            }
        }
        return false;
    };
    return containedIn(authDomains()) || containedIn(authPathPatterns()) ||
           containedIn(authTitlePatterns());
}

void AppMonitor::pollFrontmostWindow() {
    const auto app = m_workspace.frontmostApplication();
    if (!app) {
        return;
    }
    const QString name = app->localizedName.value_or(QStringLiteral("Unknown"));
    const QString bundleID = app->bundleIdentifier.value_or(QStringLiteral("unknown"));
    const std::int32_t pid = app->processIdentifier;
    const QString title = readFocusedWindowTitle(pid);

    publishWindow(name, bundleID, title);
    assignIfChanged(this, m_currentPID, static_cast<int>(pid), &AppMonitor::currentPIDChanged);

    if (!interventionWindowTitle.isEmpty() &&
        (name != interventionAppName || title != interventionWindowTitle)) {
        Log(QStringLiteral(
            "[AppMonitor] Window changed from intervention window \u2014 firing onWindowChanged"));
        interventionAppName.clear();
        interventionWindowTitle.clear();
        if (onWindowChanged) {
            onWindowChanged();
        }
        return;
    }

    logWindow();

    if (userAimset.isEmpty() || title.isEmpty()) {
        return;
    }

    const QString key = windowKey(name, title);
    const bool allowed =
        m_whitelistedBundleIDs.contains(bundleID) || whitelistedWindows().contains(key) ||
        std::any_of(whitelistedTitleSubstrings().cbegin(), whitelistedTitleSubstrings().cend(),
                    [&title](const QString& fragment) { return title.contains(fragment); });
    if (allowed) {
        setLastAlignmentResult(kAligned);
        setLastChecked(name, title);
        if (onAligned) {
            onAligned();
        }
        return;
    }

    if (isSignInPage(title)) {
        setLastAlignmentResult(kAligned);
        setLastChecked(name, title);
        LogDebug(QStringLiteral("[AppMonitor] Auth page detected, auto-aligned: ") + title);
        if (onAligned) {
            onAligned();
        }
        return;
    }

    const bool changed = name != lastCheckedAppName || title != lastCheckedWindowTitle;

    const auto cached = m_alignmentCache.constFind(key);
    if (cached != m_alignmentCache.constEnd()) {
        if (changed) {
            LogDebug(QStringLiteral("[Alignment] Cached verdict for: ") + userAimset + kLinks +
                     title);
        }
        // Copy: a callback may change the cache.
        const AlignmentVerdict verdict = *cached;
        handleVerdict(verdict);
        setLastChecked(name, title);
        return;
    }

    if (!changed) {
        return;
    }

    setLastChecked(name, title);
    runRemoteCheck(CheckedWindow{userAimset, name, title, key, pid, bundleID});
}

void AppMonitor::handleVerdict(const AlignmentVerdict& verdict) {
    switch (verdict.kind) {
    case AlignmentVerdict::Kind::aligned:
        setLastAlignmentResult(kAligned);
        if (onAligned) {
            onAligned();
        }
        break;
    case AlignmentVerdict::Kind::unclear:
        setLastAlignmentResult(kUnclear);
        if (onUnclear) {
            onUnclear(verdict.question, verdict.reason);
        }
        break;
    case AlignmentVerdict::Kind::misaligned:
        setLastAlignmentResult(kMisaligned);
        if (onMisaligned) {
            onMisaligned(verdict.reason);
        }
        break;
    }
}

void AppMonitor::runRemoteCheck(const CheckedWindow& window) {
    m_checker.checkTitle(window.aimset, window.appName, window.title,
                         [self = QPointer<AppMonitor>(this), window](std::optional<bool> aligned) {
                             if (self) {
                                 self->applyTitleAnswer(window, aligned);
                             }
                         });
}

void AppMonitor::recordOutcome(const QString& key, const AlignmentVerdict& verdict) {
    m_alignmentCache.insert(key, verdict);
    switch (verdict.kind) {
    case AlignmentVerdict::Kind::aligned:
        setLastAlignmentResult(kAligned);
        break;
    case AlignmentVerdict::Kind::unclear:
        setLastAlignmentResult(kUnclear);
        break;
    case AlignmentVerdict::Kind::misaligned:
        setLastAlignmentResult(kMisaligned);
        break;
    }
}

void AppMonitor::applyTitleAnswer(const CheckedWindow& window, std::optional<bool> aligned) {
    if (!aligned) {
        return;
    }
    if (*aligned) {
        recordOutcome(window.key, AlignmentVerdict::aligned());
        LogDebug(QStringLiteral("[Alignment] ALIGNED: ") + window.aimset + kLinks + window.title);
        if (onAligned) {
            onAligned();
        }
        return;
    }

    Log(QStringLiteral("[Alignment] Title says not aligned, running OCR for verdict..."));
    m_checker.extractWindowText(
        window.pid, window.bundleID,
        [self = QPointer<AppMonitor>(this), window](const QString& text) {
            if (!self) {
                return;
            }
            if (text.isEmpty()) {
                Log(QStringLiteral(
                    "[Alignment] OCR extraction empty \u2014 defaulting to MISALIGNED"));
                self->recordOutcome(window.key, AlignmentVerdict::misaligned(kEmptyTextReason));
                if (self->onMisaligned) {
                    self->onMisaligned(kEmptyTextReason);
                }
                return;
            }
            self->m_checker.checkText(window.aimset, text,
                                      [self, window](std::optional<AlignmentVerdict> verdict) {
                                          if (self) {
                                              self->applyTextAnswer(window, std::move(verdict));
                                          }
                                      });
        });
}

void AppMonitor::applyTextAnswer(const CheckedWindow& window,
                                 std::optional<AlignmentVerdict> verdict) {
    if (!verdict) {
        Log(QStringLiteral("[Alignment] OCR API call failed \u2014 defaulting to MISALIGNED"));
        recordOutcome(window.key, AlignmentVerdict::misaligned(kFailedTextCheckReason));
        if (onMisaligned) {
            onMisaligned(kFailedTextCheckReason);
        }
        return;
    }
    recordOutcome(window.key, *verdict);
    switch (verdict->kind) {
    case AlignmentVerdict::Kind::unclear:
        LogDebug(QStringLiteral("[Alignment] UNCLEAR: ") + window.aimset + kLinks + window.title +
                 QStringLiteral(" | Q: ") + verdict->question);
        if (onUnclear) {
            onUnclear(verdict->question, verdict->reason);
        }
        break;
    case AlignmentVerdict::Kind::misaligned:
        LogDebug(QStringLiteral("[Alignment] MISALIGNED (confirmed by OCR): ") + window.aimset +
                 kLinks + window.title);
        if (onMisaligned) {
            onMisaligned(verdict->reason);
        }
        break;
    case AlignmentVerdict::Kind::aligned:
        LogDebug(QStringLiteral("[Alignment] ALIGNED (OCR override): ") + window.aimset + kLinks +
                 window.title);
        if (onAligned) {
            onAligned();
        }
        break;
    }
}

} // namespace aimset
