import QtQuick

// A drawing of the misaligned warning: the countdown, the aimset it does not
// match, and when the tab goes.
DemoCard {
    id: root

    property int countdown
    property string aimset: "Finish the quarterly report"

    implicitWidth: 250
    padding: 18
    spacing: 6

    Text {
        anchors.horizontalCenter: parent.horizontalCenter
        text: root.countdown
        color: "white"
        font.pixelSize: 36
        font.bold: true
        font.family: "monospace"
    }
    Text {
        anchors.horizontalCenter: parent.horizontalCenter
        text: "This doesn't look like:"
        color: Qt.rgba(1, 1, 1, 0.5)
        font.pixelSize: 12
    }
    Text {
        anchors.horizontalCenter: parent.horizontalCenter
        text: root.aimset
        textFormat: Text.PlainText
        color: "white"
        font.pixelSize: 14
        font.weight: Font.Medium
    }
    Text {
        anchors.horizontalCenter: parent.horizontalCenter
        text: "Tab closes in " + root.countdown + "s"
        color: Qt.rgba(1, 1, 1, 0.35)
        font.pixelSize: 11
    }
}
