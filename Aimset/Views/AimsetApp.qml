import QtQuick
import Aimset.Views
import QtQuick.Window

// The application's one window: black, at least 600 × 500, holding the main view.
Window {
    id: window

    required property ContentCoordinator view
    property var startAtLogin: null

    width: 720
    height: 560
    minimumWidth: 600
    minimumHeight: 500
    visible: true
    color: "black"
    title: "Aimset"

    ContentView {
        anchors.fill: parent
        view: window.view
        startAtLogin: window.startAtLogin
    }
}
