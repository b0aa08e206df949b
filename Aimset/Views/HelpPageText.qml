import QtQuick

// Text of a help page: a body line by default (14 points, white at 70 %),
// a title with `title: true` (18 points, semibold, white).
Text {
    property bool title: false

    width: parent ? parent.width : implicitWidth
    wrapMode: Text.Wrap
    textFormat: Text.PlainText
    color: title ? "white" : Qt.rgba(1, 1, 1, 0.7)
    font.pixelSize: title ? 18 : 14
    font.weight: title ? Font.DemiBold : Font.Normal
}
