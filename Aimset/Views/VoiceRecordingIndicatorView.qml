import QtQuick
import Aimset.Views

// The floating card shown while the user holds the voice hotkey: a red dot and
// "Listening...", the words recognised so far, and how to finish. Nothing in
// it animates; it follows the manager's published state as it changes.
Rectangle {
    id: card

    // The VoiceAimsetManager whose recording this shows.
    property VoiceAimsetManager manager: null
    readonly property string transcription: manager ? manager.currentTranscription : ""
    readonly property real horizontalPadding: 24
    readonly property real verticalPadding: 16

    implicitWidth: content.implicitWidth + 2 * horizontalPadding
    implicitHeight: content.implicitHeight + 2 * verticalPadding
    radius: 12
    color: Qt.rgba(0, 0, 0, 0.95)
    border.color: Qt.rgba(1, 1, 1, 0.1)

    Column {
        id: content

        // Centred, also in a panel wider than the card asked for.
        anchors.horizontalCenter: parent.horizontalCenter
        y: card.verticalPadding
        spacing: 8

        ListeningRow {
            anchors.horizontalCenter: parent.horizontalCenter
            label.font.pixelSize: 14
        }

        // Only while something has been recognised; a column skips it when hidden.
        Text {
            objectName: "transcriptionLabel"
            anchors.horizontalCenter: parent.horizontalCenter
            visible: card.transcription.length > 0
            // The card grows with the words up to 300 wide; past it they
            // wrap, to two lines at most.
            width: Math.min(implicitWidth, 300 - 2 * card.horizontalPadding)
            text: card.transcription
            textFormat: Text.PlainText
            font.pixelSize: 16
            color: Qt.rgba(1, 1, 1, 0.7)
            horizontalAlignment: Text.AlignHCenter
            wrapMode: Text.Wrap
            maximumLineCount: 2
            elide: Text.ElideRight
        }

        Text {
            anchors.horizontalCenter: parent.horizontalCenter
            text: "Release " + KeyNames.hotkey + " to set aimset"
            font.pixelSize: 12
            color: Qt.rgba(1, 1, 1, 0.4)
        }
    }
}
