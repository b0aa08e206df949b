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

// Whether the app as composed in main.cpp has real adapters for these desktop
// services; the build reads that from main.cpp (tests/CMakeLists.txt).
constexpr bool appReadsWindowText() {
#ifdef AIMSET_E2E_APP_WITHOUT_WINDOW_TEXT
    return false;
#else
    return true;
#endif
}

constexpr bool appHearsSpeech() {
#ifdef AIMSET_E2E_APP_WITHOUT_SPEECH
    return false;
#else
    return true;
#endif
}

inline constexpr const char* kNoWindowTextAdapter =
    "the app reads no window text yet: main.cpp composes NullAccessibility instead of the "
    "AT-SPI accessibility adapter";
inline constexpr const char* kNoSpeechAdapter =
    "the app hears no speech yet: main.cpp composes NullSpeechService/NullAudioEngine instead of "
    "the speech and audio adapters";

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
