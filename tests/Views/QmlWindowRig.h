#pragma once

#include <QDir>
#include <QImage>
#include <QQmlComponent>
#include <QQmlEngine>
#include <QQuickItem>
#include <QQuickWindow>
#include <QSize>
#include <QTest>
#include <QUrl>
#include <QVariantMap>

#include <gtest/gtest.h>

#include <memory>

namespace aimset::test {

// One view of the application's QML module, filling a window of its own.
struct QmlWindowRig {
    QQmlEngine engine;
    QQuickWindow window;
    std::unique_ptr<QQuickItem> root;

    // The items go before the engine that made them.
    ~QmlWindowRig() { root.reset(); }

    // Loads Aimset/Views/NAME.qml with these initial properties, at size;
    // the test fails when the view cannot be made.
    void load(const QString& name, const QVariantMap& properties, QSize size) {
        QQmlComponent component(&engine, QUrl(QStringLiteral("qrc:/qt/qml/Aimset/Views/") + name +
                                              QStringLiteral(".qml")));
        // Qt crashes on required properties of a component that failed to load.
        ASSERT_TRUE(component.isReady()) << component.errorString().toStdString();
        std::unique_ptr<QObject> object(component.createWithInitialProperties(properties));
        ASSERT_TRUE(object) << component.errorString().toStdString();
        root.reset(qobject_cast<QQuickItem*>(object.release()));
        ASSERT_TRUE(root);
        root->setParentItem(window.contentItem());
        window.resize(size);
        root->setSize(QSizeF(size));
        window.show();
        window.grabWindow();
    }

    // Lets the window lay out and draw what changed.
    void settle() { window.grabWindow(); }
    QQuickItem* item(const char* name) {
        settle();
        auto* found = root->findChild<QQuickItem*>(QString::fromLatin1(name));
        EXPECT_TRUE(found) << name;
        return found;
    }
    QString text(const char* name) {
        QQuickItem* found = item(name);
        return found ? found->property("text").toString() : QString();
    }
    void click(QQuickItem* target) {
        const QPointF centre =
            target->mapToScene(QPointF(target->width() / 2, target->height() / 2));
        QTest::mouseClick(&window, Qt::LeftButton, {}, centre.toPoint());
        settle();
    }
    void click(const char* name) {
        QQuickItem* target = item(name);
        ASSERT_TRUE(target) << name;
        click(target);
    }
    void type(const QString& text) {
        for (const QChar character : text) {
            QTest::keyClick(&window, character.toLatin1());
        }
        settle();
    }

    // Keeps a picture of the window as it is now, for a person to look at,
    // when AIMSET_SCREENSHOT_DIR names a folder.
    void keepPicture(const QString& name) {
        const QImage image = window.grabWindow();
        const QString folder = qEnvironmentVariable("AIMSET_SCREENSHOT_DIR");
        if (!folder.isEmpty()) {
            QDir().mkpath(folder);
            image.save(folder + QLatin1Char('/') + name + QStringLiteral(".png"));
        }
    }
};

} // namespace aimset::test
