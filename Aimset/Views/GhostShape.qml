import QtQuick

// The mascot: a round head over straight sides and a wavy hem, in white.
// The one outline every ghost of the app is drawn from.
Item {
    id: root

    implicitWidth: 48
    implicitHeight: 60

    // The hem's middle wave hangs up to 3 points below the frame; the canvas
    // reaches further down so that a canvas's clipping does not cut it off.
    Canvas {
        id: canvas

        readonly property real overhang: 6

        width: root.width
        height: root.height + overhang
        onPaint: {
            const ctx = getContext("2d");
            const w = root.width;
            const h = root.height;
            ctx.reset();
            ctx.beginPath();
            ctx.moveTo(0, h);
            ctx.lineTo(0, 0.4 * h);
            // From the left side over the top to the right side (y grows downwards).
            ctx.arc(0.5 * w, 0.4 * h, 0.5 * w, Math.PI, 0, false);
            ctx.lineTo(w, h);
            // The hem's offsets are fixed points, not fractions of the frame.
            ctx.quadraticCurveTo(5 * w / 6, h - 8, 2 * w / 3, h);
            ctx.quadraticCurveTo(0.5 * w, h + 6, w / 3, h);
            ctx.quadraticCurveTo(w / 6, h - 8, 0, h);
            ctx.closePath();
            ctx.fillStyle = "white";
            ctx.fill();
        }
    }

    onWidthChanged: canvas.requestPaint()
    onHeightChanged: canvas.requestPaint()
}
