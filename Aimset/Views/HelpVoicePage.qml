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
        // The keys stand out from the rest of the line.
        textFormat: Text.StyledText
        text: "Press <b><font color=\"#e6ffffff\">" + KeyNames.modifier + " + "
              + KeyNames.letter + "</font></b> at any time. Say your new aimset out loud:"
    }

    Row {
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
            anchors.horizontalCenter: parent.horizontalCenter
            width: Math.min(parent.width, 300)
            height: 96
            spacing: 8
            opacity: 0
            scale: 0.9

            ListeningRow {
                anchors.horizontalCenter: parent.horizontalCenter
            }
            CentredLine {
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
                Transition {
                    to: "shown"
                    ResponseSpring { properties: "opacity,scale" }
                },
                Transition {
                    from: "shown"
                    NumberAnimation { properties: "opacity,scale"; duration: 300; easing.type: Easing.OutQuad }
                }
            ]
        }

        HelpPageText {
            anchors.verticalCenter: parent.verticalCenter
            horizontalAlignment: Text.AlignHCenter
            visible: opacity > 0
            opacity: root.pages.demo.page5ShowClosing ? 1 : 0
            Behavior on opacity { NumberAnimation { duration: 350; easing.type: Easing.InOutQuad } }
            text: "Aimset updates instantly. The AI adjusts. No friction."
        }
    }
}
