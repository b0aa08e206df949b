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
#include <QTest>

#include <gtest/gtest.h>

namespace aimset::test {

// A manager on the virtual loop and the recording fakes, and one panel view
// loaded from the application's resources observing it.
struct ViewRig {
    LogCapture log;
    VirtualMainLoop loop;
    FakePanelHost panels;
    FakeFrontTabCloser keys;
    TabCloser tabCloser{keys};
    FakeSecretStore secrets;
    UsageStore usage{secrets};
    InterventionManager manager{loop, panels, tabCloser, usage,
                                [](std::function<void()> task) { task(); }};
    QmlWindowRig rig;

    void load(const QString& name) {
        rig.load(name, {{QStringLiteral("manager"), QVariant::fromValue(&manager)}},
                 QSize(420, 280));
    }

    void click(QQuickItem* target) {
        const QPointF centre =
            target->mapToScene(QPointF(target->width() / 2, target->height() / 2));
        QTest::mouseClick(&rig.window, Qt::LeftButton, {}, centre.toPoint());
    }

    // Lays out and draws what the manager changed, then finds the item.
    QQuickItem* item(const char* objectName) {
        rig.window.grabWindow();
        auto* found = rig.root->findChild<QQuickItem*>(QString::fromLatin1(objectName));
        EXPECT_TRUE(found) << objectName;
        return found;
    }
    static QString text(QQuickItem* item) { return item->property("text").toString(); }
};

} // namespace aimset::test
