#pragma once

#include "Platform/Fake/FakeAccessibility.h"
#include "Platform/Fake/FakeFrontTabCloser.h"
#include "Platform/Fake/FakeHttpClient.h"
#include "Platform/Fake/FakePanelHost.h"
#include "Platform/Fake/FakeSecretStore.h"
#include "Platform/Fake/FakeSpeechRecognizer.h"
#include "Platform/Fake/FakeUserDefaults.h"
#include "Platform/Fake/FakeVoiceChord.h"
#include "Platform/Fake/FakeWorkspace.h"
#include "Runtime/VirtualMainLoop.h"
#include "Session/ContentView.h"

namespace aimset {

// Every port of the app as a recording fake on one virtual loop: the whole
// app runs on it in virtual time. Background work runs inline, so every
// ordering is deterministic.
struct SimulatedDesktop {
    static inline const QUrl checkServiceURL{QStringLiteral("https://align.example/check")};

    VirtualMainLoop loop;
    FakeWorkspace workspace;
    FakeAccessibility accessibility{&loop};
    FakeHttpClient http;
    FakePanelHost panels;
    FakeFrontTabCloser frontTab;
    FakeVoiceChord voiceChord;
    FakeSecretStore secrets;
    FakeUserDefaults defaults;
    FakeSpeechRecognizer speech;

    Desktop desktop() {
        return Desktop{loop,
                       workspace,
                       accessibility,
                       http,
                       panels,
                       frontTab,
                       voiceChord,
                       secrets,
                       defaults,
                       speech,
                       {},
                       checkServiceURL,
                       [](std::function<void()> work) { work(); }};
    }
};

} // namespace aimset
