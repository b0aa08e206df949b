import QtQuick

// A drawing of the clarifying question with its two answers.
DemoCard {
    implicitWidth: 300
    spacing: 14

    CentredLine {
        text: "Is this article about Barbie\nrelated to your essay?"
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
