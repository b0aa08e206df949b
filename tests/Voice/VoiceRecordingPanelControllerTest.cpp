#include "Voice/VoiceRecordingPanelController.h"
#include "Voice/VoiceAimsetManager.h"

#include "Platform/Fake/FakePanelHost.h"
#include "Platform/Fake/FakeSpeechRecognizer.h"
#include "Runtime/VirtualMainLoop.h"
#include "support/QtPrinters.h"

#include <gtest/gtest.h>

#include <optional>

using namespace aimset;
using namespace Qt::StringLiterals;

namespace {

struct VoiceRecordingPanelControllerTest : ::testing::Test {
    VirtualMainLoop loop;
    FakeSpeechRecognizer speech;
    FakePanelHost managerPanels;
    VoiceAimsetManager manager{loop, speech, managerPanels};
    FakePanelHost panels;
    std::optional<VoiceRecordingPanelController> controller{std::in_place, panels};
};

TEST_F(VoiceRecordingPanelControllerTest, ShowsOneIndicatorAtTheTopCentreAndHidesItOnce) {
    controller->hide();
    controller->show(manager);
    EXPECT_EQ(panels.lastRequest.model, &manager);
    EXPECT_TRUE(panels.lastRequest.size.isEmpty());
    EXPECT_TRUE(controller->hasPanel());
    // A second show replaces the panel and never stacks two.
    controller->show(manager);
    EXPECT_EQ(panels.panelsOnScreen, 1);
    controller->hide();
    controller->hide();
    EXPECT_EQ(panels.calls, (QStringList{u"present VoiceRecordingIndicatorView -1x-1 topCentre"_s,
                                         u"orderOut VoiceRecordingIndicatorView"_s,
                                         u"present VoiceRecordingIndicatorView -1x-1 topCentre"_s,
                                         u"orderOut VoiceRecordingIndicatorView"_s}));
    EXPECT_EQ(panels.panelsOnScreen, 0);
    EXPECT_FALSE(controller->hasPanel());
}

TEST_F(VoiceRecordingPanelControllerTest, ReleasingTheControllerTakesItsPanelAway) {
    controller->show(manager);
    controller.reset();
    EXPECT_EQ(panels.panelsOnScreen, 0);
}

} // namespace
