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
// app makes them. Each line below names the C++ type, then its QML name;
// ContentView's differs, as that is also the name of the view that draws it.
#define AIMSET_QML_TYPE(Type, Name)                                                                \
    struct Name {                                                                                  \
        Q_GADGET                                                                                   \
        QML_FOREIGN(aimset::Type)                                                                  \
        QML_NAMED_ELEMENT(Name)                                                                    \
        QML_UNCREATABLE("made by the app")                                                         \
    };

namespace aimset::qml {

AIMSET_QML_TYPE(ContentView, ContentCoordinator)
AIMSET_QML_TYPE(FocusSession, FocusSession)
AIMSET_QML_TYPE(LaunchModal, LaunchModal)
AIMSET_QML_TYPE(HelpPages, HelpPages)
AIMSET_QML_TYPE(OnboardingFlow, OnboardingFlow)
AIMSET_QML_TYPE(AppMonitor, AppMonitor)
AIMSET_QML_TYPE(InterventionManager, InterventionManager)
AIMSET_QML_TYPE(VoiceAimsetManager, VoiceAimsetManager)

} // namespace aimset::qml
