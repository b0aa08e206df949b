#pragma once

#include "support/QtPrinters.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QStringList>

#include <ostream>

// Requests the service received, readable in failure messages.
QT_BEGIN_NAMESPACE
inline void PrintTo(const QJsonObject& value, std::ostream* out) {
    *out << QJsonDocument(value).toJson(QJsonDocument::Compact).toStdString();
}
QT_END_NAMESPACE

namespace aimset::e2e {

// True when every expected line occurs in `lines`, in this order (other lines
// may come between them).
inline bool inOrder(const QStringList& lines, const QStringList& expected) {
    qsizetype from = 0;
    for (const QString& line : expected) {
        from = lines.indexOf(line, from);
        if (from < 0) {
            return false;
        }
        ++from;
    }
    return true;
}

// How many lines match the whole pattern.
inline qsizetype count(const QStringList& lines, const QRegularExpression& pattern) {
    const QRegularExpression whole(QRegularExpression::anchoredPattern(pattern.pattern()));
    qsizetype n = 0;
    for (const QString& line : lines) {
        n += whole.match(line).hasMatch() ? 1 : 0;
    }
    return n;
}

} // namespace aimset::e2e
