import QtQuick

// A drawing of the recording indicator: the red dot, "Listening..." and the
// words heard so far.
Rectangle {
    id: root

    property string transcript

    implicitWidth: 320
    implicitHeight: content.implicitHeight + 32
    radius: 12
    antialiasing: true
    color: Qt.rgba(0, 0, 0, 0.92)
    border.width: 1
    border.color: Qt.rgba(1, 1, 1, 0.12)

    Column {
        id: content
        anchors.centerIn: parent
        width: root.width - 40
        spacing: 10

        ListeningRow {
            anchors.horizontalCenter: parent.horizontalCenter
            label.color: Qt.rgba(1, 1, 1, 0.6)
            label.font.weight: Font.Normal
        }
        Text {
            width: parent.width
            // Holds a line even before the first word.
            height: Math.max(implicitHeight, 24)
            horizontalAlignment: Text.AlignHCenter
            wrapMode: Text.Wrap
            text: root.transcript
            textFormat: Text.PlainText
            color: "white"
            font.pixelSize: 18
            font.weight: Font.Medium
        }
    }
}
