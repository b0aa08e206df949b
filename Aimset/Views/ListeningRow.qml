import QtQuick

// The red dot and "Listening..." of a recording, in the recording panel and
// in the drawings of it.
Row {
    property alias label: label

    spacing: 8

    Rectangle {
        anchors.verticalCenter: parent.verticalCenter
        width: 8
        height: 8
        radius: 4
        color: "#ff3b30"
    }
    Text {
        id: label
        anchors.verticalCenter: parent.verticalCenter
        text: "Listening..."
        color: Qt.rgba(1, 1, 1, 0.8)
        font.pixelSize: 13
        font.weight: Font.Medium
    }
}
