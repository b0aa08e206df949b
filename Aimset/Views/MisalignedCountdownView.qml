import QtQuick
import Aimset.Views

// The countdown panel: the seconds left before the tab closes and the aimset
// the activity does not match. No buttons: the countdown ends by running out
// or by the user moving to something aligned.
Item {
    id: root

    required property InterventionManager manager

    readonly property double remaining: manager ? manager.countdownRemaining : 0

    implicitWidth: 420
    implicitHeight: column.implicitHeight + 2 * column.padding

    // The card fills the panel, so the panel looks finished also where
    // windows cannot be transparent; the content sits in its middle.
    Rectangle {
        id: card
        objectName: "card"

        anchors.fill: parent
        radius: 12
        antialiasing: true
        color: Qt.rgba(0, 0, 0, 0.95)
        border.width: 1
        border.color: Qt.rgba(1, 1, 1, 0.10)

        Column {
            id: column

            readonly property int padding: 32

            x: padding
            y: Math.max(padding, (card.height - implicitHeight) / 2)
            width: card.width - 2 * padding
            spacing: 20

            Text {
                objectName: "seconds"
                width: parent.width
                text: root.remaining
                font.pixelSize: 48
                font.bold: true
                font.family: "monospace"
                color: "white"
                horizontalAlignment: Text.AlignHCenter
            }

            Text {
                objectName: "doesNotLookLike"
                width: parent.width
                text: "This doesn't look like:"
                font.pixelSize: 16
                color: Qt.rgba(1, 1, 1, 0.60)
                horizontalAlignment: Text.AlignHCenter
            }

            Text {
                objectName: "aimset"
                width: parent.width
                text: root.manager ? root.manager.currentAimset : ""
                textFormat: Text.PlainText
                font.pixelSize: 20
                font.weight: Font.DemiBold
                color: "white"
                horizontalAlignment: Text.AlignHCenter
                wrapMode: Text.Wrap
                maximumLineCount: 2
                elide: Text.ElideRight
            }

            Text {
                objectName: "tabWillClose"
                width: parent.width
                text: "Tab will close in " + root.remaining + "s"
                font.pixelSize: 14
                color: Qt.rgba(1, 1, 1, 0.40)
                horizontalAlignment: Text.AlignHCenter
            }

            Text {
                objectName: "switchHint"
                width: parent.width
                text: "Switch to something aligned to cancel"
                font.pixelSize: 13
                color: Qt.rgba(1, 1, 1, 0.30)
                horizontalAlignment: Text.AlignHCenter
            }
        }
    }
}
