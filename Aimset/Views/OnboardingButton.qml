import QtQuick

// A button of the onboarding pages, "Next" unless told otherwise. Hidden by
// opacity alone, so its place is kept and the page does not jump when "Next"
// fades in once the demonstration is over.
PlainButton {
    property bool shown: true

    anchors.horizontalCenter: parent.horizontalCenter
    text: "Next"
    fontSize: 15
    horizontalInset: 36
    verticalInset: 10
    color: "white"
    textColor: "black"
    enabled: shown
    opacity: shown ? 1 : 0
    Behavior on opacity { EaseOutAnimation { duration: 300 } }
}
