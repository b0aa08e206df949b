import QtQuick

// A drawn keyboard key with its label. Pressed, it sinks by two points and
// lights up.
Rectangle {
    id: root

    property alias label: labelText.text
    property bool isPressed: false

    implicitWidth: Math.max(56, labelText.implicitWidth + 24)
    implicitHeight: 56
    radius: 10
    color: isPressed ? Qt.rgba(1, 1, 1, 0.28) : Qt.rgba(1, 1, 1, 0.10)
    border.color: isPressed ? Qt.rgba(1, 1, 1, 0.45) : Qt.rgba(1, 1, 1, 0.20)
    transform: Translate {
        y: root.isPressed ? 2 : 0
        Behavior on y { EaseOutAnimation { duration: 100 } }
    }

    Behavior on color { ColorAnimation { duration: 100; easing.type: Easing.Bezier; easing.bezierCurve: [0, 0, 0.58, 1, 1, 1] } }
    Behavior on border.color { ColorAnimation { duration: 100; easing.type: Easing.Bezier; easing.bezierCurve: [0, 0, 0.58, 1, 1, 1] } }

    Text {
        id: labelText
        anchors.centerIn: parent
        color: "white"
        font.pixelSize: 18
        font.weight: Font.Medium
    }
}
