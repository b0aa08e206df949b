#include <QGuiApplication>
#include <QQuickWindow>

#include <gtest/gtest.h>

// For test programs that show windows or load QML: a GUI application on the
// offscreen platform (unless the environment names another), drawing with
// the software renderer so that windows can be grabbed without a GPU.
int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QQuickWindow::setGraphicsApi(QSGRendererInterface::Software);
    QGuiApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
