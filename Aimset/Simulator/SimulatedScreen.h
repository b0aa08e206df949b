#pragma once

#include <QPointer>
#include <QQmlEngine>
#include <QQuickItem>
#include <QQuickWindow>
#include <QString>
#include <QStringList>

#include <memory>
#include <vector>

class QObject;

namespace aimset {

class ContentView;
class SettlingAnimations;

// The app's real views (the Aimset.Views module), made offscreen and never
// drawn: the main window over the ContentView, and a view per panel the app
// shows. It reads what they show and presses what they offer, as a person
// would. Their animations run to their end whenever the screen is read or
// touched, so what it reads is what the screen settles to at that moment.
class SimulatedScreen {
public:
    SimulatedScreen();
    ~SimulatedScreen();
    SimulatedScreen(const SimulatedScreen&) = delete;
    SimulatedScreen& operator=(const SimulatedScreen&) = delete;

    void showMainWindow(ContentView& view);
    // Takes the main window away (before the ContentView it draws goes).
    void closeMainWindow();

    // A panel's view (a QML type name) drawing model; null, with the
    // component's errors on standard error, when it cannot be made.
    QQuickItem* openPanel(const QString& view, QObject* model, QSize size);
    void closePanel(QQuickItem* panel);

    // The visible texts of the main window and then of each open panel, each
    // window's in the order its views lay them out.
    QStringList texts();
    // Clicks the button showing label, if one is on screen, enabled and not
    // covered by a layer in front of it; false when there is none.
    bool press(const QString& label);
    // The control of that object name (a field, a slider) a person can reach
    // now, or null.
    QQuickItem* control(const QString& objectName);

    // Lets what changed take effect: finished animations, unloaded views.
    void settle();

private:
    bool reachable(QQuickItem* item) const;

    std::unique_ptr<SettlingAnimations> m_animations;
    QQmlEngine m_engine;
    QQuickWindow m_window;
    std::unique_ptr<QQuickItem> m_main;
    std::vector<QPointer<QQuickItem>> m_panels;
};

} // namespace aimset
