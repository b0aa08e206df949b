import QtQuick
import Aimset.Views

// Help page 0: an aimset is plain language, shown by a field that types
// example after example.
HelpPage {
    id: root

    required property HelpPages pages

    title: "What are you working on?"
    body: "Type what you're doing in plain language. Be as natural as you want:"

    Rectangle {
        width: parent.width
        height: typed.font.pixelSize + 28
        radius: 10
        color: Qt.rgba(1, 1, 1, 0.08)
        border.color: Qt.rgba(1, 1, 1, 0.15)

        Text {
            id: typed
            anchors.left: parent.left
            anchors.right: parent.right
            anchors.verticalCenter: parent.verticalCenter
            anchors.margins: 14
            text: root.pages.demo.typingText
            textFormat: Text.PlainText
            elide: Text.ElideRight
            color: "white"
            font.pixelSize: 16

            // Only the fade-out is animated; the next example appears at once.
            states: State {
                name: "faded"
                when: root.pages.demo.typingOpacity < 1
                PropertyChanges { target: typed; opacity: root.pages.demo.typingOpacity }
            }
            transitions: Transition {
                to: "faded"
                NumberAnimation { property: "opacity"; duration: 300; easing.type: Easing.OutQuad }
            }
        }
    }
}
