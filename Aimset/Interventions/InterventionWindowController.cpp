#include "InterventionWindowController.h"

namespace aimset {

void InterventionWindowController::showQuestionPanel(QObject* manager) {
    presentPanel(QStringLiteral("ClarifyingQuestionView"), manager, questionPanelSize);
}

void InterventionWindowController::showCountdownPanel(QObject* manager) {
    presentPanel(QStringLiteral("MisalignedCountdownView"), manager, countdownPanelSize);
}

void InterventionWindowController::hidePanel() {
    m_panel.reset();
}

void InterventionWindowController::presentPanel(const QString& view, QObject* manager, QSize size) {
    // Never two panels: the old one goes before the new one comes.
    hidePanel();
    m_panel = m_host.presentPanel(PanelRequest{view, manager, size, PanelPlacement::centred});
}

} // namespace aimset
