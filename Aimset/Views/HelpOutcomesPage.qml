import QtQuick
import Aimset.Views

// Help page 1: the three outcomes, one stage at a time (-1 the intro, then
// 0 nothing, 1 a question, 2 a nudge), each with a small mock of what the
// user would see. The stages lie on one another, as tall as the tallest.
Item {
    id: root

    required property HelpPages pages
    property bool current: true

    width: parent ? parent.width : implicitWidth
    implicitHeight: childrenRect.height
    opacity: current ? 1 : 0

    HelpPage {
        current: root.pages.helpStage === -1
        title: "Aimset knows if you're distracted or focused"
        body: "Based on what you're doing, one of three things happens:"
    }

    HelpPage {
        current: root.pages.helpStage === 0
        caption: "1 of 3"
        title: "Nothing (You're on track)"
        body: "If what you're doing matches your goal, the app stays invisible."

        // Room for the ghost to rise into.
        Item {
            width: parent.width
            height: 88

            GhostShape {
                anchors.horizontalCenter: parent.horizontalCenter
                y: 16
                opacity: root.pages.demo.ghostRisen ? 0.15 : 0
                transform: Translate {
                    y: root.pages.demo.ghostRisen ? -6 : 0
                    Behavior on y { NumberAnimation { duration: 1500; easing.type: Easing.InOutQuad } }
                }
                Behavior on opacity { NumberAnimation { duration: 1500; easing.type: Easing.InOutQuad } }
            }
        }
    }

    HelpPage {
        current: root.pages.helpStage === 1
        caption: "2 of 3"
        title: "A Quick Question"
        body: "If Aimset isn't certain what you're doing is relevant, a small popup appears:"

        HelpMockCard {
            CentredLine {
                text: "Is this article about Barbie related to your essay?"
                wrapMode: Text.Wrap
                font.pixelSize: 14
                font.weight: Font.Medium
            }
            Row {
                id: answers
                width: parent.width
                spacing: 8
                AnswerButton {
                    width: (answers.width - answers.spacing) / 2
                    height: 30
                    filled: true
                    text: "Yes, it's relevant"
                }
                AnswerButton {
                    width: (answers.width - answers.spacing) / 2
                    height: 30
                    text: "No, close this"
                }
            }
        }
    }

    HelpPage {
        current: root.pages.helpStage === 2
        caption: "3 of 3"
        title: "A Nudge (You've drifted)"
        body: "If you get distracted, a warning appears with a 15-second timer."

        HelpMockCard {
            spacing: 6
            CentredLine {
                text: root.pages.demo.helpCountdownValue
                font.pixelSize: 36
                font.bold: true
                font.family: "monospace"
            }
            CentredLine {
                text: "This doesn't look like:"
                color: Qt.rgba(1, 1, 1, 0.6)
                font.pixelSize: 12
            }
            CentredLine {
                text: "Study for biology exam"
                font.pixelSize: 14
                font.weight: Font.DemiBold
            }
            CentredLine {
                text: "Tab closes in " + root.pages.demo.helpCountdownValue + "s"
                color: Qt.rgba(1, 1, 1, 0.4)
                font.pixelSize: 11
            }
        }
        HelpPageText {
            text: "15 seconds is enough to save anything important. Not enough to keep procrastinating."
        }
    }
}
