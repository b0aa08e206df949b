import QtQuick

// The small dark panel the help pages use to show what the app would show.
Rectangle {
    id: root

    default property alias content: column.data
    property alias spacing: column.spacing

    width: parent ? parent.width : implicitWidth
    implicitHeight: column.implicitHeight + 2 * column.padding
    radius: 10
    color: Qt.rgba(0, 0, 0, 0.9)
    border.color: Qt.rgba(1, 1, 1, 0.1)

    Column {
        id: column

        readonly property int padding: 16

        x: padding
        y: padding
        width: root.width - 2 * padding
        spacing: 12
    }
}
