#pragma once

#include "LaunchModal.h"
#include "Runtime/Timeline.h"

#include <QObject>
#include <QStringList>

namespace aimset {

// The help card behind the main window's "?" button: which of its five pages
// shows, page 1's stage, and the demonstration of what is on screen. Each
// demonstration is a table played by one Timeline; leaving a page or stage
// replaces or stops it at once. The demonstrations touch no other component.
// Drawn by HelpOverlay.qml.
class HelpPages : public QObject {
    Q_OBJECT
    Q_PROPERTY(int helpPage READ helpPage NOTIFY helpPageChanged)
    Q_PROPERTY(int helpStage READ helpStage NOTIFY helpStageChanged)
    // The fields of the demonstration's table (their defaults are in the
    // .cpp), as a map QML reads by name.
    Q_PROPERTY(QVariant demo READ demo NOTIFY demoChanged)
    Q_PROPERTY(QStringList goalLabels READ goalLabels CONSTANT)

public:
    static constexpr int pageCount = 5;

    explicit HelpPages(MainLoop& loop, QObject* parent = nullptr);

    int helpPage() const { return m_helpPage; }
    int helpStage() const { return m_helpStage; }
    QVariant demo() const { return m_demo.state(); }
    static QStringList goalLabels() { return LaunchModal::goalLabels(); }

    // The card came on screen: its current page (page 0 after a close) starts;
    // it left: everything stops. Unlike closeHelp, does not emit closed.
    void setOpen(bool open);

    // The arrows: +1 next, -1 back (any positive or negative value counts as
    // that direction; 0 does nothing). On page 1 they walk its stages first.
    Q_INVOKABLE void navigateHelp(int direction);
    // The card's close button and a click on the scrim.
    Q_INVOKABLE void closeHelp();

signals:
    // The user closed the card: the owner hides the help overlay.
    void closed();
    void helpPageChanged();
    void helpStageChanged();
    void demoChanged();

private:
    void goTo(int page, int stage);
    void playDemo();
    void nextExample();

    Timeline m_demo;
    bool m_isOpen = false;
    int m_helpPage = 0;
    int m_helpStage = -1;
    int m_typingExampleIndex = 0;
};

} // namespace aimset
