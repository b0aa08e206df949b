import QtQuick

// The ease-out curve of the app's reveals: quick start, gentle stop.
NumberAnimation {
    easing.type: Easing.Bezier
    easing.bezierCurve: [0, 0, 0.58, 1, 1, 1]
}
