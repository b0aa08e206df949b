import QtQuick
import Aimset.Views

// The main window's content: the layers of the session, launch modal,
// onboarding and help, drawn from the C++ ContentView.
Rectangle {
    id: root

    required property ContentCoordinator view
    // Starting at login, from the desktop's adapter (an object with a boolean
    // `enabled` and a text `unavailableReason`); none hides the switch.
    property var startAtLogin: null

    color: "black"

    // A line that fades in with its message and out with the last one it
    // showed; its height is kept while empty, so nothing below it moves.
    component MessageLine: Text {
        id: line
        required property string message
        property string lastMessage: message
        onMessageChanged: if (message.length > 0) lastMessage = message
        anchors.horizontalCenter: parent.horizontalCenter
        horizontalAlignment: Text.AlignHCenter
        // A no-break space holds the line before the first message.
        text: lastMessage.length > 0 ? lastMessage : "\u00a0"
        textFormat: Text.PlainText
        opacity: message.length > 0 ? 1 : 0
        Behavior on opacity { NumberAnimation { duration: 300; easing.type: Easing.InOutQuad } }
    }

    // ---- the session: running panel or summary ----------------------------------------
    Item {
        anchors.fill: parent
        visible: !root.view.showLaunchModal

        Column {
            objectName: "runningPanel"
            anchors.centerIn: parent
            width: Math.min(parent.width - 48, 520)
            spacing: 24
            visible: !root.view.session.sessionEnded

            CentredLine {
                objectName: "aimsetText"
                wrapMode: Text.Wrap
                text: root.view.session.aimset
                textFormat: Text.PlainText
                font.pixelSize: 20
                font.weight: Font.DemiBold
            }

            Column {
                width: parent.width
                spacing: 16
                visible: root.view.session.hasSessionStart

                Text {
                    anchors.horizontalCenter: parent.horizontalCenter
                    text: root.view.session.focusedText
                    color: "white"
                    font.pixelSize: 48
                    font.bold: true
                    font.family: "monospace"
                }

                Column {
                    anchors.horizontalCenter: parent.horizontalCenter
                    spacing: 8
                    visible: root.view.session.focusGoalMinutes >= 1

                    // The goal's progress: a faint track, filled white so far.
                    Rectangle {
                        width: Math.min(300, root.width - 48)
                        height: 6
                        radius: 3
                        color: Qt.rgba(1, 1, 1, 0.15)
                        Rectangle {
                            width: parent.width * root.view.session.goalProgress
                            height: parent.height
                            radius: 3
                            color: "white"
                        }
                    }
                    Text {
                        anchors.horizontalCenter: parent.horizontalCenter
                        text: root.view.session.goalProgressText
                        color: Qt.rgba(1, 1, 1, 0.5)
                        font.pixelSize: 14
                    }
                }
            }

            // Milestones come and go, and the warning comes late in the
            // session: both lines are always there, so the buttons never move.
            Column {
                width: parent.width
                spacing: 8
                MessageLine {
                    objectName: "milestoneText"
                    message: root.view.session.milestoneMessage
                    color: Qt.rgba(1, 1, 1, 0.6)
                    font.pixelSize: 16
                }
                MessageLine {
                    message: root.view.session.sessionWarningMessage
                    color: Qt.rgba(1, 0.65, 0, 0.8)
                    font.pixelSize: 14
                }
            }

            Row {
                anchors.horizontalCenter: parent.horizontalCenter
                spacing: 12

                PlainButton {
                    objectName: "endSessionButton"
                    text: "End session"
                    color: Qt.rgba(1, 1, 1, 0.1)
                    textColor: "white"
                    onClicked: root.view.session.endSession()
                }
                PlainButton {
                    objectName: "changeAimsetButton"
                    text: "Change aimset"
                    color: Qt.rgba(1, 1, 1, 0.05)
                    textColor: Qt.rgba(1, 1, 1, 0.5)
                    onClicked: root.view.session.beginChangeAimset()
                }
            }

            // The editor's room is kept below the buttons whether it is open
            // or not, so opening it moves nothing above.
            Item {
                width: parent.width
                height: newAimsetField.implicitHeight + aimsetEditor.spacing
                        + editorButtons.implicitHeight

                Column {
                    id: aimsetEditor
                    anchors.horizontalCenter: parent.horizontalCenter
                    width: Math.min(300, parent.width)
                    spacing: 12
                    visible: root.view.session.isChangingAimset

                    FieldBox {
                        id: newAimsetField
                        objectName: "newAimsetField"
                        width: parent.width
                        placeholder: "What are you working on now?"
                        text: root.view.session.newAimsetText
                        onTextChanged: if (root.view.session.newAimsetText !== text) root.view.session.newAimsetText = text
                        onAccepted: root.view.session.submitNewAimset()
                        onVisibleChanged: if (visible) input.forceActiveFocus()
                    }
                    Row {
                        id: editorButtons
                        anchors.horizontalCenter: parent.horizontalCenter
                        spacing: 12
                        PlainButton {
                            objectName: "updateAimsetButton"
                            text: "Update aimset"
                            fontSize: 14
                            horizontalInset: 20
                            verticalInset: 8
                            radius: 8
                            color: "white"
                            textColor: "black"
                            onClicked: root.view.session.submitNewAimset()
                        }
                        PlainButton {
                            text: "Cancel"
                            fontSize: 14
                            fontWeight: Font.Normal
                            horizontalInset: 20
                            verticalInset: 8
                            color: "transparent"
                            textColor: Qt.rgba(1, 1, 1, 0.5)
                            onClicked: root.view.session.cancelChangeAimset()
                        }
                    }
                }

                Row {
                    anchors.horizontalCenter: parent.horizontalCenter
                    spacing: 8
                    visible: !root.view.session.isChangingAimset && root.view.appMonitor.isTemporaryAimset

                    Text {
                        anchors.verticalCenter: parent.verticalCenter
                        text: "Temporary aimset"
                        color: Qt.rgba(1, 1, 1, 0.5)
                        font.pixelSize: 12
                    }
                    PlainButton {
                        text: "Restore original"
                        fontSize: 12
                        fontWeight: Font.Normal
                        horizontalInset: 0
                        verticalInset: 0
                        color: "transparent"
                        textColor: Qt.rgba(1, 1, 1, 0.7)
                        onClicked: root.view.restoreOriginalAimset()
                    }
                }
            }
        }

        Column {
            anchors.centerIn: parent
            spacing: 24
            visible: root.view.session.sessionEnded

            Text {
                anchors.horizontalCenter: parent.horizontalCenter
                text: "Session complete"
                color: "white"
                font.pixelSize: 24
                font.weight: Font.DemiBold
            }
            Text {
                anchors.horizontalCenter: parent.horizontalCenter
                text: "You were focused for:"
                color: Qt.rgba(1, 1, 1, 0.6)
                font.pixelSize: 16
            }
            Text {
                anchors.horizontalCenter: parent.horizontalCenter
                text: root.view.session.summaryDurationText
                color: "white"
                font.pixelSize: 48
                font.bold: true
                font.family: "monospace"
            }
            Text {
                anchors.horizontalCenter: parent.horizontalCenter
                visible: root.view.session.focusGoalMinutes >= 1
                text: root.view.session.summaryGoalText
                color: root.view.session.summaryGoalReached ? Qt.rgba(1, 1, 1, 0.8) : Qt.rgba(1, 1, 1, 0.5)
                font.pixelSize: 16
                font.weight: root.view.session.summaryGoalReached ? Font.Medium : Font.Normal
            }
            // 8 points more above the button than between the other items.
            Item {
                anchors.horizontalCenter: parent.horizontalCenter
                width: startNewSession.width
                height: startNewSession.height + 8
                PlainButton {
                    id: startNewSession
                    anchors.bottom: parent.bottom
                    text: "Start new session"
                    horizontalInset: 32
                    color: "white"
                    textColor: "black"
                    onClicked: root.view.startNewSession()
                }
            }
        }
    }

    // ---- the launch modal ------------------------------------------------------------
    // Loaded while it shows or fades out.
    // The two layers' components reach this file's `root`, which qmllint cannot
    // follow into a Component; Qt 6.4's bound components (pragma
    // ComponentBehavior) break Loaders, so those lines are marked instead.
    Loader {
        objectName: "launchModalLayer"
        readonly property bool shown: root.view.showLaunchModal && root.view.hasCompletedOnboarding
        anchors.fill: parent
        active: shown || opacity > 0
        visible: opacity > 0
        // Fading out, it takes neither clicks nor keys from the session beneath.
        enabled: shown
        opacity: shown ? 1 : 0
        Behavior on opacity { NumberAnimation { duration: 300; easing.type: Easing.InOutQuad } }
        sourceComponent: LaunchModalView { modal: root.view.launchModal } // qmllint disable unqualified
    }

    // ---- onboarding ------------------------------------------------------------------
    // Loaded while it shows or fades out; unloading it stops its pages.
    Loader {
        objectName: "onboardingLayer"
        anchors.fill: parent
        active: !root.view.hasCompletedOnboarding || opacity > 0
        visible: opacity > 0
        opacity: root.view.hasCompletedOnboarding ? 0 : 1
        Behavior on opacity { NumberAnimation { duration: 300; easing.type: Easing.InOutQuad } }
        sourceComponent: OnboardingView { onboarding: root.view.onboarding } // qmllint disable unqualified
    }

    // ---- start at login, on the launch screen -----------------------------------------
    Row {
        objectName: "startAtLoginSwitch"
        anchors.left: parent.left
        anchors.bottom: parent.bottom
        anchors.leftMargin: 16
        anchors.bottomMargin: 14
        spacing: 8
        visible: root.startAtLogin !== null && root.view.hasCompletedOnboarding
                 && root.view.showLaunchModal
        readonly property bool on: root.startAtLogin !== null && root.startAtLogin.enabled
        // Why it cannot be switched on (a copy that is not installed); shown
        // beside it instead of a switch that does nothing.
        readonly property string unavailableReason: root.startAtLogin !== null
                                                    ? root.startAtLogin.unavailableReason : ""

        Rectangle {
            anchors.verticalCenter: parent.verticalCenter
            width: 14
            height: 14
            radius: 3
            color: parent.on ? Qt.rgba(1, 1, 1, 0.7) : "transparent"
            border.color: Qt.rgba(1, 1, 1, parent.unavailableReason === "" ? 0.4 : 0.15)
        }
        Text {
            anchors.verticalCenter: parent.verticalCenter
            text: "Start at login"
            color: Qt.rgba(1, 1, 1, parent.unavailableReason === "" ? 0.5 : 0.25)
            font.pixelSize: 12
        }
        Text {
            objectName: "startAtLoginUnavailable"
            anchors.verticalCenter: parent.verticalCenter
            visible: parent.unavailableReason !== ""
            width: Math.min(implicitWidth, root.width - 180)
            text: parent.unavailableReason
            textFormat: Text.PlainText
            elide: Text.ElideMiddle
            color: Qt.rgba(1, 1, 1, 0.35)
            font.pixelSize: 11
        }
        TapHandler {
            enabled: parent.unavailableReason === ""
            onTapped: root.startAtLogin.enabled = !root.startAtLogin.enabled
        }
    }

    // ---- help ------------------------------------------------------------------------
    PlainButton {
        objectName: "helpButton"
        anchors.top: parent.top
        anchors.right: parent.right
        anchors.topMargin: 12
        anchors.rightMargin: 16
        visible: root.view.hasCompletedOnboarding
        width: 28
        height: 28
        radius: 14
        text: "?"
        fontSize: 14
        color: Qt.rgba(1, 1, 1, 0.1)
        textColor: Qt.rgba(1, 1, 1, 0.5)
        onClicked: root.view.toggleHelp()
    }

    // In front of everything, the "?" button included.
    HelpOverlay {
        objectName: "helpOverlay"
        anchors.fill: parent
        pages: root.view.helpPages
        shown: root.view.showHelp
    }
}
