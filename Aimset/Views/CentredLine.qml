import QtQuick

// A text as wide as its column and centred in it, white unless told.
Text {
    width: parent.width
    horizontalAlignment: Text.AlignHCenter
    color: "white"
}
