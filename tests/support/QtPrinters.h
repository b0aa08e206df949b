#pragma once

#include <QString>
#include <QStringList>

#include <ostream>

// Readable Qt values in test failure messages.
QT_BEGIN_NAMESPACE
inline void PrintTo(const QString& value, std::ostream* out) {
    *out << '"' << value.toStdString() << '"';
}
inline void PrintTo(const QStringList& value, std::ostream* out) {
    *out << "[\n";
    for (const QString& line : value) {
        *out << "  \"" << line.toStdString() << "\"\n";
    }
    *out << ']';
}
QT_END_NAMESPACE
