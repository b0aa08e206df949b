#include "VoiceRecordingPanelController.h"

#include "VoiceAimsetManager.h"

namespace aimset {

VoiceRecordingPanelController::VoiceRecordingPanelController(PanelHost& host)
    : m_host(host) {}

void VoiceRecordingPanelController::show(VoiceAimsetManager& manager) {
    hide();
    PanelRequest request;
    request.view = QString::fromLatin1(viewName);
    request.model = &manager;
    // The indicator sizes itself; the panel grows with it as the words come.
    request.size = QSize();
    request.placement = PanelPlacement::topCentre;
    m_panel = m_host.presentPanel(request);
}

void VoiceRecordingPanelController::hide() {
    m_panel.reset();
}

} // namespace aimset
