import QtQuick
import Aimset.Views
import QtQuick.Controls.Basic

// The screen that opens every focus session: the aimset and a goal.
Rectangle {
    id: root

    required property LaunchModal modal

    color: "black"

    Column {
        anchors.centerIn: parent
        width: Math.min(400, root.width - 48)
        spacing: 32

        Text {
            anchors.horizontalCenter: parent.horizontalCenter
            text: "What's your aimset today?"
            color: "white"
            font.pixelSize: 32
            font.weight: Font.DemiBold
        }

        FieldBox {
            id: field
            objectName: "aimsetField"
            width: parent.width
            placeholder: "e.g. finish the quarterly report"
            text: root.modal ? root.modal.aimsetText : ""
            onTextChanged: if (root.modal && root.modal.aimsetText !== text) root.modal.aimsetText = text
            onAccepted: root.modal.submitLaunch()
            Component.onCompleted: input.forceActiveFocus()
        }

        GoalPicker {
            label: root.modal ? root.modal.goalLabel : ""

            GoalSlider {
                objectName: "goalSlider"
                width: parent.width
                to: root.modal ? root.modal.goalCount - 1 : 6
                stepSize: 1
                snapMode: Slider.SnapAlways
                // Dragging leaves the keyboard with the field, so Return still
                // starts; reached by Tab, Return starts from here too.
                focusPolicy: Qt.TabFocus
                Keys.onReturnPressed: root.modal.submitLaunch()
                Keys.onEnterPressed: root.modal.submitLaunch()
                value: root.modal ? root.modal.goalIndex : 0
                onMoved: root.modal.goalIndex = Math.round(value)
            }
        }

        PlainButton {
            anchors.horizontalCenter: parent.horizontalCenter
            width: Math.min(200, parent.width)
            text: "Start session"
            enabled: root.modal ? root.modal.canStart : false
            color: enabled ? "white" : Qt.rgba(1, 1, 1, 0.1)
            textColor: enabled ? "black" : "gray"
            onClicked: root.modal.submitLaunch()
        }
    }
}
