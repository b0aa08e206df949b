#include "SpeechTestAudio.h"

#include <QProcess>

using namespace Qt::StringLiterals;

namespace aimset::test {

bool run(const QString& program, const QStringList& arguments, int timeoutMs) {
    QProcess process;
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process.start(program, arguments);
    // One that hangs is killed as the process object goes, and Qt's warning names it.
    return process.waitForFinished(timeoutMs) && process.exitStatus() == QProcess::NormalExit &&
           process.exitCode() == 0;
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
