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
        GoalPicker {
            label: root.pages.goalLabels[Math.round(root.pages.demo.page4SliderValue)]
            fontSize: 13

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
    }

    HelpPageText {
        // Its room is kept while hidden, so nothing moves when it fades in.
        opacity: root.pages.demo.showPage4ProgressInfo ? 1 : 0
        Behavior on opacity { NumberAnimation { duration: 350; easing.type: Easing.InOutQuad } }
        text: "Once set, you'll see a progress bar and milestone notifications as you go."
    }
}
