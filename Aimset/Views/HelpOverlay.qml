import QtQuick

// The help overlay: a dark scrim over the whole window (a click on it closes
// help) and, centred on it, the help card with its close button, the current
// page and the arrows. Fades in and out with `shown`.
Item {
    id: root

    required property QtObject pages
    property bool shown: false

    visible: opacity > 0
    opacity: shown ? 1 : 0
    Behavior on opacity { NumberAnimation { duration: 200; easing.type: Easing.InOutQuad } }

    Rectangle {
        objectName: "helpScrim"
        anchors.fill: parent
        color: Qt.rgba(0, 0, 0, 0.6)
        MouseArea {
            anchors.fill: parent
            onClicked: root.pages.closeHelp()
        }
    }

    Rectangle {
        id: card
        objectName: "helpCard"

        readonly property int padding: 20

        anchors.centerIn: parent
        width: Math.max(0, Math.min(400, root.width - 40))
        height: Math.max(0, Math.min(root.height - 40, column.implicitHeight + 2 * padding))
        radius: 12
        antialiasing: true
        clip: true
        // An opaque dark base under the faint white fill: without a blur
        // behind it, the window's own content would show through the card.
        color: "black"

        Rectangle {
            anchors.fill: parent
            radius: parent.radius
            antialiasing: true
            color: Qt.rgba(1, 1, 1, 0.14)
            border.width: 1
            border.color: Qt.rgba(1, 1, 1, 0.12)
        }

        // Clicks on the card stay on the card.
        MouseArea { anchors.fill: parent }

        Column {
            id: column
            x: card.padding
            y: card.padding
            width: card.width - 2 * card.padding
            spacing: 20

            Item {
                width: parent.width
                height: 28
                HelpIconButton {
                    objectName: "helpCloseButton"
                    anchors.right: parent.right
                    symbol: "xmark"
                    onClicked: root.pages.closeHelp()
                }
            }

            Loader {
                objectName: "helpPageContent"
                width: parent.width
                sourceComponent: [typingPage, outcomesPage, learningPage, goalPage,
                                  voicePage][Math.max(0, Math.min(4, root.pages.helpPage))]
            }

            Item {
                width: parent.width
                height: 28
                HelpIconButton {
                    objectName: "helpBackButton"
                    anchors.left: parent.left
                    symbol: "arrow.left"
                    visible: root.pages.helpPage >= 1
                    onClicked: root.pages.navigateHelp(-1)
                }
                Text {
                    objectName: "hitNext"
                    anchors.right: nextButton.left
                    anchors.rightMargin: 8
                    anchors.verticalCenter: parent.verticalCenter
                    text: "Hit next"
                    color: Qt.rgba(1, 1, 1, 0.4)
                    font.pixelSize: 12
                    visible: opacity > 0
                    opacity: root.pages.helpPage === 1 && root.pages.showHitNext ? 1 : 0
                    Behavior on opacity { NumberAnimation { duration: 350; easing.type: Easing.InOutQuad } }
                }
                HelpIconButton {
                    id: nextButton
                    objectName: "helpNextButton"
                    anchors.right: parent.right
                    symbol: "arrow.right"
                    visible: root.pages.helpPage <= 3
                    onClicked: root.pages.navigateHelp(1)
                }
            }
        }
    }

    Component { id: typingPage; HelpTypingPage { pages: root.pages } }
    Component { id: outcomesPage; HelpOutcomesPage { pages: root.pages } }
    Component { id: learningPage; HelpLearningPage { pages: root.pages } }
    Component { id: goalPage; HelpGoalPage { pages: root.pages } }
    Component { id: voicePage; HelpVoicePage { pages: root.pages } }
}
