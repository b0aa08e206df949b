#include "SpeechTestAudio.h"

#include <QFile>
#include <QProcess>
#include <QtEndian>

#include <cstdio>
using namespace Qt::StringLiterals;

namespace aimset::test {

int WavClip::frameCount() const {
    const int bytes = format.sampleFormat == AudioSampleFormat::int16 ? 2 : 4;
    return static_cast<int>(data.size() / (bytes * format.channelCount));
}

std::vector<AudioBuffer> WavClip::buffers(int frames) const {
    const int frameBytes =
        (format.sampleFormat == AudioSampleFormat::int16 ? 2 : 4) * format.channelCount;
    std::vector<AudioBuffer> result;
    for (qsizetype offset = 0; offset < data.size(); offset += qsizetype(frames) * frameBytes) {
        AudioBuffer buffer;
        buffer.format = format;
        buffer.data = data.mid(offset, qsizetype(frames) * frameBytes);
        buffer.frameCount = static_cast<int>(buffer.data.size() / frameBytes);
        result.push_back(buffer);
    }
    return result;
}

std::optional<WavClip> readWav(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return std::nullopt;
    }
    const QByteArray bytes = file.readAll();
    if (bytes.size() < 12 || !bytes.startsWith("RIFF") || bytes.mid(8, 4) != "WAVE") {
        return std::nullopt;
    }
    auto u16 = [&](qsizetype at) { return qFromLittleEndian<quint16>(bytes.constData() + at); };
    auto u32 = [&](qsizetype at) { return qFromLittleEndian<quint32>(bytes.constData() + at); };
    WavClip clip;
    bool haveFormat = false;
    qsizetype at = 12;
    while (at + 8 <= bytes.size()) {
        const QByteArray id = bytes.mid(at, 4);
        const qsizetype size = u32(at + 4);
        const qsizetype body = at + 8;
        if (id == "fmt " && size >= 16) {
            quint16 tag = u16(body);
            if (tag == 0xFFFE && size >= 40) { // WAVE_FORMAT_EXTENSIBLE: the subformat's tag
                tag = u16(body + 24);
            }
            const quint16 bits = u16(body + 14);
            clip.format.channelCount = u16(body + 2);
            clip.format.sampleRate = static_cast<int>(u32(body + 4));
            if (tag == 1 && bits == 16) {
                clip.format.sampleFormat = AudioSampleFormat::int16;
            } else if (tag == 3 && bits == 32) {
                clip.format.sampleFormat = AudioSampleFormat::float32;
            } else {
                return std::nullopt;
            }
            haveFormat = true;
        } else if (id == "data") {
            clip.data = bytes.mid(body, std::min(size, bytes.size() - body));
        }
        at = body + size + (size % 2);
    }
    if (!haveFormat || clip.data.isEmpty() || clip.format.channelCount <= 0) {
        return std::nullopt;
    }
    return clip;
}

bool run(const QString& program, const QStringList& arguments, int timeoutMs) {
    QProcess process;
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process.start(program, arguments);
    if (!process.waitForFinished(timeoutMs)) {
        std::fprintf(stderr, "%s did not finish\n", qPrintable(program));
        process.kill();
        process.waitForFinished();
        return false;
    }
    return process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
}

SpeechClips& SpeechClips::instance() {
    static SpeechClips clips;
    return clips;
}

SpeechClips::SpeechClips() {
    m_ready = m_dir.isValid() &&
              run(u"flite"_s, {u"-voice"_s, u"rms"_s, u"-t"_s, QString::fromLatin1(kPhrase),
                               u"-o"_s, phrase()}) &&
              run(u"sox"_s, {phrase(), u"-r"_s, u"16000"_s, u"-c"_s, u"1"_s, u"-b"_s, u"16"_s,
                             paddedPhrase(), u"pad"_s, u"0.5"_s, u"0.5"_s});
}

} // namespace aimset::test
