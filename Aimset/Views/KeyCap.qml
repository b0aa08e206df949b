import QtQuick

// A drawn keyboard key with its symbol and label. Pressed, it sinks by two
// points and lights up.
Rectangle {
    id: root

    property string label
    // Drawn above the label when set, like the ⌥ on a Mac's Option key.
    property string symbol
    property bool isPressed: false

    implicitWidth: Math.max(56, labelText.implicitWidth + 24)
    implicitHeight: 56
    radius: 10
    antialiasing: true
    color: isPressed ? Qt.rgba(1, 1, 1, 0.28) : Qt.rgba(1, 1, 1, 0.10)
    border.width: 1
    border.color: isPressed ? Qt.rgba(1, 1, 1, 0.45) : Qt.rgba(1, 1, 1, 0.20)
    transform: Translate {
        y: root.isPressed ? 2 : 0
        Behavior on y { EaseOutAnimation { duration: 100 } }
    }

    Behavior on color { ColorAnimation { duration: 100; easing.type: Easing.Bezier; easing.bezierCurve: [0, 0, 0.58, 1, 1, 1] } }
    Behavior on border.color { ColorAnimation { duration: 100; easing.type: Easing.Bezier; easing.bezierCurve: [0, 0, 0.58, 1, 1, 1] } }

    Column {
        anchors.centerIn: parent
        spacing: 2

        Text {
            anchors.horizontalCenter: parent.horizontalCenter
            visible: root.symbol.length > 0
            text: root.symbol
            color: "white"
            font.pixelSize: 18
        }
        Text {
            id: labelText
            anchors.horizontalCenter: parent.horizontalCenter
            text: root.label
            color: "white"
            font.pixelSize: root.symbol.length > 0 ? 11 : 18
            font.weight: Font.Medium
        }
    }
}
