#pragma once

#include "AlignmentVerdict.h"
#include "Platform/PlatformAppLists.h"
#include "Platform/Workspace.h"
#include "Runtime/MainLoop.h"

#include <QHash>
#include <QObject>
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

    bool isTemporaryAimset() const { return m_isTemporaryAimset; }
    QString userAimset() const { return m_userAimset; }
    // The window an intervention on screen is about; empty when none is.
    QString interventionAppName() const { return m_intervention.appName; }
    QString interventionWindowTitle() const { return m_intervention.title; }

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

signals:
    void aligned();
    void unclear(const QString& question, const QString& reason);
    void misaligned(const QString& reason);
    // The user left the window an intervention is about, or switched apps.
    void windowChanged();
    void isTemporaryAimsetChanged();

private:
    // A window as the desktop shows it; what a verdict is about.
    struct Window {
        QString appName;
        QString bundleID;
        std::int32_t pid = 0;
        QString title;
        bool operator==(const Window&) const = default;
        // The same window as far as the user can tell: its name and title.
        bool looksLike(const Window& other) const {
            return appName == other.appName && title == other.title;
        }
    };
    // One check under way: the window, and the session and aimset it was asked in.
    struct CheckedWindow {
        QString aimset;
        Window window;
        QString key;
        std::uint64_t session = 0;
        MainLoop::Duration startedAt{0};
    };
    // A window whose check failed: asked again once due, while it stays in front.
    struct Retry {
        Window window;
        MainLoop::Duration due{0};
        MainLoop::Duration delay{0};
    };

    Window windowOf(const RunningApplication& app);
    static void logWindow(const Window& window);
    std::optional<Window> readFrontWindow();
    void report(const Window& window, const AlignmentVerdict& verdict);
    void applyTitleAnswer(const CheckedWindow& window, std::optional<bool> aligned);
    void applyWindowText(const CheckedWindow& window, std::optional<QString> text);
    void applyTextAnswer(const CheckedWindow& window, std::optional<AlignmentVerdict> verdict);
    bool isStillJudging(const CheckedWindow& window);
    void retryLater(const CheckedWindow& window, const QString& failure);
    void resetChecks();
    TimerHandle makePollTimer(MainLoop::Duration interval);

    MainLoop& m_loop;
    Workspace& m_workspace;
    Accessibility& m_accessibility;
    AlignmentChecker& m_checker;

    QString m_originalAimset;
    bool m_isTemporaryAimset = false;

    // Present exactly while monitoring.
    std::optional<Workspace::ObserverToken> m_observer;
    bool m_hasPromptedThisSession = false;
    TimerHandle m_pollTimer;
    MainLoop::Duration m_pollInterval{0};
    // True while the poll timer's own tick runs: its next tick is one interval away.
    bool m_inPollTick = false;
    QHash<QString, AlignmentVerdict> m_alignmentCache;
    const QStringList m_allowedBundleIDs;
    // Counts sessions, so that an answer knows whether its own still runs.
    std::uint64_t m_session = 0;
    std::optional<Retry> m_retry;
    // The window of the last verdict reported, and the one an intervention is about.
    Window m_judgedWindow;
    Window m_intervention;
    Window m_lastChecked;
    QString m_userAimset;
};

} // namespace aimset
