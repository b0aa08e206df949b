import QtQuick
import Aimset.Views

// The question panel: the service's question, Yes and No, and in the last
// 15 seconds a line saying the tab is about to close. Draws what the manager
// says and forwards the two answers; it changes no state itself.
PanelCard {
    id: root

    required property InterventionManager manager

    readonly property double remaining: manager ? manager.clarifyTimeoutRemaining : 0

    CentredLine {
        text: root.manager ? root.manager.clarifyingQuestion : ""
        textFormat: Text.PlainText
        font.pixelSize: 18
        font.weight: Font.Medium
        wrapMode: Text.Wrap
        maximumLineCount: 3
        elide: Text.ElideRight
    }

    Row {
        id: buttons

        width: parent.width
        spacing: 12

        AnswerButton {
            objectName: "yesButton"
            width: (buttons.width - buttons.spacing) / 2
            verticalPadding: 24
            radius: 10
            fontSize: 16
            filled: true
            text: "Yes, it's relevant"
            onClicked: root.manager.userSaidYes()
        }
        AnswerButton {
            width: (buttons.width - buttons.spacing) / 2
            verticalPadding: 24
            radius: 10
            fontSize: 16
            text: "No, close this"
            onClicked: root.manager.userSaidNo()
        }
    }

    // Its line is kept while empty, so the buttons stay where the
    // pointer found them when it appears.
    CentredLine {
        objectName: "autoClosing"
        opacity: root.manager !== null && root.remaining <= 15 ? 1 : 0
        text: "Auto-closing in " + root.remaining + "s"
        font.pixelSize: 13
        color: Qt.rgba(1, 1, 1, 0.40)
    }
}
