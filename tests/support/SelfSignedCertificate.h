#pragma once

#include <QProcess>
#include <QString>
#include <QStringList>

namespace aimset::test {

// Writes a fresh self-signed certificate for 127.0.0.1 and its key (PEM) with
// the openssl tool. Returns an empty text on success, else what went wrong.
inline QString makeSelfSignedCertificate(const QString& certificatePath, const QString& keyPath) {
    QProcess openssl;
    openssl.start(QStringLiteral("openssl"),
                  {QStringLiteral("req"), QStringLiteral("-x509"), QStringLiteral("-newkey"),
                   QStringLiteral("rsa:2048"), QStringLiteral("-nodes"), QStringLiteral("-keyout"),
                   keyPath, QStringLiteral("-out"), certificatePath, QStringLiteral("-days"),
                   QStringLiteral("1"), QStringLiteral("-subj"), QStringLiteral("/CN=127.0.0.1"),
                   QStringLiteral("-addext"), QStringLiteral("subjectAltName=IP:127.0.0.1")});
    if (!openssl.waitForFinished(30000)) {
        return QStringLiteral("openssl did not finish: ") + openssl.errorString();
    }
    if (openssl.exitCode() != 0) {
        return QString::fromLocal8Bit(openssl.readAllStandardError());
    }
    return {};
}

} // namespace aimset::test
