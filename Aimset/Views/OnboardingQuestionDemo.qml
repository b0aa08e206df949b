import QtQuick

// A drawing of the clarifying question with its two answers.
Rectangle {
    id: root

    implicitWidth: 300
    implicitHeight: content.implicitHeight + 40
    radius: 12
    antialiasing: true
    color: Qt.rgba(0, 0, 0, 0.92)
    border.width: 1
    border.color: Qt.rgba(1, 1, 1, 0.08)

    Column {
        id: content
        anchors.centerIn: parent
        width: root.width - 40
        spacing: 14

        Text {
            width: parent.width
            horizontalAlignment: Text.AlignHCenter
            text: "Is this article about Barbie\nrelated to your essay?"
            color: "white"
            font.pixelSize: 15
            font.weight: Font.Medium
        }
        Row {
            anchors.horizontalCenter: parent.horizontalCenter
            spacing: 8
            AnswerButton {
                filled: true
                text: "Yes, it's relevant"
            }
            AnswerButton {
                text: "No, close this"
            }
        }
    }
}
