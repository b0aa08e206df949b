import QtQuick

// A drawing of the recording indicator: the red dot, "Listening..." and the
// words heard so far.
DemoCard {
    id: root

    property string transcript

    implicitWidth: 320
    padding: 16
    spacing: 10
    border.color: Qt.rgba(1, 1, 1, 0.12)

    ListeningRow {
        anchors.horizontalCenter: parent.horizontalCenter
        label.color: Qt.rgba(1, 1, 1, 0.6)
        label.font.weight: Font.Normal
    }
    CentredLine {
        // Holds a line even before the first word.
        height: Math.max(implicitHeight, 24)
        wrapMode: Text.Wrap
        text: root.transcript
        textFormat: Text.PlainText
        font.pixelSize: 18
        font.weight: Font.Medium
    }
}
