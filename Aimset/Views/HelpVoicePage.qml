import QtQuick
import Aimset.Views

// Help page 4: holding the voice hotkey and speaking replaces the aimset, shown by
// two keys going down, a listening panel filling with words and the keys
// coming back up.
HelpPage {
    id: root

    required property HelpPages pages

    title: "Changing Your Aimset"
    body: "Plans change. That's fine."
    HelpPageText {
        id: pressLine
        objectName: "pressLine"

        // The three runs of the line, the middle one standing out.
        readonly property string lead: "Press "
        readonly property string keys: KeyNames.spacedHotkey
        readonly property string tail: " at any time. Say your new aimset out loud:"

        textFormat: Text.StyledText
        text: lead + "<b><font color=\"#e6ffffff\">" + keys + "</font></b>" + tail
    }

    Row {
        objectName: "keyCaps"
        anchors.horizontalCenter: parent.horizontalCenter
        spacing: 10
        HelpKeyCap {
            objectName: "optionKey"
            text: KeyNames.modifier
            pressed: root.pages.demo.page5OptionPressed
        }
        HelpKeyCap {
            objectName: "mKey"
            text: KeyNames.letter
            pressed: root.pages.demo.page5MPressed
        }
    }

    // The panel's place is kept, so nothing jumps when it comes and goes;
    // the closing line takes it over once the panel has gone.
    Item {
        width: parent.width
        height: panel.height

        HelpMockCard {
            id: panel
            objectName: "listeningPanel"
            anchors.horizontalCenter: parent.horizontalCenter
            width: Math.min(parent.width, 300)
            height: 96
            spacing: 8
            visible: opacity > 0
            opacity: 0
            scale: 0.9

            Row {
                anchors.horizontalCenter: parent.horizontalCenter
                spacing: 8
                Rectangle {
                    anchors.verticalCenter: parent.verticalCenter
                    width: 8
                    height: 8
                    radius: 4
                    color: "#ff3b30"
                }
                Text {
                    objectName: "listening"
                    text: "Listening..."
                    color: Qt.rgba(1, 1, 1, 0.8)
                    font.pixelSize: 13
                    font.weight: Font.Medium
                }
            }
            Text {
                objectName: "transcript"
                width: parent.width
                horizontalAlignment: Text.AlignHCenter
                wrapMode: Text.Wrap
                textFormat: Text.PlainText
                text: root.pages.demo.page5Transcript
                color: Qt.rgba(1, 1, 1, 0.7)
                font.pixelSize: 13
            }

            states: State {
                name: "shown"
                when: root.pages.demo.page5ShowPanel
                PropertyChanges { target: panel; opacity: 1; scale: 1 }
            }
            transitions: [
                // A spring of 0.4 s response and 0.8 damping, in the terms of
                // SpringAnimation's 16 ms steps.
                Transition {
                    to: "shown"
                    SpringAnimation { properties: "opacity,scale"; spring: 3.95; damping: 0.4; epsilon: 0.005 }
                },
                Transition {
                    from: "shown"
                    NumberAnimation { properties: "opacity,scale"; duration: 300; easing.type: Easing.OutQuad }
                }
            ]
        }

        HelpPageText {
            objectName: "closingLine"
            anchors.verticalCenter: parent.verticalCenter
            horizontalAlignment: Text.AlignHCenter
            visible: opacity > 0
            opacity: root.pages.demo.page5ShowClosing ? 1 : 0
            Behavior on opacity { NumberAnimation { duration: 350; easing.type: Easing.InOutQuad } }
            text: "Aimset updates instantly. The AI adjusts. No friction."
        }
    }
}
