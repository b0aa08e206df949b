import QtQuick

// A keyboard key of the help's hotkey demonstration; it sinks and lights up
// while `pressed`, easing out over 0.15 s either way.
Rectangle {
    id: root

    property alias text: label.text
    property bool pressed: false

    implicitWidth: Math.max(40, label.implicitWidth + 24)
    implicitHeight: 40
    radius: 8
    color: pressed ? Qt.rgba(1, 1, 1, 0.30) : Qt.rgba(1, 1, 1, 0.10)
    border.color: pressed ? Qt.rgba(1, 1, 1, 0.50) : Qt.rgba(1, 1, 1, 0.20)
    scale: pressed ? 0.92 : 1
    transform: Translate { y: root.pressed ? 2 : 0 }

    Behavior on color { ColorAnimation { duration: 150; easing.type: Easing.OutQuad } }
    Behavior on scale { NumberAnimation { duration: 150; easing.type: Easing.OutQuad } }

    Text {
        id: label
        anchors.centerIn: parent
        color: "white"
        font.pixelSize: 14
        font.weight: Font.Medium
    }
}
