import QtQuick

// A placeholder video tile: a faint play symbol on a rounded, barely lit tile.
Rectangle {
    implicitWidth: 120
    implicitHeight: 80
    radius: 6
    color: Qt.rgba(1, 1, 1, 0.06)

    Canvas {
        anchors.centerIn: parent
        width: 20
        height: 20
        onPaint: {
            const ctx = getContext("2d");
            ctx.reset();
            ctx.beginPath();
            ctx.moveTo(3, 1);
            ctx.lineTo(18, 10);
            ctx.lineTo(3, 19);
            ctx.closePath();
            ctx.fillStyle = Qt.rgba(1, 1, 1, 0.15);
            ctx.fill();
        }
    }
}
