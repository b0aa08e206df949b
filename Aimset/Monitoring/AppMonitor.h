#pragma once

#include "AlignmentVerdict.h"
#include "Platform/PlatformAppLists.h"
#include "Platform/Workspace.h"
#include "Runtime/MainLoop.h"

#include <QHash>
#include <QObject>
#include <QSet>
#include <QString>
#include <QStringList>

#include <optional>

namespace aimset {

class Accessibility;
class AlignmentChecker;

// Watches the frontmost application and its focused window while a focus
// session runs, decides whether the window fits the aimset (locally where it
// can, otherwise through the alignment service) and reports each outcome
// through its signals. Lives on the main thread.
class AppMonitor : public QObject {
    Q_OBJECT
    Q_PROPERTY(QString currentAppName READ currentAppName NOTIFY currentAppNameChanged)
    Q_PROPERTY(QString currentBundleID READ currentBundleID NOTIFY currentBundleIDChanged)
    Q_PROPERTY(QString currentWindowTitle READ currentWindowTitle NOTIFY currentWindowTitleChanged)
    Q_PROPERTY(int currentPID READ currentPID NOTIFY currentPIDChanged)
    Q_PROPERTY(bool isMonitoring READ isMonitoring NOTIFY isMonitoringChanged)
    Q_PROPERTY(bool hasAccessibilityPermission READ hasAccessibilityPermission NOTIFY
                   hasAccessibilityPermissionChanged)
    Q_PROPERTY(QString lastAlignmentResult READ lastAlignmentResult WRITE setLastAlignmentResult
                   NOTIFY lastAlignmentResultChanged)
    Q_PROPERTY(QString originalAimset READ originalAimset NOTIFY originalAimsetChanged)
    Q_PROPERTY(bool isTemporaryAimset READ isTemporaryAimset NOTIFY isTemporaryAimsetChanged)

public:
    static constexpr MainLoop::Duration slowPollInterval{5000};
    static constexpr MainLoop::Duration fastPollInterval{500};
    static constexpr MainLoop::Duration activationRefreshDelay{200};
    // A failed check is asked again after these, doubling from the first.
    static constexpr MainLoop::Duration firstRetryDelay{5000};
    static constexpr MainLoop::Duration longestRetryDelay{60000};

    AppMonitor(MainLoop& loop, Workspace& workspace, Accessibility& accessibility,
               AlignmentChecker& checker, const PlatformAppLists& platformLists = {},
               QObject* parent = nullptr);
    ~AppMonitor() override;

    // Observable state.
    QString currentAppName() const { return m_currentAppName; }
    QString currentBundleID() const { return m_currentBundleID; }
    QString currentWindowTitle() const { return m_currentWindowTitle; }
    int currentPID() const { return m_currentPID; }
    bool isMonitoring() const { return m_isMonitoring; }
    bool hasAccessibilityPermission() const { return m_hasAccessibilityPermission; }
    QString lastAlignmentResult() const { return m_lastAlignmentResult; }
    void setLastAlignmentResult(const QString& result);
    QString originalAimset() const { return m_originalAimset; }
    bool isTemporaryAimset() const { return m_isTemporaryAimset; }

    QString userAimset() const { return m_userAimset; }
    // The window an intervention on screen is about; empty when none is.
    QString interventionAppName() const { return m_intervention.appName; }
    QString interventionWindowTitle() const { return m_intervention.title; }
    QString lastCheckedWindowTitle() const { return m_lastChecked.title; }

    // Starts watching for a new session with this aimset: verdicts, the
    // temporary aimset and failed checks of an earlier session are forgotten.
    void startMonitoring(const QString& aimset);
    void stopMonitoring();
    void checkAccessibilityPermission();
    void setPollInterval(bool fast);
    // An intervention about the window just judged came on screen: that
    // window is watched, and polled fast.
    void interventionShown();
    // The intervention left: no window is watched, and the poll slows down.
    void interventionEnded();
    // The intervention ended in the user's or the clock's "no": the window in
    // front is judged afresh.
    void interventionDismissed();
    // Reads the frontmost window afresh: is it still the marked one?
    bool isInterventionWindowInFront();
    void markAligned(const QString& appName, const QString& windowTitle);
    void setTemporaryAimset(const QString& aimset);
    void restoreOriginalAimset();

    // One poll of the frontmost window; normally run by the poll timer.
    void pollFrontmostWindow();

    // Sign-in pages and allowed titles are matched on whole words and title
    // parts, and on the address where the title shows one.
    static bool isSignInPage(const QString& title);
    static bool isAllowedTitle(const QString& title);
    std::optional<AlignmentVerdict> cachedVerdict(const QString& appName,
                                                  const QString& windowTitle) const;
    bool hasPromptedThisSession() const { return m_hasPromptedThisSession; }

    static QString windowKey(const QString& appName, const QString& windowTitle);

    // The fixed lists, exactly as the product defines them.
    static const QSet<QString>& listedWhitelistedBundleIDs();
    static const QSet<QString>& whitelistedWindows();
    static const QStringList& whitelistedTitleSubstrings();
    static const QStringList& authDomains();
    static const QStringList& authPathPatterns();
    static const QStringList& authTitlePatterns();

signals:
    void aligned();
    void unclear(const QString& question, const QString& reason);
    void misaligned(const QString& reason);
    // The user left the window an intervention is about, or switched apps.
    void windowChanged();

    void currentAppNameChanged();
    void currentBundleIDChanged();
    void currentWindowTitleChanged();
    void currentPIDChanged();
    void isMonitoringChanged();
    void hasAccessibilityPermissionChanged();
    void lastAlignmentResultChanged();
    void originalAimsetChanged();
    void isTemporaryAimsetChanged();

private:
    // A window as the desktop shows it; what a verdict is about.
    struct Window {
        QString appName;
        std::int32_t pid = 0;
        QString title;
        bool operator==(const Window&) const = default;
    };
    // One check under way: the window, and the session and aimset it was asked in.
    struct CheckedWindow {
        QString aimset;
        Window window;
        QString key;
        QString bundleID;
        std::uint64_t session = 0;
        MainLoop::Duration startedAt{0};
    };
    // A window whose check failed: asked again once due, while it stays in front.
    struct Retry {
        Window window;
        MainLoop::Duration due{0};
        MainLoop::Duration delay{0};
    };

    // What the allow lists and the sign-in rule say of one window; they depend
    // on its facts alone, so the poll asks them again only for another window.
    struct WindowRules {
        QString bundleID;
        QString key;
        bool allowed = false;
        bool signIn = false;
    };

    const WindowRules& rulesFor(const QString& bundleID, const QString& key, const QString& title);
    void updateFrontmostApp(const RunningApplication& app);
    QString readFocusedWindowTitle(std::int32_t pid);
    void publishWindow(const QString& name, const QString& bundleID, const QString& title);
    void logWindow() const;
    void handleVerdict(const AlignmentVerdict& verdict);
    void report(const Window& window, const AlignmentVerdict& verdict);
    void runRemoteCheck(const CheckedWindow& window);
    void applyTitleAnswer(const CheckedWindow& window, std::optional<bool> aligned);
    void applyWindowText(const CheckedWindow& window, std::optional<QString> text);
    void applyTextAnswer(const CheckedWindow& window, std::optional<AlignmentVerdict> verdict);
    bool isStillJudging(const CheckedWindow& window);
    void retryLater(const CheckedWindow& window, const QString& failure);
    std::optional<Window> readFrontWindow();
    void recordOutcome(const QString& key, const AlignmentVerdict& verdict);
    void setLastChecked(const QString& appName, const QString& windowTitle);
    void resetChecks();
    void setHasAccessibilityPermission(bool trusted);
    TimerHandle makePollTimer(MainLoop::Duration interval);

    MainLoop& m_loop;
    Workspace& m_workspace;
    Accessibility& m_accessibility;
    AlignmentChecker& m_checker;

    QString m_currentAppName;
    QString m_currentBundleID;
    QString m_currentWindowTitle;
    int m_currentPID = 0;
    bool m_isMonitoring = false;
    bool m_hasAccessibilityPermission = false;
    QString m_lastAlignmentResult;
    QString m_originalAimset;
    bool m_isTemporaryAimset = false;

    std::optional<Workspace::ObserverToken> m_observer;
    bool m_hasPromptedThisSession = false;
    TimerHandle m_pollTimer;
    MainLoop::Duration m_pollInterval{0};
    // True while the poll timer's own tick runs: its next tick is one interval away.
    bool m_inPollTick = false;
    std::optional<WindowRules> m_rules;
    QHash<QString, AlignmentVerdict> m_alignmentCache;
    QSet<QString> m_whitelistedBundleIDs;
    // Counts sessions, so that an answer knows whether its own still runs.
    std::uint64_t m_session = 0;
    std::optional<Retry> m_retry;
    // The window of the verdict being reported, and the one an intervention is about.
    std::optional<Window> m_judgedWindow;
    Window m_intervention;
    Window m_lastChecked;
    QString m_userAimset;
};

} // namespace aimset
