import QtQuick
import QtQuick.Controls.Basic

// The focus goal's slider, drawn flat: a thin track, filled white up to a
// round white handle.
Slider {
    id: slider

    property int handleSize: 18

    background: Rectangle {
        x: slider.leftPadding
        y: slider.topPadding + slider.availableHeight / 2 - height / 2
        width: slider.availableWidth
        height: 4
        radius: 2
        color: Qt.rgba(1, 1, 1, 0.2)
        Rectangle {
            width: slider.visualPosition * parent.width
            height: parent.height
            radius: 2
            color: "white"
        }
    }
    handle: Rectangle {
        x: slider.leftPadding + slider.visualPosition * (slider.availableWidth - width)
        y: slider.topPadding + slider.availableHeight / 2 - height / 2
        width: slider.handleSize
        height: slider.handleSize
        radius: slider.handleSize / 2
        color: "white"
    }
}
