#include <QGuiApplication>
#include <QQuickWindow>

#include <gtest/gtest.h>

// Views render without a display: the offscreen platform and Qt Quick's
// software renderer, so the pixels a test reads are the same on every machine.
int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QQuickWindow::setGraphicsApi(QSGRendererInterface::Software);
    QGuiApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
