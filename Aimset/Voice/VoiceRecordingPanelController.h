#pragma once

#include "Platform/PanelHost.h"

#include <memory>

namespace aimset {

class VoiceAimsetManager;

// Owns the floating "Listening..." indicator shown while the user speaks: a
// fresh panel for every recording at the top centre of the screen, dropped at
// its end. Lives on the main thread.
class VoiceRecordingPanelController {
public:
    static constexpr const char* viewName = "VoiceRecordingIndicatorView";

    explicit VoiceRecordingPanelController(PanelHost& host);

    // Shows the indicator for manager, replacing any panel already shown.
    void show(VoiceAimsetManager& manager);
    // Takes the panel away; does nothing if there is none.
    void hide();

private:
    PanelHost& m_host;
    std::unique_ptr<FloatingPanel> m_panel;
};

} // namespace aimset
