#pragma once

#include "Platform/PanelHost.h"

#include <QStringList>

namespace aimset {

// Records every panel shown and taken away, as lines such as
// "present ClarifyingQuestionView 420x250 centred" and
// "orderOut ClarifyingQuestionView".
class FakePanelHost final : public PanelHost {
public:
    std::unique_ptr<FloatingPanel> presentPanel(const PanelRequest& request) override;

    QStringList calls;
    // When set, also receives every call prefixed with "panel.".
    QStringList* journal = nullptr;
    void record(const QString& call);
    // Panels presented and not yet taken away.
    int panelsOnScreen = 0;
    PanelRequest lastRequest;
};

} // namespace aimset
