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
        // The arrows do nothing past either end, as the buttons are not there.
        if (event.key === Qt.Key_Escape) {
            root.pages.closeHelp();
        } else if (event.key === Qt.Key_Left || event.key === Qt.Key_Right) {
            root.pages.navigateHelp(event.key === Qt.Key_Right ? 1 : -1);
        }
        event.accepted = true;
    }

    Rectangle {
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
        clip: true
        // An opaque dark base under the faint white fill: without a blur
        // behind it, the window's own content would show through the card.
        color: "black"

        Rectangle {
            anchors.fill: parent
            radius: parent.radius
            color: Qt.rgba(1, 1, 1, 0.14)
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

            // Every page is laid out, the others unseen, so the card is as
            // tall as the tallest and it and its arrows stay put.
            Item {
                width: parent.width
                height: childrenRect.height

                HelpTypingPage {
                    pages: root.pages
                    current: root.pages.helpPage === 0
                }
                HelpOutcomesPage {
                    pages: root.pages
                    current: root.pages.helpPage === 1
                }
                HelpLearningPage {
                    pages: root.pages
                    current: root.pages.helpPage === 2
                }
                HelpGoalPage {
                    pages: root.pages
                    current: root.pages.helpPage === 3
                }
                HelpVoicePage {
                    pages: root.pages
                    current: root.pages.helpPage === 4
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
}
