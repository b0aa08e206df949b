#pragma once

#include "Platform/DesktopExtension.h"
#include "Runtime/Timeline.h"

#include <QObject>
#include <QString>

namespace aimset {

class Accessibility;

// The first-run pages: three self-playing demonstrations, each a table played
// by one Timeline, and the request for accessibility access. The pages go
// strictly 0, 1, 2, 3, each by its "Next", which shows once the page's table
// has played out; the onboarding ends only through completed, emitted exactly
// once. Drawn by OnboardingView.qml.
class OnboardingFlow : public QObject {
    Q_OBJECT
    Q_PROPERTY(int currentPage READ currentPage NOTIFY currentPageChanged)
    // The fields of the demonstration's table (their defaults are in the
    // .cpp), as a map QML reads by name.
    Q_PROPERTY(QVariant demo READ demo NOTIFY demoChanged)
    // Page 3: accessibility access.
    Q_PROPERTY(bool permissionGranted READ permissionGranted NOTIFY permissionGrantedChanged)
    Q_PROPERTY(
        QString permissionButtonTitle READ permissionButtonTitle NOTIFY permissionGrantedChanged)
    Q_PROPERTY(bool canContinueWithTitlesOnly READ canContinueWithTitlesOnly NOTIFY
                   canContinueWithTitlesOnlyChanged)
    // What the desktop extension is for, or why sessions cannot watch windows
    // yet; empty where none is needed or it runs.
    Q_PROPERTY(QString extensionNote READ extensionNote NOTIFY extensionNoteChanged)

public:
    static constexpr MainLoop::Duration permissionPollInterval{1000};
    static constexpr int maximumPermissionPolls = 120;
    static constexpr MainLoop::Duration doneShownFor{300};

    OnboardingFlow(MainLoop& loop, Accessibility& accessibility, QObject* parent = nullptr);

    // A desktop extension the app needs (GNOME under Wayland): "Enable
    // Aimset" switches it on as well. Where it then waits for the next login
    // or cannot run, the step stays with "Done" until pressed, so the note
    // saying so is read. Set before the step shows; must outlive the flow.
    void setDesktopExtension(DesktopExtension* extension);
    QString extensionNote() const;

    int currentPage() const { return m_currentPage; }
    QVariant demo() const { return m_demo.state(); }
    bool permissionGranted() const { return m_permissionGranted; }
    QString permissionButtonTitle() const;
    // Access was asked for and is still off: the desktop could not switch it
    // on, and the user may go on with window titles alone.
    bool canContinueWithTitlesOnly() const { return m_canContinueWithTitlesOnly; }

    bool isShown() const { return m_isShown; }

    // The onboarding came on screen: the current page's demonstration plays
    // from its beginning; it left: the page stops. A repeat does nothing.
    Q_INVOKABLE void setShown(bool shown);
    // "Next" on pages 0 to 2; does nothing while the button is not shown.
    Q_INVOKABLE void next();
    // Page 3's button, "Enable Aimset" or "Done".
    Q_INVOKABLE void enableAccessibility();
    // Finishes without window text; offered only once access could not be switched on.
    Q_INVOKABLE void continueWithTitlesOnly();

signals:
    // Once, when the accessibility step finishes.
    void completed();
    void currentPageChanged();
    void demoChanged();
    void permissionGrantedChanged();
    void canContinueWithTitlesOnlyChanged();
    void extensionNoteChanged();

private:
    void startPage();
    void stopPage();
    void permissionPollTick();
    void accessGranted();
    void readExtensionState();
    void extensionAnswered(DesktopExtension::State state);
    void finishShortly();
    void finish();

    MainLoop& m_loop;
    Accessibility& m_accessibility;
    Timeline m_demo;

    bool m_isShown = false;
    int m_currentPage = 0;

    bool m_permissionGranted = false;
    bool m_canContinueWithTitlesOnly = false;
    TimerHandle m_permissionPollTimer;
    int m_permissionPollCount = 0;
    TimerHandle m_finishTimer;
    bool m_hasCompleted = false;

    DesktopExtension* m_extension = nullptr;
    DesktopExtension::State m_extensionState = DesktopExtension::State::running;
    bool m_extensionAsked = false;
};

} // namespace aimset
