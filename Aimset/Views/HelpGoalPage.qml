import QtQuick
import Aimset.Views

// Help page 3: the optional focus goal, shown by a goal picker that moves
// itself to two hours.
HelpPage {
    id: root

    required property HelpPages pages

    title: "Setting a Focus Goal"
    body: "You can optionally set a focus goal using the slider. Choose anywhere from 30 minutes to 3 hours."

    HelpMockCard {
        spacing: 8

        Item {
            width: parent.width
            height: goalLabel.implicitHeight
            Text {
                text: "Focus goal"
                color: Qt.rgba(1, 1, 1, 0.5)
                font.pixelSize: 13
            }
            Text {
                id: goalLabel
                anchors.right: parent.right
                text: root.pages.goalLabels[Math.round(root.pages.demo.page4SliderValue)]
                color: Qt.rgba(1, 1, 1, 0.8)
                font.pixelSize: 13
                font.weight: Font.Medium
            }
        }

        GoalSlider {
            objectName: "goalSlider"
            width: parent.width
            to: 6
            enabled: false // a demonstration, not a control
            value: root.pages.demo.page4SliderValue
            Behavior on value { NumberAnimation { duration: 300; easing.type: Easing.InOutQuad } }
            handleSize: 16
        }
    }

    HelpPageText {
        // Its room is kept while hidden, so nothing moves when it fades in.
        opacity: root.pages.demo.showPage4ProgressInfo ? 1 : 0
        Behavior on opacity { NumberAnimation { duration: 350; easing.type: Easing.InOutQuad } }
        text: "Once set, you'll see a progress bar and milestone notifications as you go."
    }
}
