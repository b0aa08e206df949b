import QtQuick
import Aimset.Views

// Help page 0: an aimset is plain language, shown by a field that types
// example after example.
Column {
    id: root

    required property HelpPages pages

    spacing: 16

    HelpPageText {
        objectName: "pageTitle"
        title: true
        text: "What are you working on?"
    }
    HelpPageText {
        objectName: "pageBody"
        text: "Type what you're doing in plain language. Be as natural as you want:"
    }

    Rectangle {
        objectName: "mockField"
        width: parent.width
        height: typed.font.pixelSize + 28
        radius: 10
        antialiasing: true
        color: Qt.rgba(1, 1, 1, 0.08)
        border.width: 1
        border.color: Qt.rgba(1, 1, 1, 0.15)

        Text {
            id: typed
            objectName: "typingText"
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
            readonly property real wanted: root.pages.demo.typingOpacity
            Component.onCompleted: opacity = wanted
            onWantedChanged: {
                fade.stop();
                if (wanted < opacity) {
                    fade.to = wanted;
                    fade.start();
                } else {
                    opacity = wanted;
                }
            }
            NumberAnimation {
                id: fade
                target: typed
                property: "opacity"
                duration: 300
                easing.type: Easing.OutQuad
            }
        }
    }
}
