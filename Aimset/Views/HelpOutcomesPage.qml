import QtQuick
import Aimset.Views

// Help page 1: the three outcomes, one stage at a time (-1 the intro, then
// 0 nothing, 1 a question, 2 a nudge), each with a small mock of what the
// user would see.
Loader {
    id: root

    required property HelpPages pages

    // The stage shown: the demonstration's, unless set to one.
    property int stage: pages.helpStage

    width: parent ? parent.width : implicitWidth
    sourceComponent: [intro, onTrack, question, nudge][Math.max(0, Math.min(3, stage + 1))]

    // A centred line of a mock card.
    component MockLine: Text {
        width: parent.width
        horizontalAlignment: Text.AlignHCenter
        color: "white"
    }
    // The stages below reach this file's `root`, which qmllint cannot
    // follow into a Component; Qt 6.4's bound components (pragma
    // ComponentBehavior) break Loaders, so those lines are marked instead.
    Component {
        id: intro
        Column {
            spacing: 16
            HelpPageText {
                objectName: "pageTitle"
                title: true
                text: "Aimset knows if you're distracted or focused"
            }
            HelpPageText {
                objectName: "pageBody"
                text: "Based on what you're doing, one of three things happens:"
            }
        }
    }

    Component {
        id: onTrack
        Column {
            spacing: 16
            HelpStageCaption { text: "1 of 3" }
            HelpPageText {
                objectName: "pageTitle"
                title: true
                text: "Nothing (You're on track)"
            }
            HelpPageText {
                objectName: "pageBody"
                text: "If what you're doing matches your goal, the app stays invisible."
            }
            // Room for the ghost to rise into.
            Item {
                width: parent.width
                height: 88

                GhostShape {
                    objectName: "ghost"
                    anchors.horizontalCenter: parent.horizontalCenter
                    y: 16
                    width: 48
                    height: 60
                    opacity: root.pages.demo.ghostOpacity // qmllint disable unqualified
                    transform: Translate {
                        y: root.pages.demo.ghostFloatOffset // qmllint disable unqualified
                        Behavior on y { NumberAnimation { duration: 1500; easing.type: Easing.InOutQuad } }
                    }
                    Behavior on opacity { NumberAnimation { duration: 1500; easing.type: Easing.InOutQuad } }
                }
            }
        }
    }

    Component {
        id: question
        Column {
            spacing: 16
            HelpStageCaption { text: "2 of 3" }
            HelpPageText {
                objectName: "pageTitle"
                title: true
                text: "A Quick Question"
            }
            HelpPageText {
                objectName: "pageBody"
                text: "If Aimset isn't certain what you're doing is relevant, a small popup appears:"
            }
            HelpMockCard {
                objectName: "mockQuestion"
                MockLine {
                    objectName: "mockQuestionText"
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
                        labelName: "mockYes"
                        text: "Yes, it's relevant"
                    }
                    AnswerButton {
                        width: (answers.width - answers.spacing) / 2
                        height: 30
                        labelName: "mockNo"
                        text: "No, close this"
                    }
                }
            }
        }
    }

    Component {
        id: nudge
        Column {
            spacing: 16
            HelpStageCaption { text: "3 of 3" }
            HelpPageText {
                objectName: "pageTitle"
                title: true
                text: "A Nudge (You've drifted)"
            }
            HelpPageText {
                objectName: "pageBody"
                text: "If you get distracted, a warning appears with a 15-second timer."
            }
            HelpMockCard {
                objectName: "mockCountdown"
                spacing: 6
                MockLine {
                    objectName: "mockCountdownValue"
                    text: root.pages.demo.helpCountdownValue // qmllint disable unqualified
                    font.pixelSize: 36
                    font.bold: true
                    font.family: "monospace"
                }
                MockLine {
                    objectName: "mockDoesNotLookLike"
                    text: "This doesn't look like:"
                    color: Qt.rgba(1, 1, 1, 0.6)
                    font.pixelSize: 12
                }
                MockLine {
                    objectName: "mockAimset"
                    text: "Study for biology exam"
                    font.pixelSize: 14
                    font.weight: Font.DemiBold
                }
                MockLine {
                    objectName: "mockTabCloses"
                    text: "Tab closes in " + root.pages.demo.helpCountdownValue + "s" // qmllint disable unqualified
                    color: Qt.rgba(1, 1, 1, 0.4)
                    font.pixelSize: 11
                }
            }
            HelpPageText {
                objectName: "pageFootnote"
                text: "15 seconds is enough to save anything important. Not enough to keep procrastinating."
            }
        }
    }
}
