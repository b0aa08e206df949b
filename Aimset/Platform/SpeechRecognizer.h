#pragma once

#include <QString>

#include <functional>
#include <optional>

namespace aimset {

// Whether speech can be recognised from the microphone.
enum class SpeechAvailability {
    notDetermined, // nobody has asked yet
    available,
    denied,       // the user refused speech recognition
    noModel,      // nothing on this machine recognises US English
    noMicrophone, // speech is allowed, the microphone was refused
};

// US English spoken into the microphone, recognised on this machine: the
// audio never leaves it. One recording at a time.
class SpeechRecognizer {
public:
    // Called on any thread while a recording runs.
    struct Listener {
        // Everything heard so far; each call replaces the one before.
        std::function<void(const QString& text)> heard;
        // Something went wrong; the recording goes on.
        std::function<void(const QString& description)> failed;
    };

    virtual ~SpeechRecognizer() = default;

    // What is known now, without asking the user or loading a model.
    virtual SpeechAvailability availability() = 0;
    // Asks the user where this desktop asks. The answer may arrive on any thread.
    virtual void requestAccess(std::function<void(SpeechAvailability)> answer) = 0;
    // Starts recording and recognising; returns why it could not (then nothing runs).
    virtual std::optional<QString> startListening(Listener listener) = 0;
    // Ends the recording at once: the listener hears nothing after this returns.
    virtual void stopListening() = 0;
};

} // namespace aimset
