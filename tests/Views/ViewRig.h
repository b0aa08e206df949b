#pragma once

#include "Interventions/InterventionManager.h"
#include "Interventions/TabCloser.h"
#include "Interventions/UsageStore.h"
#include "Platform/Fake/FakeFrontTabCloser.h"
#include "Platform/Fake/FakePanelHost.h"
#include "Platform/Fake/FakeSecretStore.h"
#include "QmlWindowRig.h"
#include "Runtime/VirtualMainLoop.h"
#include "support/LogCapture.h"

#include <QQuickItem>

#include <gtest/gtest.h>

namespace aimset::test {

// A manager on the virtual loop and the recording fakes, and one panel view
// loaded from the application's resources observing it.
struct ViewRig : QmlWindowRig {
    LogCapture log;
    VirtualMainLoop loop;
    FakePanelHost panels;
    FakeFrontTabCloser keys;
    TabCloser tabCloser{keys};
    FakeSecretStore secrets;
    UsageStore usage{secrets};
    InterventionManager manager{loop, panels, tabCloser, usage,
                                [](std::function<void()> task) { task(); }};
    // The view goes before the manager it observes.
    ~ViewRig() { root.reset(); }

    void load(const QString& name) {
        QmlWindowRig::load(name, {{QStringLiteral("manager"), QVariant::fromValue(&manager)}},
                           QSize(420, 280));
    }
};

} // namespace aimset::test
