import QtQuick
import Aimset.Views

// The help overlay: a dark scrim over the whole window (a click on it closes
// help) and, centred on it, the help card with its close button, the current
// page and the arrows. Fades in and out with `shown`. While shown it has the
// keyboard: Escape closes it, and no key reaches the field beneath.
Item {
    id: root

    required property HelpPages pages
    property bool shown: false
    // Whoever had the keyboard before help opened gets it back after.
    property Item focusBefore: null

    visible: opacity > 0
    opacity: shown ? 1 : 0
    Behavior on opacity { NumberAnimation { duration: 200; easing.type: Easing.InOutQuad } }

    onShownChanged: {
        if (shown) {
            focusBefore = Window.activeFocusItem;
            forceActiveFocus();
        } else {
            if (activeFocus && focusBefore) {
                focusBefore.forceActiveFocus();
            }
            focusBefore = null;
        }
    }
    Keys.onPressed: (event) => {
        if (!shown) {
            return;
        }
        if (event.key === Qt.Key_Escape) {
            root.pages.closeHelp();
        } else if (event.key === Qt.Key_Left && root.pages.helpPage >= 1) {
            root.pages.navigateHelp(-1);
        } else if (event.key === Qt.Key_Right && root.pages.helpPage <= 3) {
            root.pages.navigateHelp(1);
        }
        event.accepted = true;
    }

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

            // As tall as the tallest page, so the card and its arrows stay put.
            Item {
                width: parent.width
                height: tallest.height

                Loader {
                    objectName: "helpPageContent"
                    width: parent.width
                    sourceComponent: [typingPage, outcomesPage, learningPage, goalPage,
                                      voicePage][Math.max(0, Math.min(4, root.pages.helpPage))]
                }
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
                    opacity: root.pages.helpPage === 1 && root.pages.demo.showHitNext ? 1 : 0
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

    // Every page, and every stage of the outcomes page, laid out unseen at
    // the card's width, for the height of the tallest.
    Item {
        id: tallest
        objectName: "helpPageMeasure"
        width: column.width
        height: Math.max(typingMeasure.implicitHeight, introMeasure.implicitHeight,
                         onTrackMeasure.implicitHeight, questionMeasure.implicitHeight,
                         nudgeMeasure.implicitHeight, learningMeasure.implicitHeight,
                         goalMeasure.implicitHeight, voiceMeasure.implicitHeight)
        // Hidden by opacity rather than visibility, which would leave the pages
        // out of their columns' sizes; never drawn, never clicked.
        opacity: 0
        enabled: false

        HelpTypingPage { id: typingMeasure; width: parent.width; pages: root.pages }
        HelpOutcomesPage { id: introMeasure; width: parent.width; pages: root.pages; stage: -1 }
        HelpOutcomesPage { id: onTrackMeasure; width: parent.width; pages: root.pages; stage: 0 }
        HelpOutcomesPage { id: questionMeasure; width: parent.width; pages: root.pages; stage: 1 }
        HelpOutcomesPage { id: nudgeMeasure; width: parent.width; pages: root.pages; stage: 2 }
        HelpLearningPage { id: learningMeasure; width: parent.width; pages: root.pages }
        HelpGoalPage { id: goalMeasure; width: parent.width; pages: root.pages }
        HelpVoicePage { id: voiceMeasure; width: parent.width; pages: root.pages }
    }

    // The components below reach this file's `root`, which qmllint cannot
    // follow into a Component; Qt 6.4's bound components (pragma
    // ComponentBehavior) break Loaders, so those lines are marked instead.
    Component { id: typingPage; HelpTypingPage { pages: root.pages } } // qmllint disable unqualified
    Component { id: outcomesPage; HelpOutcomesPage { pages: root.pages } } // qmllint disable unqualified
    Component { id: learningPage; HelpLearningPage { pages: root.pages } } // qmllint disable unqualified
    Component { id: goalPage; HelpGoalPage { pages: root.pages } } // qmllint disable unqualified
    Component { id: voicePage; HelpVoicePage { pages: root.pages } } // qmllint disable unqualified
}
