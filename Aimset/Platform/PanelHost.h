#pragma once

#include <QObject>
#include <QSize>
#include <QString>

#include <memory>

namespace aimset {

// Where a floating panel appears on the screen the user works on.
enum class PanelPlacement {
    centred,   // the desktop's usual centred spot
    topCentre, // horizontally centred, its top edge 20 points below the usable area's top
};

struct PanelRequest {
    // The view to draw, by its QML type name ("ClarifyingQuestionView", ...).
    QString view;
    // The component the view observes; it must outlive the panel.
    QObject* model = nullptr;
    // Content size in points; an empty size lets the view take its own size.
    QSize size;
    PanelPlacement placement = PanelPlacement::centred;
};

// One panel on screen; destroying it takes it away.
class FloatingPanel {
public:
    virtual ~FloatingPanel() = default;
};

// Small borderless panels above every window on every desktop that take clicks
// but never activate this app nor take the front from the user's application.
class PanelHost {
public:
    virtual ~PanelHost() = default;
    // A fresh panel per call; the host never reuses one.
    virtual std::unique_ptr<FloatingPanel> presentPanel(const PanelRequest& request) = 0;
};

} // namespace aimset
