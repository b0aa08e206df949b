import QtQuick

// "Yes" or "No" of a question: filled white or outlined, its text centred.
Rectangle {
    id: root

    property alias text: label.text
    property bool filled: false
    property alias fontSize: label.font.pixelSize
    property int verticalPadding: 12

    signal clicked()

    implicitWidth: label.implicitWidth + 20
    implicitHeight: label.implicitHeight + verticalPadding
    radius: 8
    color: filled ? "white" : "transparent"
    border.width: filled ? 0 : 1
    border.color: Qt.rgba(1, 1, 1, 0.3)

    Text {
        id: label
        anchors.fill: parent
        horizontalAlignment: Text.AlignHCenter
        verticalAlignment: Text.AlignVCenter
        elide: Text.ElideRight
        color: root.filled ? "black" : Qt.rgba(1, 1, 1, 0.8)
        font.pixelSize: 12
        font.weight: Font.Medium
    }

    MouseArea {
        anchors.fill: parent
        onClicked: root.clicked()
    }
}
