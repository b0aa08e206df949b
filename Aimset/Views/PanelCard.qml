import QtQuick

// The card of a floating panel. It fills the panel, so the panel looks
// finished also where windows cannot be transparent; the content, a column,
// sits in its middle.
Item {
    id: root

    default property alias content: column.data
    readonly property int padding: 32

    implicitWidth: 420
    implicitHeight: column.implicitHeight + 2 * padding

    Rectangle {
        id: card

        anchors.fill: parent
        radius: 12
        color: Qt.rgba(0, 0, 0, 0.95)
        border.color: Qt.rgba(1, 1, 1, 0.10)

        Column {
            id: column
            x: root.padding
            y: Math.max(root.padding, (card.height - implicitHeight) / 2)
            width: card.width - 2 * root.padding
            spacing: 20
        }
    }
}
