#pragma once

#include <QString>
#include <QUrl>

namespace aimset {

// The QML views are compiled into the app as the module "Aimset.Views".
// Its import path, for engines that import the module by name.
inline constexpr const char* viewsImportPath = "qrc:/qt/qml";

// Where the view of a QML type name ("VoiceRecordingIndicatorView") is found.
QUrl viewUrl(const QString& viewName);

} // namespace aimset
