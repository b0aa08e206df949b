#pragma once

#include "Interventions/InterventionManager.h"
#include "Monitoring/AppMonitor.h"
#include "Onboarding/OnboardingFlow.h"
#include "Session/ContentView.h"
#include "Session/FocusSession.h"
#include "Session/HelpPages.h"
#include "Session/LaunchModal.h"
#include "Voice/VoiceAimsetManager.h"

#include <QtQml/qqml.h>

// The components the views draw, as QML types of this module, so that every
// binding to them is typed and checked (qmllint, the QML compiler). Only the
// app makes them. ContentView's QML name differs from its C++ one, which is
// also the name of the view that draws it.
namespace aimset::qml {

struct ContentViewType {
    Q_GADGET
    QML_FOREIGN(aimset::ContentView)
    QML_NAMED_ELEMENT(ContentCoordinator)
    QML_UNCREATABLE("made by the app")
};

struct FocusSessionType {
    Q_GADGET
    QML_FOREIGN(aimset::FocusSession)
    QML_NAMED_ELEMENT(FocusSession)
    QML_UNCREATABLE("made by the app")
};

struct LaunchModalType {
    Q_GADGET
    QML_FOREIGN(aimset::LaunchModal)
    QML_NAMED_ELEMENT(LaunchModal)
    QML_UNCREATABLE("made by the app")
};

struct HelpPagesType {
    Q_GADGET
    QML_FOREIGN(aimset::HelpPages)
    QML_NAMED_ELEMENT(HelpPages)
    QML_UNCREATABLE("made by the app")
};

struct OnboardingFlowType {
    Q_GADGET
    QML_FOREIGN(aimset::OnboardingFlow)
    QML_NAMED_ELEMENT(OnboardingFlow)
    QML_UNCREATABLE("made by the app")
};

struct AppMonitorType {
    Q_GADGET
    QML_FOREIGN(aimset::AppMonitor)
    QML_NAMED_ELEMENT(AppMonitor)
    QML_UNCREATABLE("made by the app")
};

struct InterventionManagerType {
    Q_GADGET
    QML_FOREIGN(aimset::InterventionManager)
    QML_NAMED_ELEMENT(InterventionManager)
    QML_UNCREATABLE("made by the app")
};

struct VoiceAimsetManagerType {
    Q_GADGET
    QML_FOREIGN(aimset::VoiceAimsetManager)
    QML_NAMED_ELEMENT(VoiceAimsetManager)
    QML_UNCREATABLE("made by the app")
};

} // namespace aimset::qml
