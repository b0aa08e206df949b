import QtQuick

// "Focus goal" and the chosen goal's name, over the goal slider its user
// puts in it.
Column {
    id: root

    property alias label: goalLabel.text
    property int fontSize: 14

    width: parent.width
    spacing: 8

    Item {
        width: parent.width
        height: goalLabel.implicitHeight
        Text {
            text: "Focus goal"
            color: Qt.rgba(1, 1, 1, 0.5)
            font.pixelSize: root.fontSize
        }
        Text {
            id: goalLabel
            anchors.right: parent.right
            color: Qt.rgba(1, 1, 1, 0.8)
            font.pixelSize: root.fontSize
            font.weight: Font.Medium
        }
    }
}
