import QtQuick

// The ease-in-out curve of the app's fades and phase changes.
NumberAnimation {
    easing.type: Easing.Bezier
    easing.bezierCurve: [0.42, 0, 0.58, 1, 1, 1]
}
