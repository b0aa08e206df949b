#include "Platform/Linux/Speech/PocketSphinxRecognizer.h"

#include "support/LogCapture.h"
#include "support/SpinUntil.h"
#include "support/audio/PrivatePulseAudio.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <mutex>
#include <thread>

using namespace aimset;
using namespace aimset::test;
using namespace std::chrono_literals;
using namespace Qt::StringLiterals;

namespace {

// Decoding runs at about real time on a busy machine: waits for an outcome
// are bounded by kDecoding, never slept through.
constexpr auto kDecoding = 120s;

// Everything a recording's listener heard, in order, and whether any of it
// came on the main thread.
struct Heard {
    std::mutex mutex;
    QStringList events;
    bool onMainThread = false;

    SpeechRecognizer::Listener listener() {
        auto add = [this, mainThread = std::this_thread::get_id()](const QString& event) {
            std::lock_guard lock(mutex);
            events << event;
            onMainThread = onMainThread || std::this_thread::get_id() == mainThread;
        };
        return {[add](const QString& text) { add(u"heard: "_s + text); },
                [add](const QString& error) { add(u"failed: "_s + error); }};
    }
    QStringList take() {
        std::lock_guard lock(mutex);
        return std::exchange(events, {});
    }
    QString latest() {
        std::lock_guard lock(mutex);
        return events.value(events.size() - 1);
    }
};

const PocketSphinxRecognizer::Model kMissingModel{
    u"/nonexistent/en-us"_s, u"/nonexistent/en-us.lm.bin"_s, u"/nonexistent/cmudict-en-us.dict"_s};

TEST(PocketSphinxRecognizerTest, AvailabilityIsTheModelsFilesAndCostsNoLoad) {
    LogCapture log;
    // Files that are there but would not load: nothing tries to.
    QTemporaryDir dir;
    for (const QString& name : {u"en-us/mdef"_s, u"en-us.lm.bin"_s, u"en-us.dict"_s}) {
        ASSERT_TRUE(writeFile(dir.filePath(name), {}));
    }
    PocketSphinxRecognizer speech(
        {dir.filePath(u"en-us"_s), dir.filePath(u"en-us.lm.bin"_s), dir.filePath(u"en-us.dict"_s)});
    PocketSphinxRecognizer missing(kMissingModel);
    for (auto [recognizer, availability] : {std::pair{&speech, SpeechAvailability::available},
                                            {&missing, SpeechAvailability::noModel}}) {
        EXPECT_EQ(recognizer->availability(), availability);
        std::optional<SpeechAvailability> answer;
        recognizer->requestAccess([&](SpeechAvailability given) { answer = given; });
        EXPECT_EQ(answer, availability);
    }
    EXPECT_EQ(log.take(),
              QStringList{u"[Speech] Could not load the speech model from /nonexistent/en-us"_s});
}

// Qt Multimedia keeps the sound server it first reached (or failed to) for
// the life of the process, so each test that meets one needs a process of its
// own, as CTest gives every test: run them one by one.
TEST(PocketSphinxListeningTest, RecognisesWhatTheMicrophoneHearsAndStopsAtOnce) {
    ASSERT_TRUE(SpeechClips::instance().isReady()) << "flite and sox must make the clips";
    PrivatePulseAudio pulse;
    ASSERT_TRUE(pulse.isRunning());
    const QString phrase = QString::fromLatin1(kPhrase);
    PocketSphinxRecognizer speech;

    Heard heard;
    ASSERT_EQ(speech.startListening(heard.listener()), std::nullopt);
    ASSERT_TRUE(pulse.play(SpeechClips::instance().paddedPhrase()));
    ASSERT_TRUE(spinUntil([&] { return heard.latest() == u"heard: "_s + phrase; }, kDecoding))
        << heard.take().join(u" | "_s).toStdString();
    speech.stopListening();
    const QStringList events = heard.take();
    // The words grow while the audio still arrives.
    EXPECT_GE(events.size(), 3) << events.join(u" | "_s).toStdString();
    EXPECT_TRUE(events.filter(u"failed: "_s).isEmpty()) << events.join(u" | "_s).toStdString();
    EXPECT_FALSE(heard.onMainThread);
    ASSERT_TRUE(spinUntil([&] { return speech.loadedDecoderCount() == 0; }, kDecoding));

    // Stopped while the backlog is still being decoded: nothing more is heard.
    ASSERT_EQ(speech.startListening(heard.listener()), std::nullopt);
    ASSERT_TRUE(pulse.play(SpeechClips::instance().paddedPhrase()));
    speech.stopListening();
    const QStringList atStop = heard.take();
    ASSERT_TRUE(spinUntil([&] { return speech.loadedDecoderCount() == 0; }, kDecoding));
    EXPECT_TRUE(heard.take().isEmpty()) << atStop.join(u" | "_s).toStdString();

    // A model that cannot load says so.
    PocketSphinxRecognizer missing(kMissingModel);
    ASSERT_EQ(missing.startListening(heard.listener()), std::nullopt);
    ASSERT_TRUE(spinUntil([&] { return !heard.latest().isEmpty(); }, kDecoding));
    missing.stopListening();
    EXPECT_EQ(heard.take(), QStringList{u"failed: The speech model could not be loaded"_s});
}

// Every press that needs the microphone fails with a description (the voice
// manager logs it) and loads nothing; a later one tries again.
TEST(PocketSphinxListeningTest, StartingWithoutASoundServerFailsWithADescription) {
    NoSoundServer none;
    PocketSphinxRecognizer speech;
    Heard heard;
    for (int attempt = 0; attempt < 2; ++attempt) {
        EXPECT_EQ(speech.startListening(heard.listener()),
                  u"no audio input device is available (is a sound server running?)"_s);
    }
    EXPECT_EQ(speech.loadedDecoderCount(), 0);
}

} // namespace
