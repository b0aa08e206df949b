#include "HelperPrograms.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

namespace aimset {

namespace {

// AIMSET_HELPERS_FROM_BINDIR: the helpers' folder relative to the app's, as
// the install rules lay them out.
QString installedPath(const QString& name) {
    return QDir::cleanPath(QCoreApplication::applicationDirPath() +
                           QStringLiteral("/" AIMSET_HELPERS_FROM_BINDIR "/") + name);
}

} // namespace

QString helperProgramPath(const QString& name) {
    const QString installed = installedPath(name);
    const QString beside = QDir(QCoreApplication::applicationDirPath()).filePath(name);
    return QFileInfo(installed).isExecutable() || !QFileInfo(beside).isExecutable() ? installed
                                                                                    : beside;
}

bool isInstalledApp() {
    // The service is installed with every app; a build tree has it beside the app.
    return QFileInfo(installedPath(QStringLiteral("aimset-checkd"))).isExecutable();
}

} // namespace aimset
