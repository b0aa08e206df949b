#pragma once

#include "SimulatedDesktop.h"
#include "SimulatedScreen.h"
#include "SimulatorPorts.h"

#include "Runtime/Log.h"

#include <QByteArray>
#include <QString>

#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>

namespace aimset {

// A scenario line that cannot be run: malformed, an unknown step, or a step
// the simulated desktop cannot apply. line counts from 1.
class ScenarioError : public std::runtime_error {
public:
    ScenarioError(int line, const QString& message);
    int line() const { return m_line; }
    QString message() const { return m_message; }

private:
    int m_line;
    QString m_message;
};

// Runs the real app (ContentView and every component) over the simulated
// desktop, driven by a scenario of JSON Lines, and writes what the app logs
// and what it does to the desktop as output lines.
class Simulator {
public:
    struct Options {
        // Prefix every output line with the virtual time ("12.500 ").
        bool timestamps = false;
    };

    Simulator(SimulatorOutput output, Options options);
    ~Simulator();
    Simulator(const Simulator&) = delete;
    Simulator& operator=(const Simulator&) = delete;

    // Checks the whole scenario first, then runs it to its end. Throws
    // ScenarioError for the first line that is malformed or names an unknown
    // step (before anything runs), or for a step that cannot be applied.
    void run(const QByteArray& scenario);

    // Virtual time as the output writes it: seconds with three decimals.
    static QString formatTime(MainLoop::Duration time);

    // For tests and tools that look inside after a run.
    SimulatedDesktop& desktop() { return m_desktop; }
    ContentView* view() { return m_view.get(); }

private:
    struct Step {
        int line = 0;
        std::optional<MainLoop::Duration> at;
        bool isSetup = false;
        std::function<void()> apply;
    };
    Step parseStep(int line, const QByteArray& text, std::optional<MainLoop::Duration>& lastAt);
    std::function<void()> parseAction(int line, const QString& kind, const QJsonValue& value,
                                      const QJsonObject& object, bool& isSetup);
    void launch();
    void emitLine(const QString& text);
    void press(const QString& label);
    void pressReturn(const QString& field);
    void type(const QString& field, const QString& text);
    void setGoal(int index);
    void snapshot();
    void notOnScreen(const QString& what);

    SimulatorOutput m_output;
    Options m_options;
    SimulatedDesktop m_desktop;
    SimulatedScreen m_screen;
    ScriptedHttpClient m_http;
    PrintingPanelHost m_panels;
    PrintingFrontTab m_frontTab;
    // The answers the platform gives to speech access: a status as the
    // scenario numbers it (3 authorised) and the microphone's.
    int m_speechStatus = 3;
    bool m_microphoneGranted = true;
    LogSink m_previousSink;
    std::unique_ptr<ContentView> m_view;
    bool m_ended = false;
};

} // namespace aimset
