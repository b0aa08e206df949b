#pragma once

#include "Platform/PanelHost.h"

#include <QList>
#include <QPointer>
#include <QRect>
#include <QUrl>

#include <functional>
#include <memory>

class QQmlEngine;
class QQuickView;
class QWindow;

namespace aimset {

// Floating panels as Qt Quick windows: frameless tool windows that stay on
// top and never take the keyboard focus, so showing one neither activates
// this application nor takes the front position from the user's
// application, while its buttons still take clicks. Every panel is a fresh
// window; the views come from viewsBase + view + ".qml". Main thread only;
// needs a QGuiApplication.
class QtPanelHost final : public PanelHost {
public:
    static const QUrl defaultViewsBase;

    explicit QtPanelHost(QUrl viewsBase = defaultViewsBase);
    ~QtPanelHost() override;

    // Null, with a log line, when the view cannot be loaded.
    std::unique_ptr<FloatingPanel> presentPanel(const PanelRequest& request) override;

    // Where a panel of this size goes within the screen's usable area.
    static QRect placement(const QRect& available, QSize size, PanelPlacement placement);

    // What a desktop backend adds to every panel: once its native window
    // exists but before it is shown, and right after it is shown.
    using WindowHook = std::function<void(QWindow& window)>;
    void setWindowHooks(WindowHook beforeShow, WindowHook afterShow);

private:
    QUrl m_viewsBase;
    WindowHook m_beforeShow;
    WindowHook m_afterShow;
    std::unique_ptr<QQmlEngine> m_engine;
    // Every window made and not yet deleted; they go with the host, since
    // they cannot outlive its engine.
    QList<QPointer<QQuickView>> m_views;
};

} // namespace aimset
