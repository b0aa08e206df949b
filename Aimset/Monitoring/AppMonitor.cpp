#include "AppMonitor.h"

#include "AlignmentChecker.h"
#include "Platform/Accessibility.h"
#include "Runtime/Log.h"
#include "Runtime/Observable.h"

#include <QRegularExpression>

#include <algorithm>

namespace aimset {

namespace {

const QString kLinks = QStringLiteral(" \u2194 ");

// Whether `part` occurs in `text` with no character that `joins` right after
// it, nor, for a whole word, right before it: the words "sign in" are not in
// "design inspiration"; the path part "/login" is in "/login?next" and
// "/oauth" in "/oauth2", but "/auth" is not in "/authors".
bool containsPart(const QString& text, const QString& part, bool (QChar::*joins)() const noexcept,
                  bool wholeWord) {
    for (qsizetype at = text.indexOf(part); at >= 0; at = text.indexOf(part, at + 1)) {
        const qsizetype end = at + part.size();
        if ((!wholeWord || at == 0 || !(text[at - 1].*joins)()) &&
            (end == text.size() || !(text[end].*joins)())) {
            return true;
        }
    }
    return false;
}

// Browsers that show the address put it in the title as one token, with or
// without its scheme: "accounts.google.com/signin?hl=en".
const QRegularExpression& addressPattern() {
    static const QRegularExpression pattern(QStringLiteral(
        R"((?:^|\s)(?:[a-z][a-z0-9+.-]*://)?((?:[a-z0-9-]+\.)+[a-z]{2,})(?::\d+)?(/\S*)?)"));
    return pattern;
}

const QStringList kAllowedBundleIDs =
    listOf("com.apple.systempreferences|com.apple.SystemPreferences|"
           "com.apple.ActivityMonitor|Aimset.com.Aimset|com.apple.finder|"
           "com.apple.keychainaccess|com.apple.DiskUtility|com.apple.Terminal|"
           "com.apple.Console|com.apple.Screenshot|com.apple.TextEdit|com.apple.Preview|"
           "com.apple.calculator|com.apple.FontBook|com.apple.archiveutility|"
           "com.apple.installer|com.apple.MigrationUtility");
// Keys are "app|title".
const QStringList kAllowedWindows{QStringLiteral("Safari|Start Page"),
                                  QStringLiteral("Safari|Start Page, Private Browsing")};
const QStringList kAllowedTitleParts = listOf("Gmail|Outlook|Mail|Google Calendar");
const QStringList kAuthDomains =
    listOf("accounts.google.com|login.microsoftonline.com|login.live.com|"
           "appleid.apple.com|auth0.com|okta.com|onelogin.com|login.yahoo.com|"
           "id.atlassian.com|signin.aws.amazon.com|login.salesforce.com");
const QStringList kAuthPathParts = listOf("/login|/signin|/sign-in|/sign_in|/auth|/oauth|/sso|"
                                          "/authenticate|/verification|/2fa|/mfa");
const QStringList kAuthTitlePhrases =
    listOf("sign in|log in|login|signin|authenticate|verify your|two-factor|2-step|"
           "verification");

QString windowKey(const QString& appName, const QString& windowTitle) {
    return appName + QLatin1Char('|') + windowTitle;
}

bool isSignInPage(const QString& title) {
    const QString lowered = title.toLower();
    QRegularExpressionMatchIterator addresses = addressPattern().globalMatch(lowered);
    while (addresses.hasNext()) {
        const QRegularExpressionMatch address = addresses.next();
        const QString host = address.captured(1);
        const QString path = address.captured(2);
        for (const QString& domain : kAuthDomains) {
            if (host == domain || host.endsWith(QLatin1Char('.') + domain)) {
                return true;
            }
        }
        for (const QString& part : kAuthPathParts) {
            if (containsPart(path, part, &QChar::isLetter, false)) {
                return true;
            }
        }
    }
    return std::ranges::any_of(kAuthTitlePhrases, [&lowered](const QString& phrase) {
        return containsPart(lowered, phrase, &QChar::isLetterOrNumber, true);
    });
}

// The parts of a title between its separators: "Inbox - Gmail" is "Inbox" and "Gmail".
bool isAllowedTitle(const QString& title) {
    static const QRegularExpression separator(
        QStringLiteral(R"(\s+[-\x{2013}\x{2014}|\x{00B7}\x{2022}]\s+)"));
    const QStringList parts = title.trimmed().split(separator);
    return std::ranges::any_of(kAllowedTitleParts,
                               [&parts](const QString& part) { return parts.contains(part); });
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
    , m_allowedBundleIDs(kAllowedBundleIDs + platformLists.alwaysAllowedIDs) {}

AppMonitor::~AppMonitor() {
    if (m_observer) {
        m_workspace.removeActivationObserver(*m_observer);
    }
}

void AppMonitor::resetChecks() {
    m_alignmentCache.clear();
    m_lastChecked = {};
}

TimerHandle AppMonitor::makePollTimer(MainLoop::Duration interval) {
    m_pollInterval = interval;
    return m_loop.scheduleRepeating(
        interval,
        [this] {
            m_inPollTick = true;
            pollFrontmostWindow();
            m_inPollTick = false;
        },
        this);
}

void AppMonitor::startMonitoring(const QString& aimset) {
    if (m_observer) {
        return;
    }
    m_userAimset = aimset;
    // A new session judges afresh: nothing decided or failed before carries over.
    ++m_session;
    resetChecks();
    m_retry.reset();
    m_intervention = {};
    assignIfChanged(this, m_isTemporaryAimset, false, &AppMonitor::isTemporaryAimsetChanged);
    m_originalAimset.clear();

    Log(m_accessibility.isProcessTrusted()
            ? QStringLiteral("[AppMonitor] Accessibility: trusted")
            : QStringLiteral("[AppMonitor] Accessibility: NOT trusted \u2014 working on "
                             "window titles alone"));

    m_observer =
        m_workspace.addActivationObserver([this](const std::optional<RunningApplication>& app) {
            if (!app) {
                return;
            }
            m_loop.post(
                [this, app = *app] {
                    emit windowChanged();
                    m_loop.postAfter(
                        activationRefreshDelay, [this, app] { logWindow(windowOf(app)); }, this);
                },
                this);
        });

    if (const auto app = m_workspace.frontmostApplication()) {
        logWindow(windowOf(*app));
    }
    m_pollTimer = makePollTimer(slowPollInterval);
    Log(QStringLiteral("[AppMonitor] Started monitoring"));
}

void AppMonitor::stopMonitoring() {
    if (!m_observer) {
        return;
    }
    m_workspace.removeActivationObserver(*m_observer);
    m_observer.reset();
    m_pollTimer.reset();
    Log(QStringLiteral("[AppMonitor] Stopped monitoring"));
}

void AppMonitor::checkAccessibilityPermission() {
    if (!m_accessibility.isProcessTrusted() && !m_hasPromptedThisSession) {
        m_hasPromptedThisSession = true;
        m_accessibility.requestTrustWithPrompt();
    }
}

void AppMonitor::setPollInterval(bool fast) {
    // Polling runs only while a session runs.
    if (!m_observer) {
        return;
    }
    const MainLoop::Duration interval = fast ? fastPollInterval : slowPollInterval;
    // A tick asking for the rate it runs at keeps its timer: the next tick
    // comes one interval from now either way. An intervention asks on every tick.
    if (!m_inPollTick || interval != m_pollInterval || !m_pollTimer.isActive()) {
        m_pollTimer.reset();
        m_pollTimer = makePollTimer(interval);
    }
    // "0.5s", "5.0s".
    Log(QStringLiteral("[AppMonitor] Poll interval set to ") +
        QString::number(interval.count() / 1000.0, 'f', 1) + QLatin1Char('s'));
}

void AppMonitor::interventionShown() {
    m_intervention = m_judgedWindow;
    LogDebug(QStringLiteral("[AppMonitor] Intervention window marked: ") + m_intervention.appName +
             QStringLiteral(" | ") + m_intervention.title);
    setPollInterval(true);
}

void AppMonitor::interventionEnded() {
    setPollInterval(false);
    m_intervention = {};
}

void AppMonitor::interventionDismissed() {
    m_lastChecked = {};
    interventionEnded();
}

bool AppMonitor::isInterventionWindowInFront() {
    return !m_intervention.title.isEmpty() && readFrontWindow() == m_intervention;
}

void AppMonitor::markAligned(const QString& appName, const QString& windowTitle) {
    m_alignmentCache.insert(windowKey(appName, windowTitle), AlignmentVerdict::aligned());
}

void AppMonitor::setTemporaryAimset(const QString& aimset) {
    if (!m_isTemporaryAimset) {
        m_originalAimset = m_userAimset;
    }
    assignIfChanged(this, m_isTemporaryAimset, true, &AppMonitor::isTemporaryAimsetChanged);
    m_userAimset = aimset;
    resetChecks();
    Log(QStringLiteral("[AppMonitor] Temporary aimset set: ") + aimset +
        QStringLiteral(" (original: ") + m_originalAimset + QLatin1Char(')'));
}

void AppMonitor::restoreOriginalAimset() {
    if (!m_isTemporaryAimset) {
        return;
    }
    m_userAimset = m_originalAimset;
    assignIfChanged(this, m_isTemporaryAimset, false, &AppMonitor::isTemporaryAimsetChanged);
    resetChecks();
    Log(QStringLiteral("[AppMonitor] Original aimset restored: ") + m_userAimset);
}

// Titles come from the window system, so they are read without the
// accessibility bus; only window text needs it.
AppMonitor::Window AppMonitor::windowOf(const RunningApplication& app) {
    return Window{app.localizedName.value_or(QStringLiteral("Unknown")),
                  app.bundleIdentifier.value_or(QStringLiteral("unknown")), app.processIdentifier,
                  m_workspace.focusedWindowTitle(app.processIdentifier).value_or(QString())};
}

void AppMonitor::logWindow(const Window& window) {
    QString line = QStringLiteral("[AppMonitor] App: ") + window.appName + QStringLiteral(" (") +
                   window.bundleID + QLatin1Char(')');
    if (!window.title.isEmpty()) {
        line += QStringLiteral(" | Window: ") + window.title;
    }
    LogDebug(line);
}

std::optional<AppMonitor::Window> AppMonitor::readFrontWindow() {
    const auto app = m_workspace.frontmostApplication();
    if (!app) {
        return std::nullopt;
    }
    return windowOf(*app);
}

void AppMonitor::pollFrontmostWindow() {
    const auto window = readFrontWindow();
    if (!window) {
        return;
    }
    if (m_retry && m_retry->window != *window) {
        m_retry.reset(); // the window changed: a failure elsewhere starts over
    }

    if (!m_intervention.title.isEmpty() && !window->looksLike(m_intervention)) {
        Log(QStringLiteral(
            "[AppMonitor] Window changed from intervention window \u2014 firing onWindowChanged"));
        m_intervention = {};
        emit windowChanged();
        return;
    }

    logWindow(*window);

    if (m_userAimset.isEmpty() || window->title.isEmpty()) {
        return;
    }

    const QString key = windowKey(window->appName, window->title);
    const bool allowed = m_allowedBundleIDs.contains(window->bundleID) ||
                         kAllowedWindows.contains(key) || isAllowedTitle(window->title);
    const bool signIn = !allowed && isSignInPage(window->title);
    if (allowed || signIn) {
        m_lastChecked = *window;
        if (signIn) {
            LogDebug(QStringLiteral("[AppMonitor] Auth page detected, auto-aligned: ") +
                     window->title);
        }
        emit aligned();
        return;
    }

    const bool changed = !window->looksLike(m_lastChecked);

    const auto cached = m_alignmentCache.constFind(key);
    if (cached != m_alignmentCache.constEnd()) {
        if (changed) {
            LogDebug(QStringLiteral("[Alignment] Cached verdict for: ") + m_userAimset + kLinks +
                     window->title);
        }
        // Copy: a callback may change the cache.
        const AlignmentVerdict verdict = *cached;
        report(*window, verdict);
        m_lastChecked = *window;
        return;
    }

    // Unchanged: its check is under way, or failed and is asked again once due.
    const bool retryDue = m_retry && m_loop.now() >= m_retry->due;
    if (!changed && !retryDue) {
        return;
    }
    if (m_retry) {
        m_retry->due = MainLoop::Duration::max(); // until this check has failed too
    }

    m_lastChecked = *window;
    const CheckedWindow checked{m_userAimset, *window, key, m_session, m_loop.now()};
    m_checker.checkTitle(
        checked.aimset, window->appName, window->title,
        [this, checked](std::optional<bool> aligned) { applyTitleAnswer(checked, aligned); }, this);
}

void AppMonitor::report(const Window& window, const AlignmentVerdict& verdict) {
    m_judgedWindow = window;
    switch (verdict.kind) {
    case AlignmentVerdict::Kind::aligned:
        emit aligned();
        break;
    case AlignmentVerdict::Kind::unclear:
        emit unclear(verdict.question, verdict.reason);
        break;
    case AlignmentVerdict::Kind::misaligned:
        emit misaligned(verdict.reason);
        break;
    }
}

bool AppMonitor::isStillJudging(const CheckedWindow& window) {
    const QString dropped = QStringLiteral("[Alignment] Answer for ") + window.window.appName +
                            QStringLiteral(" dropped");
    if (!m_observer || window.session != m_session) {
        Log(dropped + QStringLiteral(" \u2014 its session has ended"));
        return false;
    }
    if (readFrontWindow() != window.window) {
        Log(dropped + QStringLiteral(" \u2014 the window is no longer in front"));
        // Whatever is in front now is judged at the next poll, this window
        // too should the user come straight back to it.
        if (m_lastChecked.looksLike(window.window)) {
            m_lastChecked = {};
        }
        return false;
    }
    return true;
}

void AppMonitor::retryLater(const CheckedWindow& window, const QString& failure) {
    // A failure is no verdict: nothing is cached or fired, and the window is
    // asked again later, each time waiting twice as long.
    const MainLoop::Duration delay = m_retry && m_retry->window == window.window
                                         ? std::min(m_retry->delay * 2, longestRetryDelay)
                                         : firstRetryDelay;
    m_retry = Retry{window.window, window.startedAt + delay, delay};
    Log(QStringLiteral("[Alignment] ") + failure + QStringLiteral(" \u2014 will retry in ") +
        QString::number(delay.count() / 1000) + QLatin1Char('s'));
}

void AppMonitor::applyTitleAnswer(const CheckedWindow& window, std::optional<bool> aligned) {
    if (!isStillJudging(window)) {
        return;
    }
    if (!aligned) {
        retryLater(window, QStringLiteral("Title check failed"));
        return;
    }
    if (*aligned) {
        m_alignmentCache.insert(window.key, AlignmentVerdict::aligned());
        m_retry.reset();
        LogDebug(QStringLiteral("[Alignment] ALIGNED: ") + window.aimset + kLinks +
                 window.window.title);
        report(window.window, AlignmentVerdict::aligned());
        return;
    }

    Log(QStringLiteral(
        "[Alignment] Title says not aligned, reading the window text for a verdict..."));
    m_checker.extractWindowText(
        window.window.pid, window.window.bundleID,
        [this, window](std::optional<QString> text) { applyWindowText(window, std::move(text)); },
        this);
}

void AppMonitor::applyWindowText(const CheckedWindow& window, std::optional<QString> text) {
    if (!isStillJudging(window)) {
        return;
    }
    if (!text) {
        // Without the text the title alone would decide: that is the user's call.
        Log(QStringLiteral("[Alignment] Window text unreadable \u2014 asking the user"));
        m_retry.reset();
        const AlignmentVerdict question = AlignmentVerdict::unclear(
            QStringLiteral("Is \u201C%1\u201D part of your aimset?").arg(window.window.title),
            QStringLiteral("Could not read the window's text"));
        report(window.window, question);
        return;
    }
    if (text->isEmpty()) {
        // A window that shows nothing but its title: the title is all there
        // is to judge, and the service may still answer that it cannot tell.
        Log(QStringLiteral(
            "[Alignment] Window shows no text \u2014 checking its title as its text"));
        text = window.window.appName + QStringLiteral(" - ") + window.window.title;
    }
    m_checker.checkText(
        window.aimset, *text,
        [this, window](std::optional<AlignmentVerdict> verdict) {
            applyTextAnswer(window, std::move(verdict));
        },
        this);
}

void AppMonitor::applyTextAnswer(const CheckedWindow& window,
                                 std::optional<AlignmentVerdict> verdict) {
    if (!isStillJudging(window)) {
        return;
    }
    if (!verdict) {
        retryLater(window, QStringLiteral("Text check failed"));
        return;
    }
    m_alignmentCache.insert(window.key, *verdict);
    m_retry.reset();
    const QString about = window.aimset + kLinks + window.window.title;
    switch (verdict->kind) {
    case AlignmentVerdict::Kind::unclear:
        LogDebug(QStringLiteral("[Alignment] UNCLEAR: ") + about + QStringLiteral(" | Q: ") +
                 verdict->question);
        break;
    case AlignmentVerdict::Kind::misaligned:
        LogDebug(QStringLiteral("[Alignment] MISALIGNED (confirmed by window text): ") + about);
        break;
    case AlignmentVerdict::Kind::aligned:
        LogDebug(QStringLiteral("[Alignment] ALIGNED (window text override): ") + about);
        break;
    }
    report(window.window, *verdict);
}

} // namespace aimset
