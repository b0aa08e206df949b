import QtQuick

// A line of a help page's text: 14 points, white at 70 %, wrapped.
Text {
    width: parent ? parent.width : implicitWidth
    wrapMode: Text.Wrap
    textFormat: Text.PlainText
    color: Qt.rgba(1, 1, 1, 0.7)
    font.pixelSize: 14
}
