#pragma once

#include "support/SpinUntil.h"

#include <QSslCertificate>
#include <QSslKey>
#include <QTemporaryDir>

namespace aimset::test {

// A fresh self-signed certificate for 127.0.0.1 and its key, made with the
// openssl tool and kept (PEM) in a folder of their own; null if it failed.
struct SelfSignedCertificate {
    SelfSignedCertificate() {
        run(QStringLiteral("openssl"),
            QStringLiteral("req -x509 -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes "
                           "-days 1 -subj /CN=127.0.0.1 "
                           "-addext subjectAltName=IP:127.0.0.1")
                    .split(u' ')
                << QStringLiteral("-keyout") << keyPath << QStringLiteral("-out")
                << certificatePath);
        certificate = QSslCertificate::fromPath(certificatePath).value(0);
        key = QSslKey(readFile(keyPath), QSsl::Ec);
    }

    QTemporaryDir dir;
    const QString certificatePath = dir.filePath(QStringLiteral("cert.pem"));
    const QString keyPath = dir.filePath(QStringLiteral("key.pem"));
    QSslCertificate certificate;
    QSslKey key;
};

} // namespace aimset::test
