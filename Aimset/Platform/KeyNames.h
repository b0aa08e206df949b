#pragma once

#include <QString>

namespace aimset {

// What the keys and mechanisms the app tells the user about are called on
// the desktop it runs on. Views, help texts and log lines all take their
// words from here, so a desktop names its keys in this one place.
struct KeyNames {
    // The modifier held with the letter to speak a new aimset.
    QString modifier;
    // The letter key of the voice gesture.
    QString letter;
    // The chord that closes the front tab.
    QString closeTabChord;
    // How synthesised key presses reach the user's application.
    QString keySynthesis;

    // "Alt+M": the gesture as a log line or a short hint writes it.
    QString hotkey() const { return modifier + QLatin1Char('+') + letter; }

    // The names of the desktop this app runs on; a backend that types another
    // way names it before the app says anything (GNOME types through its shell).
    static KeyNames& desktop() {
        static KeyNames names{QStringLiteral("Alt"), QStringLiteral("M"), QStringLiteral("Ctrl+W"),
                              QStringLiteral("XTest")};
        return names;
    }
};

} // namespace aimset
