#pragma once

#include "Judge.h"

#include <QByteArray>
#include <QString>

namespace aimset::checkd {

// One answer of the service, ready to send.
struct Reply {
    int status = 200;
    QByteArray body; // compact JSON
    QString mode;    // "title", "text", "expand", or "-" when none applies
};

// The /check endpoint without the transport: checks the request, asks the
// judge and words the answer. Every input, however broken, gets a reply.
class CheckService {
public:
    static constexpr qsizetype maxBodyBytes = 64 * 1024;

    explicit CheckService(Judge& judge);

    Reply handle(const QByteArray& method, const QByteArray& path, const QByteArray& body) const;

    // A small JSON error body: {"error": message}.
    static Reply error(int status, const QString& message,
                       const QString& mode = QStringLiteral("-"));

private:
    Reply check(const QByteArray& body) const;

    Judge& m_judge;
};

} // namespace aimset::checkd
