import QtQuick

// A button without system chrome: a label on a rounded fill.
Rectangle {
    id: root

    property alias text: label.text
    property alias textColor: label.color
    property alias fontSize: label.font.pixelSize
    property alias fontWeight: label.font.weight
    property int horizontalInset: 24
    property int verticalInset: 12
    signal clicked()

    implicitWidth: label.implicitWidth + 2 * horizontalInset
    implicitHeight: label.implicitHeight + 2 * verticalInset
    radius: 10

    Text {
        id: label
        anchors.centerIn: parent
        font.pixelSize: 16
        font.weight: Font.Medium
        textFormat: Text.PlainText
    }

    MouseArea {
        anchors.fill: parent
        cursorShape: root.enabled ? Qt.PointingHandCursor : Qt.ArrowCursor
        onClicked: root.clicked()
    }
}
