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
            objectName: "question"
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
            Rectangle {
                width: yes.implicitWidth + 20
                height: yes.implicitHeight + 12
                radius: 8
                antialiasing: true
                color: "white"
                Text {
                    id: yes
                    objectName: "yesLabel"
                    anchors.centerIn: parent
                    text: "Yes, it's relevant"
                    color: "black"
                    font.pixelSize: 12
                    font.weight: Font.Medium
                }
            }
            Rectangle {
                width: no.implicitWidth + 20
                height: no.implicitHeight + 12
                radius: 8
                antialiasing: true
                color: "transparent"
                border.width: 1
                border.color: Qt.rgba(1, 1, 1, 0.3)
                Text {
                    id: no
                    objectName: "noLabel"
                    anchors.centerIn: parent
                    text: "No, close this"
                    color: Qt.rgba(1, 1, 1, 0.8)
                    font.pixelSize: 12
                    font.weight: Font.Medium
                }
            }
        }
    }
}
