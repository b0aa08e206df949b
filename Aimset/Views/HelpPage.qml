import QtQuick

// A page of the help card, or a stage of one: a caption if it has one, its
// title and body, then what the page adds. While not `current` it is unseen,
// hidden by opacity rather than visibility so that its height still counts:
// the card is as tall as its tallest page.
Column {
    property bool current: true
    property alias caption: captionText.text
    property alias title: titleText.text
    property alias body: bodyText.text

    width: parent ? parent.width : implicitWidth
    spacing: 16
    opacity: current ? 1 : 0

    Text {
        id: captionText
        visible: text.length > 0
        color: Qt.rgba(1, 1, 1, 0.5)
        font.pixelSize: 12
        font.weight: Font.Medium
    }
    HelpPageText {
        id: titleText
        color: "white"
        font.pixelSize: 18
        font.weight: Font.DemiBold
    }
    HelpPageText {
        id: bodyText
    }
}
