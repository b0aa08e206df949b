#include "Interventions/TabCloser.h"

#include "Platform/Fake/FakeFrontTabCloser.h"
#include "support/LogCapture.h"
#include "support/QtPrinters.h"

#include <gtest/gtest.h>

using namespace aimset;
using namespace Qt::StringLiterals;
using Result = FrontTabCloser::Result;

TEST(TabCloserTest, LogsWhatTheDesktopDid) {
    const struct {
        Result result;
        QString line;
    } cases[] = {
        {Result::sent, u"[TabCloser] Sent Ctrl+W via XTest"_s},
        {Result::unreachable, u"[TabCloser] Failed to reach XTest"_s},
        {Result::noKeys, u"[TabCloser] Failed to create the Ctrl+W key events"_s},
    };
    for (const auto& c : cases) {
        test::LogCapture log;
        FakeFrontTabCloser frontTab;
        frontTab.result = c.result;
        TabCloser(frontTab).closeCurrentTab();
        EXPECT_EQ(log.lines(), QStringList{c.line});
        EXPECT_EQ(frontTab.requests, 1);
    }
}
