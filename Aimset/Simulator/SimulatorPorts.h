#pragma once

#include "Platform/Fake/FakeFrontTabCloser.h"
#include "Platform/Fake/FakePanelHost.h"
#include "Platform/HttpClient.h"
#include "Runtime/MainLoop.h"
#include "SimulatedScreen.h"

#include <QByteArray>
#include <QString>

#include <functional>
#include <optional>
#include <vector>

// The ports the simulator puts in front of the recording fakes: they print
// what the app does to the desktop and answer the app as the scenario says.
namespace aimset {

// Receives one output line of the simulator (without a trailing newline).
using SimulatorOutput = std::function<void(const QString& line)>;

// How the alignment service answers one kind of request.
struct ServiceRule {
    QString mode;
    // Requests whose context (title, text) or window title (expand) holds
    // this text; none matches every request of the mode.
    std::optional<QString> contains;
    int status = 200;
    QByteArray body;
    MainLoop::Duration delay{0};
    // A transport failure of this description instead of an answer.
    std::optional<QString> failure;
};

// The alignment service as a script: every request is printed as
// "# http MODE BODY" and answered by the newest rule that matches it.
class ScriptedHttpClient final : public HttpClient {
public:
    static inline const QString timedOutDescription = QStringLiteral("The request timed out.");
    static inline const QString noAnswerDescription = QStringLiteral("no scripted answer");

    ScriptedHttpClient(MainLoop& loop, SimulatorOutput output);
    void send(const HttpRequest& request, Completion completion) override;

    void addRule(ServiceRule rule) { m_rules.push_back(std::move(rule)); }

private:
    const ServiceRule* ruleFor(const QString& mode, const QString& subject) const;

    MainLoop& m_loop;
    SimulatorOutput m_output;
    std::vector<ServiceRule> m_rules;
};

// Panels as "# panel show KIND WxH" and "# panel hide KIND" lines.
// Each panel's real view is on the simulated screen while it shows.
class PrintingPanelHost final : public PanelHost {
public:
    PrintingPanelHost(FakePanelHost& fake, SimulatedScreen& screen, SimulatorOutput output);
    std::unique_ptr<FloatingPanel> presentPanel(const PanelRequest& request) override;

    // "question", "countdown" or "voice" for the view a panel draws.
    static QString kindOf(const QString& view);

private:
    FakePanelHost& m_fake;
    SimulatedScreen& m_screen;
    SimulatorOutput m_output;
};

// A tab closed by the chord prints the keys it is made of, as
// "# key 13 down 0x100000" and "# key 13 up 0x100000" (W with Command).
class PrintingFrontTab final : public FrontTabCloser {
public:
    PrintingFrontTab(FakeFrontTabCloser& fake, SimulatorOutput output);
    Result closeFrontTab() override;

private:
    FakeFrontTabCloser& m_fake;
    SimulatorOutput m_output;
};

} // namespace aimset
