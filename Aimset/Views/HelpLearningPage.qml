import QtQuick
import Aimset.Views

// Help page 2: an aimset starts short and widens with every Yes.
HelpPage {
    id: root

    required property HelpPages pages

    title: "Aimset Learns As You Go"
    body: "Every time you answer a question, Aimset gets smarter about your work."

    Column {
        width: parent.width
        spacing: 6
        HelpPageText {
            text: "Your aimset might start as:"
        }
        Text {
            width: parent.width
            // Keeps its line while the aimset is still being typed.
            height: Math.max(implicitHeight, font.pixelSize * 1.3)
            wrapMode: Text.Wrap
            textFormat: Text.PlainText
            text: root.pages.demo.page3TypingText
            color: "white"
            font.pixelSize: 15
            font.weight: Font.Medium
        }
    }

    Column {
        width: parent.width
        spacing: 6
        // Its room is kept while hidden, so nothing moves when it fades in.
        opacity: root.pages.demo.showPage3Expansion ? 1 : 0
        Behavior on opacity { NumberAnimation { duration: 350; easing.type: Easing.InOutQuad } }

        HelpPageText {
            text: "And naturally become:"
        }
        Text {
            width: parent.width
            wrapMode: Text.Wrap
            textFormat: Text.PlainText
            text: "\"Research for YouTube video (includes GTA 6, gaming industry news, trailer analysis)\""
            color: "white"
            font.pixelSize: 15
            font.weight: Font.Medium
        }
    }
}
