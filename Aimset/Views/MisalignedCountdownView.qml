import QtQuick
import Aimset.Views

// The countdown panel: the seconds left before the tab closes and the aimset
// the activity does not match. No buttons: the countdown ends by running out
// or by the user moving to something aligned.
PanelCard {
    id: root

    required property InterventionManager manager

    readonly property double remaining: manager ? manager.countdownRemaining : 0

    CentredLine {
        text: root.remaining
        font.pixelSize: 48
        font.bold: true
        font.family: "monospace"
    }
    CentredLine {
        text: "This doesn't look like:"
        font.pixelSize: 16
        color: Qt.rgba(1, 1, 1, 0.60)
    }
    CentredLine {
        text: root.manager ? root.manager.currentAimset : ""
        textFormat: Text.PlainText
        font.pixelSize: 20
        font.weight: Font.DemiBold
        wrapMode: Text.Wrap
        maximumLineCount: 2
        elide: Text.ElideRight
    }
    CentredLine {
        text: "Tab will close in " + root.remaining + "s"
        font.pixelSize: 14
        color: Qt.rgba(1, 1, 1, 0.40)
    }
    CentredLine {
        text: "Switch to something aligned to cancel"
        font.pixelSize: 13
        color: Qt.rgba(1, 1, 1, 0.30)
    }
}
