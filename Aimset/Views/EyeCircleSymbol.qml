import QtQuick

// An eye inside a circle, drawn in thin white strokes: the sign of screen
// access.
Canvas {
    implicitWidth: 48
    implicitHeight: 48

    onPaint: {
        const ctx = getContext("2d");
        const s = Math.min(width, height);
        const c = s / 2;
        ctx.reset();
        ctx.strokeStyle = "white";
        ctx.fillStyle = "white";
        ctx.lineWidth = 1.5;
        // The ring.
        ctx.beginPath();
        ctx.arc(c, c, c - 1, 0, 2 * Math.PI, false);
        ctx.stroke();
        // The eye's outline: two arcs meeting at the corners.
        const half = 0.3 * s;
        ctx.beginPath();
        ctx.moveTo(c - half, c);
        ctx.quadraticCurveTo(c, c - 0.5 * half * 1.3, c + half, c);
        ctx.quadraticCurveTo(c, c + 0.5 * half * 1.3, c - half, c);
        ctx.closePath();
        ctx.stroke();
        // The pupil.
        ctx.beginPath();
        ctx.arc(c, c, 0.08 * s, 0, 2 * Math.PI, false);
        ctx.fill();
    }
}
