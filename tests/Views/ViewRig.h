#pragma once

#include "Interventions/InterventionManager.h"
#include "Interventions/TabCloser.h"
#include "Interventions/UsageStore.h"
#include "Platform/Fake/FakeFrontTabCloser.h"
#include "Platform/Fake/FakePanelHost.h"
#include "Platform/Fake/FakeSecretStore.h"
#include "Runtime/VirtualMainLoop.h"
#include "support/LogCapture.h"

#include <QQmlComponent>
#include <QQmlEngine>
#include <QQuickItem>
#include <QQuickWindow>
#include <QTest>

#include <gtest/gtest.h>

#include <memory>

namespace aimset::test {

// A manager on the virtual loop and the recording fakes, and one view loaded
// from the application's resources observing it.
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
    QQmlEngine engine;
    // The window lays the view out, as the panel's window does.
    QQuickWindow window;
    std::unique_ptr<QQuickItem> view;

    ~ViewRig() { view.reset(); }

    void load(const QString& name) {
        QQmlComponent component(&engine, QUrl(QStringLiteral("qrc:/qt/qml/Aimset/Views/") + name +
                                              QStringLiteral(".qml")));
        // Qt crashes on required properties of a component that failed to load.
        ASSERT_TRUE(component.isReady()) << component.errorString().toStdString();
        std::unique_ptr<QObject> object(component.createWithInitialProperties(
            {{QStringLiteral("manager"), QVariant::fromValue(&manager)}}));
        ASSERT_TRUE(object) << component.errorString().toStdString();
        view.reset(qobject_cast<QQuickItem*>(object.release()));
        ASSERT_TRUE(view);
        view->setParentItem(window.contentItem());
        window.resize(420, 280);
        window.show();
        settle();
    }

    void click(QQuickItem* target) {
        const QPointF centre =
            target->mapToScene(QPointF(target->width() / 2, target->height() / 2));
        QTest::mouseClick(&window, Qt::LeftButton, {}, centre.toPoint());
    }

    // Lets the window lay out and draw what the manager changed.
    void settle() { window.grabWindow(); }

    QQuickItem* item(const char* objectName) {
        settle();
        auto* found = view->findChild<QQuickItem*>(QString::fromLatin1(objectName));
        EXPECT_TRUE(found) << objectName;
        return found;
    }
    static QString text(QQuickItem* item) { return item->property("text").toString(); }
};

} // namespace aimset::test
