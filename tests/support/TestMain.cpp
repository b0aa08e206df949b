#include <QCoreApplication>

#include <gtest/gtest.h>

// Every test binary runs with a Qt application object, so adapters that need
// an event loop (network, timers) work as they do in the app.
int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
