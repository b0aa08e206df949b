import QtQuick

// The dark card of the onboarding's drawings of a panel, its column centred
// in it `padding` from the top and bottom.
Rectangle {
    id: root

    default property alias content: column.data
    property alias spacing: column.spacing
    property int padding: 20

    implicitHeight: column.implicitHeight + 2 * padding
    radius: 12
    color: Qt.rgba(0, 0, 0, 0.92)
    border.color: Qt.rgba(1, 1, 1, 0.08)

    Column {
        id: column
        anchors.centerIn: parent
        width: root.width - 40
    }
}
