#include "Platform/Linux/Speech/QtAudioEngine.h"
#include "Platform/Linux/Speech/PocketSphinxSpeechService.h"

#include "Platform/Fake/FakePanelHost.h"
#include "PrivatePulseAudio.h"
#include "Runtime/VirtualMainLoop.h"
#include "SpeechTestAudio.h"
#include "Voice/VoiceAimsetManager.h"
#include "support/LogCapture.h"
#include "support/QtPrinters.h"

#include <QCoreApplication>
#include <QProcess>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <mutex>
#include <thread>
#include <utility>

using namespace aimset;
using namespace aimset::test;
using namespace std::chrono_literals;
using namespace Qt::StringLiterals;

namespace {

constexpr auto kLimit = 120s;

template <typename Done> bool waitUntil(Done done, VirtualMainLoop* loop = nullptr) {
    const auto limit = std::chrono::steady_clock::now() + kLimit;
    for (;;) {
        if (loop) {
            loop->runPending();
        }
        if (done()) {
            return true;
        }
        if (std::chrono::steady_clock::now() > limit) {
            return false;
        }
        std::this_thread::sleep_for(10ms);
    }
}

// What a tap received.
struct Captured {
    std::mutex mutex;
    int buffers = 0;
    int frames = 0;
    int loudest = 0;
    QStringList oddities;

    AudioEngine::TapBlock tap() {
        const auto mainThread = std::this_thread::get_id();
        return [this, mainThread](const AudioBuffer& buffer) {
            std::lock_guard lock(mutex);
            ++buffers;
            frames += buffer.frameCount;
            if (std::this_thread::get_id() == mainThread) {
                oddities << u"on the main thread"_s;
            }
            if (buffer.frameCount != 1024 || buffer.data.size() != 2048 ||
                buffer.format != QtAudioEngine::defaultFormat) {
                oddities << u"block of %1 frames, %2 bytes"_s.arg(buffer.frameCount)
                                .arg(buffer.data.size());
            }
            const auto* samples = reinterpret_cast<const std::int16_t*>(buffer.data.constData());
            for (qsizetype i = 0; i < buffer.data.size() / 2; ++i) {
                loudest = std::max(loudest, std::abs(int(samples[i])));
            }
        };
    }
    int frameCount() {
        std::lock_guard lock(mutex);
        return frames;
    }
};

const QString kNoServer = u"no audio input device is available (is a sound server running?)"_s;

class QtAudioEngineTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(SpeechClips::instance().isReady()) << "flite and sox must make the clips";
    }

    // Qt Multimedia keeps the sound server it first reached (or failed to)
    // for the life of the process, so each test meets its own server in a
    // process of its own: the first here, the others in a child running
    // just that test. True when the test ran in such a child.
    bool ranInOwnProcess() {
        static bool soundServerUsed = false;
        if (!std::exchange(soundServerUsed, true)) {
            return false;
        }
        const auto* test = ::testing::UnitTest::GetInstance()->current_test_info();
        QProcess child;
        child.setProcessChannelMode(QProcess::ForwardedChannels);
        child.start(QCoreApplication::applicationFilePath(),
                    {u"--gtest_filter=%1.%2"_s.arg(QString::fromLatin1(test->test_suite_name()),
                                                   QString::fromLatin1(test->name()))});
        EXPECT_TRUE(child.waitForFinished(300000));
        EXPECT_EQ(child.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(child.exitCode(), 0);
        return true;
    }

    LogCapture log;
};

TEST_F(QtAudioEngineTest, TapsTheDefaultInputInBlocksOnTheCaptureThread) {
    if (ranInOwnProcess()) {
        return;
    }
    PrivatePulseAudio pulse;
    ASSERT_TRUE(pulse.isRunning());
    const auto clip = readWav(SpeechClips::instance().paddedPhrase());
    ASSERT_TRUE(clip);

    QtAudioEngine engine;
    EXPECT_EQ(engine.inputFormat(0), (AudioFormat{16000, 1, AudioSampleFormat::int16}));
    Captured captured;
    engine.installTap(0, 1024, engine.inputFormat(0), captured.tap());
    engine.prepare();
    ASSERT_EQ(engine.start(), std::nullopt);
    EXPECT_TRUE(engine.isRunning());

    ASSERT_TRUE(pulse.play(SpeechClips::instance().paddedPhrase()));
    // The source runs on after the clip: at least its length arrives.
    ASSERT_TRUE(waitUntil([&] { return captured.frameCount() >= clip->frameCount(); }));

    engine.removeTap(0);
    const int afterRemoval = captured.frameCount();
    engine.stop();
    EXPECT_FALSE(engine.isRunning());
    EXPECT_EQ(captured.frameCount(), afterRemoval);
    std::lock_guard lock(captured.mutex);
    EXPECT_TRUE(captured.oddities.isEmpty()) << captured.oddities.join(u'\n').toStdString();
    // The speech was heard, not only the silence around it.
    EXPECT_GT(captured.loudest, 3000);
    EXPECT_TRUE(log.lines().isEmpty());
}

TEST_F(QtAudioEngineTest, ASpokenAimsetIsCapturedAndRecognised) {
    if (ranInOwnProcess()) {
        return;
    }
    PrivatePulseAudio pulse;
    ASSERT_TRUE(pulse.isRunning());

    VirtualMainLoop loop;
    PocketSphinxSpeechService speech;
    QtAudioEngine audio;
    FakePanelHost panels;
    VoiceAimsetManager manager(loop, speech, audio, panels);
    QStringList delivered;
    manager.onTranscriptionComplete = [&](const QString& text) { delivered << text; };

    manager.requestPermissions();
    const QString granted = u"[Voice] Speech recognition ready"_s;
    ASSERT_TRUE(waitUntil([&] { return log.lines().contains(granted); }, &loop));
    // The model was loaded to answer, and is gone again.
    ASSERT_TRUE(waitUntil([&] { return speech.loadedDecoderCount() == 0; }));

    manager.startListening();
    ASSERT_TRUE(manager.isListening());
    ASSERT_TRUE(pulse.play(SpeechClips::instance().paddedPhrase()));
    const QString phrase = QString::fromLatin1(kPhrase);
    ASSERT_TRUE(waitUntil([&] { return manager.currentTranscription() == phrase; }, &loop))
        << manager.currentTranscription().toStdString();
    manager.stopListening();

    EXPECT_EQ(log.take(), (QStringList{granted, u"[Voice] Started listening"_s,
                                       u"[Voice] Transcription complete: "_s + phrase}));
    EXPECT_EQ(delivered, QStringList{phrase});
    EXPECT_FALSE(audio.isRunning());
    // Nobody speaks any more: the model leaves memory.
    EXPECT_TRUE(waitUntil([&] { return speech.loadedDecoderCount() == 0; }));
}

TEST_F(QtAudioEngineTest, StartingWithoutASoundServerFailsWithADescription) {
    if (ranInOwnProcess()) {
        return;
    }
    NoSoundServer none;
    QtAudioEngine engine;
    Captured captured;
    engine.installTap(0, 1024, engine.inputFormat(0), captured.tap());
    engine.prepare();
    EXPECT_EQ(engine.start(), kNoServer);
    EXPECT_FALSE(engine.isRunning());
    engine.removeTap(0);
    engine.stop();

    // The press that needed it ends cleanly and a later one tries again.
    VirtualMainLoop loop;
    PocketSphinxSpeechService speech;
    FakePanelHost panels;
    VoiceAimsetManager manager(loop, speech, engine, panels);
    manager.requestPermissions();
    ASSERT_TRUE(waitUntil([&] { return log.lines().size() == 1; }, &loop));
    log.clear();
    manager.startListening();
    manager.startListening();
    EXPECT_FALSE(manager.isListening());
    EXPECT_EQ(log.take(), QStringList(2, u"[Voice] Audio engine failed to start: "_s + kNoServer));
    EXPECT_EQ(captured.frameCount(), 0);
}

} // namespace
