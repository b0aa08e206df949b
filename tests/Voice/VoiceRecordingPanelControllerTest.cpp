#include "Voice/VoiceRecordingPanelController.h"
#include "Voice/VoiceAimsetManager.h"

#include "Platform/Fake/FakeAudioEngine.h"
#include "Platform/Fake/FakePanelHost.h"
#include "Platform/Fake/FakeSpeechService.h"
#include "Runtime/VirtualMainLoop.h"
#include "support/QtPrinters.h"

#include <gtest/gtest.h>

#include <optional>

using namespace aimset;

namespace {

struct VoiceRecordingPanelControllerTest : ::testing::Test {
    VirtualMainLoop loop;
    FakeSpeechService speech;
    FakeAudioEngine audio;
    FakePanelHost managerPanels;
    VoiceAimsetManager manager{loop, speech, audio, managerPanels};
    FakePanelHost panels;
    std::optional<VoiceRecordingPanelController> controller{std::in_place, panels};
};

TEST_F(VoiceRecordingPanelControllerTest,
       ShowsTheIndicatorForTheManagerAtTheTopCentreInItsOwnSize) {
    controller->show(manager);
    EXPECT_EQ(panels.calls,
              QStringList{QStringLiteral("present VoiceRecordingIndicatorView -1x-1 topCentre")});
    EXPECT_EQ(panels.lastRequest.model, &manager);
    EXPECT_TRUE(panels.lastRequest.size.isEmpty());
    EXPECT_TRUE(controller->hasPanel());
}

TEST_F(VoiceRecordingPanelControllerTest, ASecondShowReplacesThePanelAndNeverStacksTwo) {
    controller->show(manager);
    controller->show(manager);
    EXPECT_EQ(panels.panelsOnScreen, 1);
    EXPECT_EQ(panels.calls,
              (QStringList{QStringLiteral("present VoiceRecordingIndicatorView -1x-1 topCentre"),
                           QStringLiteral("orderOut VoiceRecordingIndicatorView"),
                           QStringLiteral("present VoiceRecordingIndicatorView -1x-1 topCentre")}));
}

TEST_F(VoiceRecordingPanelControllerTest, HideOrdersOutOnceAndThenDoesNothing) {
    controller->hide();
    EXPECT_TRUE(panels.calls.isEmpty());
    controller->show(manager);
    controller->hide();
    controller->hide();
    EXPECT_EQ(panels.calls.count(QStringLiteral("orderOut VoiceRecordingIndicatorView")), 1);
    EXPECT_EQ(panels.panelsOnScreen, 0);
    EXPECT_FALSE(controller->hasPanel());
}

TEST_F(VoiceRecordingPanelControllerTest, ReleasingTheControllerTakesItsPanelAway) {
    controller->show(manager);
    controller.reset();
    EXPECT_EQ(panels.panelsOnScreen, 0);
}

} // namespace
