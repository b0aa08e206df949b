import QtQuick

// A round icon button of the help card: a drawn symbol ("xmark",
// "arrow.left" or "arrow.right") on a faint circle, no system chrome.
Rectangle {
    id: root

    property string symbol: "xmark"
    signal clicked()

    width: 28
    height: 28
    radius: 14
    color: Qt.rgba(1, 1, 1, 0.12)

    // The symbol's 13-point box, stroked at a medium weight.
    Canvas {
        id: glyph
        anchors.centerIn: parent
        width: 13
        height: 13
        onPaint: {
            const ctx = getContext("2d");
            const s = width;
            ctx.reset();
            ctx.strokeStyle = Qt.rgba(1, 1, 1, 0.6);
            ctx.lineWidth = 1.7;
            ctx.lineCap = "round";
            ctx.lineJoin = "round";
            ctx.beginPath();
            if (root.symbol === "xmark") {
                ctx.moveTo(1.5, 1.5);
                ctx.lineTo(s - 1.5, s - 1.5);
                ctx.moveTo(s - 1.5, 1.5);
                ctx.lineTo(1.5, s - 1.5);
            } else {
                // Drawn pointing left, mirrored for the right arrow.
                const left = root.symbol === "arrow.left";
                const tip = left ? 1 : s - 1;
                const tail = left ? s - 1 : 1;
                const head = left ? 1 + 0.42 * s : s - 1 - 0.42 * s;
                ctx.moveTo(tail, s / 2);
                ctx.lineTo(tip, s / 2);
                ctx.moveTo(head, s / 2 - 0.42 * s);
                ctx.lineTo(tip, s / 2);
                ctx.lineTo(head, s / 2 + 0.42 * s);
            }
            ctx.stroke();
        }
    }
    onSymbolChanged: glyph.requestPaint()

    MouseArea {
        anchors.fill: parent
        cursorShape: Qt.PointingHandCursor
        onClicked: root.clicked()
    }
}
