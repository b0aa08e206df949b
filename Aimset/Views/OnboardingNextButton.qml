import QtQuick

// "Next" under an onboarding page. Its place is kept while it is hidden, so
// the page does not jump when it fades in once the demonstration is over.
Item {
    id: root

    property bool shown: false
    // The button itself, for tests and for clicks.
    property alias button: button
    signal clicked()

    implicitWidth: button.implicitWidth
    implicitHeight: button.implicitHeight

    PlainButton {
        id: button
        objectName: root.objectName + "Button"
        anchors.centerIn: parent
        text: "Next"
        fontSize: 15
        horizontalInset: 36
        verticalInset: 10
        color: "white"
        textColor: "black"
        enabled: root.shown
        visible: opacity > 0
        opacity: root.shown ? 1 : 0
        Behavior on opacity { EaseOutAnimation { duration: 300 } }
        onClicked: root.clicked()
    }
}
