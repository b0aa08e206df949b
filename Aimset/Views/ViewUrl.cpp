#include "ViewUrl.h"

namespace aimset {

QUrl viewUrl(const QString& viewName) {
    return QUrl(QLatin1String(viewsImportPath) + QStringLiteral("/Aimset/Views/") + viewName +
                QStringLiteral(".qml"));
}

} // namespace aimset
