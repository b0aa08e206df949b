#include "QtAudioEngine.h"

#include <QAudioDevice>
#include <QAudioSource>
#include <QMediaDevices>
#include <QMetaObject>

namespace aimset {

namespace {

QAudioFormat toQt(const AudioFormat& format) {
    QAudioFormat qt;
    qt.setSampleRate(format.sampleRate);
    qt.setChannelCount(format.channelCount);
    qt.setSampleFormat(format.sampleFormat == AudioSampleFormat::int16 ? QAudioFormat::Int16
                                                                       : QAudioFormat::Float);
    return qt;
}

QString describe(const AudioFormat& format) {
    return QStringLiteral("%1 Hz, %2 channel(s), %3")
        .arg(format.sampleRate)
        .arg(format.channelCount)
        .arg(format.sampleFormat == AudioSampleFormat::int16 ? QStringLiteral("16-bit")
                                                             : QStringLiteral("32-bit float"));
}

QString describe(QAudio::Error error) {
    switch (error) {
    case QAudio::NoError:
        break;
    case QAudio::OpenError:
        return QStringLiteral("the audio input could not be opened");
    case QAudio::IOError:
        return QStringLiteral("the audio input could not be read");
    case QAudio::UnderrunError:
        return QStringLiteral("the audio input stopped delivering");
    case QAudio::FatalError:
        return QStringLiteral("the audio input failed");
    }
    return QStringLiteral("the audio input failed");
}

bool isUsable(const AudioFormat& format) {
    return format.sampleRate > 0 && format.channelCount > 0;
}

} // namespace

QtAudioEngine::QtAudioEngine() = default;

QtAudioEngine::~QtAudioEngine() {
    stop();
    if (m_thread.isRunning()) {
        m_thread.quit();
        m_thread.wait();
    }
}

AudioFormat QtAudioEngine::inputFormat(int bus) {
    return bus == 0 ? defaultFormat : AudioFormat{};
}

void QtAudioEngine::installTap(int bus, int bufferSize, const AudioFormat& format, TapBlock block) {
    std::lock_guard lock(m_tapMutex);
    if (bus != 0 || bufferSize <= 0 || !isUsable(format)) {
        m_tap = nullptr;
        return;
    }
    m_tap = std::move(block);
    m_tapBufferSize = bufferSize;
    m_tapFormat = format;
}

void QtAudioEngine::removeTap(int bus) {
    if (bus != 0) {
        return;
    }
    std::lock_guard lock(m_tapMutex);
    m_tap = nullptr;
}

void QtAudioEngine::prepare() {
    startThread();
}

std::optional<QString> QtAudioEngine::start() {
    if (m_running) {
        return std::nullopt;
    }
    startThread();
    AudioFormat format = defaultFormat;
    int blockFrames = 1024;
    {
        std::lock_guard lock(m_tapMutex);
        if (m_tap) {
            format = m_tapFormat;
            blockFrames = m_tapBufferSize;
        }
    }
    std::optional<QString> failure;
    onCaptureThread([&] { failure = openInput(format, blockFrames); });
    m_running = !failure;
    return failure;
}

void QtAudioEngine::stop() {
    if (!m_running) {
        return;
    }
    onCaptureThread([this] { closeInput(); });
    m_running = false;
}

void QtAudioEngine::startThread() {
    if (m_thread.isRunning()) {
        return;
    }
    m_thread.setObjectName(QStringLiteral("audio capture"));
    m_thread.start();
    m_captureContext = std::make_unique<QObject>();
    m_captureContext->moveToThread(&m_thread);
}

void QtAudioEngine::onCaptureThread(const std::function<void()>& fn) {
    QMetaObject::invokeMethod(m_captureContext.get(), fn, Qt::BlockingQueuedConnection);
}

std::optional<QString> QtAudioEngine::openInput(AudioFormat format, int blockFrames) {
    const QAudioDevice device = QMediaDevices::defaultAudioInput();
    if (device.isNull()) {
        return QStringLiteral("no audio input device is available (is a sound server running?)");
    }
    const QAudioFormat qtFormat = toQt(format);
    if (!device.isFormatSupported(qtFormat)) {
        return QStringLiteral("the audio input \"%1\" cannot record %2")
            .arg(device.description(), describe(format));
    }
    m_capture.format = format;
    m_capture.blockFrames = blockFrames;
    m_capture.blockBytes = static_cast<qsizetype>(blockFrames) * qtFormat.bytesPerFrame();
    m_capture.pending.clear();
    m_capture.source = std::make_unique<QAudioSource>(device, qtFormat);
    // Two blocks of buffering keep the delay from speech to tap short.
    m_capture.source->setBufferSize(m_capture.blockBytes * 2);
    m_capture.device = m_capture.source->start();
    const QAudio::Error error = m_capture.source->error();
    if (!m_capture.device || error != QAudio::NoError) {
        const QString description = describe(error);
        closeInput();
        return QStringLiteral("%1 (\"%2\")").arg(description, device.description());
    }
    QObject::connect(m_capture.device, &QIODevice::readyRead, m_captureContext.get(),
                     [this] { readInput(); });
    return std::nullopt;
}

void QtAudioEngine::closeInput() {
    if (m_capture.source) {
        if (m_capture.device) {
            QObject::disconnect(m_capture.device, nullptr, m_captureContext.get(), nullptr);
        }
        m_capture.source->stop();
        m_capture.source.reset();
    }
    m_capture.device = nullptr;
    m_capture.pending.clear();
}

void QtAudioEngine::readInput() {
    if (!m_capture.device) {
        return;
    }
    m_capture.pending.append(m_capture.device->readAll());
    qsizetype offset = 0;
    while (m_capture.pending.size() - offset >= m_capture.blockBytes) {
        AudioBuffer buffer;
        buffer.format = m_capture.format;
        buffer.frameCount = m_capture.blockFrames;
        buffer.data = m_capture.pending.mid(offset, m_capture.blockBytes);
        offset += m_capture.blockBytes;
        std::lock_guard lock(m_tapMutex);
        if (m_tap) {
            m_tap(buffer);
        }
    }
    m_capture.pending.remove(0, offset);
}

} // namespace aimset
