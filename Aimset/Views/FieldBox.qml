import QtQuick

// A plain text field on a soft rounded box; Return runs accepted().
Rectangle {
    id: root

    property alias text: input.text
    property string placeholder
    property alias input: input
    signal accepted()

    implicitHeight: input.implicitHeight + 28
    radius: 10
    color: Qt.rgba(1, 1, 1, 0.08)
    border.color: Qt.rgba(1, 1, 1, 0.15)

    TextInput {
        id: input
        anchors.fill: parent
        anchors.margins: 14
        color: "white"
        font.pixelSize: 16
        clip: true
        selectByMouse: true
        selectionColor: Qt.rgba(1, 1, 1, 0.3)
        verticalAlignment: TextInput.AlignVCenter
        onAccepted: root.accepted()

        Text {
            anchors.fill: parent
            verticalAlignment: Text.AlignVCenter
            text: root.placeholder
            color: Qt.rgba(1, 1, 1, 0.35)
            font.pixelSize: 16
            visible: input.text.length === 0
            elide: Text.ElideRight
        }
    }
}
