#include "HelperPrograms.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

namespace aimset {

namespace {

QDir appFolder(const QString& appDirectory) {
    return QDir(appDirectory.isEmpty() ? QCoreApplication::applicationDirPath() : appDirectory);
}

QString installedPath(const QDir& app, const QString& name) {
    // AIMSET_HELPERS_FROM_BINDIR: the helpers' folder relative to the app's,
    // as the install rules lay them out.
    return QDir::cleanPath(
        app.filePath(QStringLiteral(AIMSET_HELPERS_FROM_BINDIR) + QLatin1Char('/') + name));
}

} // namespace

QString helperProgramPath(const QString& name, const QString& appDirectory) {
    const QDir app = appFolder(appDirectory);
    const QString installed = installedPath(app, name);
    if (QFileInfo(installed).isExecutable()) {
        return installed;
    }
    const QString beside = app.filePath(name);
    if (QFileInfo(beside).isExecutable()) {
        return beside;
    }
    return installed;
}

bool isInstalledApp(const QString& appDirectory) {
    // The service is installed with every app; a build tree has it beside the app.
    return QFileInfo(installedPath(appFolder(appDirectory), QStringLiteral("aimset-checkd")))
        .isExecutable();
}

} // namespace aimset
