#pragma once

#include "Platform/KeyNames.h"

#include <QObject>
#include <QtQml/qqmlregistration.h>

namespace aimset {

// The desktop's key names for the views, as the singleton `KeyNames`
// (`KeyNames.hotkey` reads "Alt+M" on Linux).
class QmlKeyNames : public QObject {
    Q_OBJECT
    QML_NAMED_ELEMENT(KeyNames)
    QML_SINGLETON
    Q_PROPERTY(QString modifier READ modifier CONSTANT)
    Q_PROPERTY(QString letter READ letter CONSTANT)
    Q_PROPERTY(QString hotkey READ hotkey CONSTANT)

public:
    using QObject::QObject;

    static QString modifier() { return KeyNames::desktop().modifier; }
    static QString letter() { return KeyNames::desktop().letter; }
    static QString hotkey() { return KeyNames::desktop().hotkey(); }
};

} // namespace aimset
