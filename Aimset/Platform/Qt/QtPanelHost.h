#pragma once

#include "Platform/PanelHost.h"

#include <QMargins>
#include <QPointer>
#include <QQmlEngine>
#include <QQuickItem>
#include <QQuickWindow>
#include <QRect>

#include <functional>
#include <memory>

namespace aimset {

// The window of one floating panel: the view (its card) and, where the
// desktop composites, a soft shadow around it in a transparent margin.
class PanelWindow final : public QQuickWindow {
    Q_OBJECT

public:
    // Takes the view, and owns it from then on.
    PanelWindow(QQuickItem* view, bool translucent);
    ~PanelWindow() override;

    QQuickItem* view() const { return m_view; }
    // Only a translucent window casts a shadow of its own.
    bool isTranslucent() const { return !m_shadow.isNull(); }
    // The transparent margin around the card that holds the shadow (none
    // when the window is opaque and cut to the card's shape instead).
    QMargins shadowMargins() const;
    // The card's size; the window is that plus the shadow's margins.
    QSize cardSize() const { return m_view->size().toSize(); }
    void setCardSize(QSize card);

private:
    QPointer<QQuickItem> m_view;
    QPointer<QQuickItem> m_shadow;
};

// Floating panels as fresh Qt Quick windows of the view's QML type:
// frameless tool windows that stay on top, bypass the window manager (nothing
// stacks them under a full-screen window) and never take the keyboard focus,
// so the user's application stays in front while the buttons take clicks.
class QtPanelHost final : public PanelHost {
public:
    // Null, with a log line, when the view cannot be loaded.
    std::unique_ptr<FloatingPanel> presentPanel(const PanelRequest& request) override;

    // Where a panel of this size goes within the screen's usable area.
    static QRect placement(const QRect& available, QSize size, PanelPlacement placement);

    // What a desktop backend adds to every panel: once its native window
    // exists but before it is shown, and right after it is shown.
    std::function<void(QWindow& window)> beforeShow;
    std::function<void(QWindow& window)> afterShow;
    // Whether windows can be translucent now (a compositor runs), asked per
    // panel: then it casts its own shadow, else it is cut to the card's shape.
    std::function<bool()> isTranslucent;

private:
    QQmlEngine m_engine;
    // Every window not yet deleted: they go before the engine they need.
    QObject m_windows;
};

} // namespace aimset
