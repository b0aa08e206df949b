#include "SpeechTestAudio.h"

#include <QProcess>

#include <cstdio>
using namespace Qt::StringLiterals;

namespace aimset::test {

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
    const QString phrase = m_dir.filePath(u"phrase.wav"_s);
    m_ready = m_dir.isValid() &&
              run(u"flite"_s, {u"-voice"_s, u"rms"_s, u"-t"_s, QString::fromLatin1(kPhrase),
                               u"-o"_s, phrase}) &&
              run(u"sox"_s, {phrase, u"-r"_s, u"16000"_s, u"-c"_s, u"1"_s, u"-b"_s, u"16"_s,
                             paddedPhrase(), u"pad"_s, u"0.5"_s, u"0.5"_s});
}

} // namespace aimset::test
