#include "Onboarding/OnboardingFlow.h"
#include "Platform/Fake/FakeAccessibility.h"
#include "Platform/Fake/FakeDesktopExtension.h"
#include "Runtime/VirtualMainLoop.h"
#include "support/QtPrinters.h"

#include <gtest/gtest.h>

using namespace aimset;
using namespace std::chrono_literals;
using namespace Qt::StringLiterals;

namespace {

// When each page's "Next" comes, from the moment the page is shown.
constexpr std::chrono::milliseconds pageEnds[] = {5900ms, 15200ms, 4735ms};

// A flow on its own loop, counting its completions.
struct Flow {
    VirtualMainLoop loop;
    FakeAccessibility accessibility;
    OnboardingFlow view{loop, accessibility};
    int completions = 0;

    Flow() {
        QObject::connect(&view, &OnboardingFlow::completed, [this] { ++completions; });
    }

    // Shows the pages and goes on from each once its sequence is done.
    void reachAccessibilityPage() {
        view.setShown(true);
        for (const auto pageEnd : pageEnds) {
            loop.advance(pageEnd);
            view.next();
        }
        ASSERT_EQ(view.currentPage(), 3);
    }
};

struct OnboardingFlowTest : ::testing::Test, Flow {};

// ---- the pages ----------------------------------------------------------------------------------

// Hidden, the pages stop; shown again, they start over. (What dies with
// the flow are its timeline's and timers' handles, which their own tests show.)
TEST_F(OnboardingFlowTest, ShownAgainThePagesRestartAndHiddenTheyStop) {
    view.setShown(true);
    loop.advance(3s);
    view.setShown(false);
    EXPECT_EQ(loop.scheduledTimerCount(), 0u);
    view.setShown(true);
    EXPECT_EQ(view.demo().toMap()[u"countdownValue"_s], 7);
    EXPECT_EQ(view.demo().toMap()[u"showHeadline"_s], false);
}

// ---- the accessibility step -------------------------------------------------------------------

// Steps on the accessibility page from a fresh flow: "press" the button,
// "trust" the app, "leave" the page, go on with "titles" alone, or seconds
// to let pass. Access is off until trusted; the timers left are the
// polling and the pause before the end.
TEST_F(OnboardingFlowTest, EachWayThroughTheAccessibilityStep) {
    const struct {
        QString steps;
        int completions;
        int trustChecks;
        int prompts;
        bool done; // the button reads "Done"
        std::size_t timers;
    } cases[] = {
        // Already trusted: finished at once without a prompt, and for good.
        {u"trust press press 5"_s, 1, 1, 0, false, 0},
        // Polled each second; access arriving shows "Done", the end 300 ms later.
        {u"press 3.5 trust 0.799"_s, 0, 5, 1, true, 1},
        {u"press 3.5 trust 0.8 5"_s, 1, 5, 1, true, 0},
        // Pressing "Done" during the pause, or leaving then, completes once.
        {u"press trust 1.1 press 1"_s, 1, 3, 1, true, 0},
        {u"press trust 1.1 leave 0.2"_s, 1, 2, 1, true, 0},
        // Polling gives up after 120 polls; each press prompts and polls anew.
        {u"press 119"_s, 0, 120, 1, false, 1},
        {u"press 120 600"_s, 0, 121, 1, false, 0},
        {u"press 100 press 120"_s, 0, 2 + 100 + 120, 2, false, 0},
        {u"press 120 trust 10"_s, 0, 121, 1, false, 0},
        {u"press 120 trust 10 press"_s, 1, 122, 1, false, 0},
        // Leaving the page stops polling.
        {u"press 5 leave trust 5"_s, 0, 6, 1, false, 0},
        // Titles alone, once the desktop has answered the request.
        {u"press titles"_s, 0, 1, 1, false, 1},
        {u"press 1 titles"_s, 1, 2, 1, false, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.steps.toStdString());
        Flow flow;
        flow.reachAccessibilityPage();
        flow.accessibility.trusted = false;
        for (const QString& step : c.steps.split(u' ')) {
            if (step == u"press"_s) {
                flow.view.enableAccessibility();
            } else if (step == u"trust"_s) {
                flow.accessibility.trusted = true;
            } else if (step == u"leave"_s) {
                flow.view.setShown(false);
            } else if (step == u"titles"_s) {
                flow.view.continueWithTitlesOnly();
            } else {
                flow.loop.advance(std::chrono::milliseconds(qRound(step.toDouble() * 1000)));
            }
        }
        EXPECT_EQ(flow.completions, c.completions);
        EXPECT_EQ(flow.accessibility.calls.count(u"isProcessTrusted"_s), c.trustChecks);
        EXPECT_EQ(flow.accessibility.calls.count(u"requestTrustWithPrompt"_s), c.prompts);
        EXPECT_EQ(flow.view.permissionButtonTitle(), c.done ? u"Done"_s : u"Enable Aimset"_s);
        EXPECT_EQ(flow.loop.scheduledTimerCount(), c.timers);
    }
}

// ---- the desktop extension, switched on with access -------------------------------------------

// From each state of the extension: what switching it on answers (nothing
// when it is not asked), how the note under the button opens before and
// after, and whether the onboarding ends by itself once access and the
// extension are on; otherwise "Done" waits to be pressed.
TEST(OnboardingExtensionTest, EnableAimsetAlsoSwitchesOnTheExtension) {
    using enum DesktopExtension::State;
    const QString offNote = u"Under Wayland, GNOME"_s;
    const QString missingNote = u"Aimset's GNOME Shell"_s;
    const struct {
        DesktopExtension::State before;
        std::optional<DesktopExtension::State> answer;
        QString noteBefore;
        QString noteAfter;
        bool endsByItself;
    } cases[] = {
        {off, running, offNote, {}, true},
        {off, nextLogin, offNote, u"Log out and"_s, false},
        {off, unavailable, offNote, missingNote, false},
        {running, std::nullopt, {}, {}, true},
        {unavailable, std::nullopt, missingNote, missingNote, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(&c - cases);
        Flow flow;
        FakeDesktopExtension extension;
        extension.current = c.before;
        flow.view.setDesktopExtension(&extension);
        flow.reachAccessibilityPage();
        EXPECT_EQ(flow.view.extensionNote().section(u' ', 0, 2), c.noteBefore);
        // Access comes while the extension is asked: neither alone ends the step.
        flow.accessibility.trusted = false;
        flow.view.enableAccessibility();
        ASSERT_EQ(extension.pending.size(), c.answer ? 1u : 0u);
        flow.accessibility.trusted = true;
        flow.loop.advance(1100ms);
        if (c.answer) {
            flow.loop.advance(5s);
            EXPECT_EQ(flow.completions, 0);
            extension.answer(*c.answer);
        }
        EXPECT_EQ(flow.view.extensionNote().section(u' ', 0, 2), c.noteAfter);
        EXPECT_EQ(flow.view.permissionButtonTitle(), u"Done"_s);
        flow.loop.advance(300ms);
        EXPECT_EQ(flow.completions, c.endsByItself ? 1 : 0);
        flow.view.enableAccessibility();
        EXPECT_EQ(flow.completions, 1);
        EXPECT_TRUE(extension.pending.empty());
    }
}

} // namespace
