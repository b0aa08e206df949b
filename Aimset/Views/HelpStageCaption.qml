import QtQuick

// "1 of 3" and the like above a stage of the outcomes page.
Text {
    objectName: "stageCaption"
    color: Qt.rgba(1, 1, 1, 0.5)
    font.pixelSize: 12
    font.weight: Font.Medium
}
