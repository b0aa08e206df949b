#pragma once

#include "Platform/PanelHost.h"

#include <QObject>

#include <memory>

namespace aimset {

// Puts the intervention in front of the user: one floating panel that takes
// clicks without activating this application or taking the front position
// from the user's application. Every show builds a fresh panel; every hide
// drops it. The views observe the model themselves, so the controller never
// touches a panel while it is shown.
class InterventionWindowController {
public:
    static constexpr QSize questionPanelSize{420, 250};
    static constexpr QSize countdownPanelSize{420, 280};

    explicit InterventionWindowController(PanelHost& host)
        : m_host(host) {}

    void showQuestionPanel(QObject* manager);
    void showCountdownPanel(QObject* manager);
    void hidePanel();

    bool hasPanel() const { return static_cast<bool>(m_panel); }

private:
    void presentPanel(const QString& view, QObject* manager, QSize size);

    PanelHost& m_host;
    std::unique_ptr<FloatingPanel> m_panel;
};

} // namespace aimset
