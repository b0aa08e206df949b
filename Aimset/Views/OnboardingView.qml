import QtQuick
import Aimset.Views

// The first-run pages, drawn from the C++ OnboardingView: what each page
// reveals and when is decided there; here it fades, pops and presses.
Rectangle {
    id: root

    required property OnboardingFlow onboarding

    color: "black"

    // The sequences play only while the pages are on screen.
    Component.onCompleted: onboarding.setShown(visible)
    Component.onDestruction: onboarding.setShown(false)
    onVisibleChanged: onboarding.setShown(visible)

    // A centred line: white at `alpha`, `size` pixels.
    component Line: Text {
        property real alpha: 1
        property int size: 16
        anchors.horizontalCenter: parent.horizontalCenter
        horizontalAlignment: Text.AlignHCenter
        color: Qt.rgba(1, 1, 1, alpha)
        font.pixelSize: size
    }
    component Headline: Line {
        size: 26
        font.weight: Font.DemiBold
    }
    // A note of the permission page, wrapped to at most 500 pixels.
    component Note: Line {
        width: Math.min(implicitWidth, 500, parent.width)
        wrapMode: Text.Wrap
        textFormat: Text.PlainText
        alpha: 0.4
    }

    // A page, centred, cross-fading with the next.
    component Page: Column {
        property bool current: false
        anchors.centerIn: parent
        width: parent.width - 64
        spacing: 24
        visible: opacity > 0
        opacity: current ? 1 : 0
        Behavior on opacity { EaseInOutAnimation { duration: 300 } }
    }

    // A text that fades in when its flag is set.
    component Reveal: Line {
        id: reveal
        property bool shown: false
        property int revealDuration: 500
        opacity: shown ? 1 : 0
        Behavior on opacity { EaseOutAnimation { duration: reveal.revealDuration } }
    }

    // Each phase fills the same stage and cross-fades with the next. The
    // three outcomes start at its top under their step, title and body, so
    // these stay in one place whatever card comes below them.
    component Phase: Column {
        id: phase
        property bool current: false
        property bool centred: false
        property alias step: stepLine.text
        property alias title: titleLine.text
        property alias body: bodyLine.text
        y: centred ? (parent.height - height) / 2 : 0
        width: parent.width
        spacing: 14
        visible: opacity > 0
        opacity: current ? 1 : 0
        Behavior on opacity { EaseInOutAnimation { duration: 400 } }

        Line {
            id: stepLine
            visible: !phase.centred
            alpha: 0.4
            size: 13
            font.weight: Font.Medium
        }
        Headline {
            id: titleLine
            size: phase.centred ? 26 : 24
        }
        Line {
            id: bodyLine
            alpha: phase.centred ? 0.5 : 0.6
            size: phase.centred ? 16 : 15
        }
    }

    // ---- page 0: drifting, and the nudge back -------------------------------------------
    Page {
        current: root.onboarding.currentPage === 0

        Reveal {
            shown: root.onboarding.demo.showHeadline
            text: "Aimset nudges you back\nwhen you drift."
            size: 26
            font.weight: Font.DemiBold
        }

        Rectangle {
            anchors.horizontalCenter: parent.horizontalCenter
            width: Math.min(460, parent.width)
            height: titleBar.height + content.height
            radius: 10
            color: Qt.rgba(1, 1, 1, 0.03)
            border.color: Qt.rgba(1, 1, 1, 0.12)
            opacity: root.onboarding.demo.showBrowserFrame ? 1 : 0
            Behavior on opacity { EaseOutAnimation { duration: 500 } }

            Item {
                id: titleBar
                width: parent.width
                height: 30

                Row {
                    anchors.left: parent.left
                    anchors.leftMargin: 12
                    anchors.verticalCenter: parent.verticalCenter
                    spacing: 6
                    Repeater {
                        model: 3
                        Rectangle {
                            width: 9
                            height: 9
                            radius: 4.5
                            color: Qt.rgba(1, 1, 1, 0.2)
                        }
                    }
                }
                Rectangle {
                    anchors.centerIn: parent
                    width: Math.min(240, parent.width - 140)
                    height: 18
                    radius: 5
                    color: Qt.rgba(1, 1, 1, 0.08)
                    Text {
                        anchors.centerIn: parent
                        text: "youtube.com/watch?v=late-night-highlights"
                        width: parent.width - 12
                        horizontalAlignment: Text.AlignHCenter
                        elide: Text.ElideRight
                        color: Qt.rgba(1, 1, 1, 0.5)
                        font.pixelSize: 11
                    }
                }
                Rectangle {
                    anchors.bottom: parent.bottom
                    width: parent.width
                    height: 1
                    color: Qt.rgba(1, 1, 1, 0.08)
                }
            }

            Item {
                id: content
                anchors.top: titleBar.bottom
                width: parent.width
                height: 200
                clip: true

                Grid {
                    anchors.fill: parent
                    anchors.margins: 12
                    columns: 3
                    spacing: 10
                    Repeater {
                        model: 6
                        FakeThumbnail {
                            width: (parent.width - 20) / 3
                            height: (parent.height - 10) / 2
                        }
                    }
                }

                InterventionDemo {
                    anchors.centerIn: parent
                    countdown: root.onboarding.demo.countdownValue
                    opacity: root.onboarding.demo.showIntervention ? 1 : 0
                    scale: root.onboarding.demo.showIntervention ? 1 : 0.95
                    Behavior on opacity { ResponseSpring {} }
                    Behavior on scale { ResponseSpring {} }
                }
            }
        }

        OnboardingButton {
            shown: root.onboarding.demo.showButton
            onClicked: root.onboarding.next()
        }
    }

    // ---- page 1: the three things that can happen ---------------------------------------
    Page {
        current: root.onboarding.currentPage === 1

        Item {
            id: stage
            width: parent.width
            height: 380

            Phase {
                centred: true
                current: root.onboarding.demo.stagesPhase === 0
                title: "Aimset knows if you're\ndistracted or focused"
                body: "Based on what you're doing,\none of three things happens:"
            }

            Phase {
                current: root.onboarding.demo.stagesPhase === 1
                step: "1 of 3"
                title: "Nothing (You're on track)"
                body: "If what you're doing matches your goal,\nthe app stays invisible."
                Item {
                    anchors.horizontalCenter: parent.horizontalCenter
                    width: 48
                    height: 100
                    GhostShape {
                        anchors.centerIn: parent
                        opacity: root.onboarding.demo.stagesGhostRisen ? 0.15 : 0
                        transform: Translate { y: root.onboarding.demo.stagesGhostRisen ? -6 : 0
                            Behavior on y { EaseInOutAnimation { duration: 1500 } }
                        }
                        Behavior on opacity { EaseInOutAnimation { duration: 1500 } }
                    }
                }
            }

            Phase {
                current: root.onboarding.demo.stagesPhase === 2
                step: "2 of 3"
                title: "A Quick Question"
                body: "If Aimset isn't certain, a small popup appears:"
                Item { width: 1; height: 6 }
                OnboardingQuestionDemo {
                    anchors.horizontalCenter: parent.horizontalCenter
                    opacity: root.onboarding.demo.showStagesQuestionUI ? 1 : 0
                    scale: root.onboarding.demo.showStagesQuestionUI ? 1 : 0.95
                    Behavior on opacity { EaseInOutAnimation { duration: 350 } }
                    Behavior on scale { EaseInOutAnimation { duration: 350 } }
                }
            }

            Phase {
                current: root.onboarding.demo.stagesPhase === 3
                step: "3 of 3"
                title: "A Nudge (You've drifted)"
                body: "If you get distracted, a warning appears\nwith a 15-second timer."
                Item { width: 1; height: 6 }
                InterventionDemo {
                    anchors.horizontalCenter: parent.horizontalCenter
                    countdown: root.onboarding.demo.stagesCountdownValue
                    aimset: "Study for biology exam"
                    opacity: root.onboarding.demo.showStagesNudgeUI ? 1 : 0
                    scale: root.onboarding.demo.showStagesNudgeUI ? 1 : 0.95
                    Behavior on opacity { EaseInOutAnimation { duration: 350 } }
                    Behavior on scale { EaseInOutAnimation { duration: 350 } }
                }
                Line {
                    text: "15 seconds is enough to save anything important.\nNot enough to keep procrastinating."
                    alpha: 0.5
                    size: 14
                    opacity: root.onboarding.demo.showStagesClosing ? 1 : 0
                    Behavior on opacity { EaseInOutAnimation { duration: 350 } }
                }
            }
        }

        OnboardingButton {
            shown: root.onboarding.demo.showStagesButton
            onClicked: root.onboarding.next()
        }
    }

    // ---- page 2: a new aimset by voice ---------------------------------------------------
    Page {
        current: root.onboarding.currentPage === 2

        Column {
            anchors.horizontalCenter: parent.horizontalCenter
            spacing: 10
            opacity: root.onboarding.demo.showVoiceHeadline ? 1 : 0
            Behavior on opacity { EaseOutAnimation { duration: 500 } }

            Headline {
                text: "Change your aimset\non the fly."
            }
            Line {
                text: "Plans change. That's fine."
                alpha: 0.5
            }
        }

        Row {
            anchors.horizontalCenter: parent.horizontalCenter
            spacing: 12
            opacity: root.onboarding.demo.showKeyboardHint ? 1 : 0
            Behavior on opacity { EaseOutAnimation { duration: 400 } }

            KeyCap {
                objectName: "optionKey"
                label: KeyNames.modifier
                isPressed: root.onboarding.demo.optionKeyPressed
            }
            Text {
                anchors.verticalCenter: parent.verticalCenter
                text: "+"
                color: Qt.rgba(1, 1, 1, 0.4)
                font.pixelSize: 20
                font.weight: Font.Medium
            }
            KeyCap {
                objectName: "mKey"
                label: KeyNames.letter
                isPressed: root.onboarding.demo.mKeyPressed
            }
        }

        // Hidden by opacity alone, so its room is kept while it is away.
        VoicePanelDemo {
            id: voicePanel
            anchors.horizontalCenter: parent.horizontalCenter
            transcript: root.onboarding.demo.voiceTranscript
            opacity: 0
            scale: 0.95
            states: State {
                name: "shown"
                when: root.onboarding.demo.showVoicePanel
                PropertyChanges { target: voicePanel; opacity: 1; scale: 1 }
            }
            // Pops in on a spring, slips away on an ease-out.
            transitions: [
                Transition {
                    to: "shown"
                    ResponseSpring { properties: "opacity,scale" }
                },
                Transition {
                    to: ""
                    EaseOutAnimation { properties: "opacity,scale"; duration: 300 }
                }
            ]
        }

        Reveal {
            shown: root.onboarding.demo.showVoiceButton
            revealDuration: 300
            text: "Aimset updates instantly.\nThe AI adjusts. No friction."
            alpha: 0.6
        }

        OnboardingButton {
            shown: root.onboarding.demo.showVoiceButton
            onClicked: root.onboarding.next()
        }
    }

    // ---- page 3: accessibility access ----------------------------------------------------
    Page {
        current: root.onboarding.currentPage === 3
        spacing: 20

        EyeCircleSymbol {
            anchors.horizontalCenter: parent.horizontalCenter
        }
        Line {
            text: "Aimset needs screen access\nto see when you drift."
            size: 20
            font.weight: Font.Medium
        }
        // What the app reads and watches, and where it goes. No-break spaces
        // keep the two keys together on one line.
        Note {
            text: "Aimset reads window titles, and a window's visible text only when its title is not enough; the only keys it watches are "
                  + KeyNames.modifier + "\u00a0and\u00a0" + KeyNames.letter
                  + ", and with the built-in judge nothing leaves this computer."
            size: 14
        }
        // Said before it happens: the toolkit setting is desktop-wide.
        // Switching the bus on reaches only programs started afterwards, and
        // Chromium reads its pages out only when asked to.
        Note {
            text: "\u201CEnable Aimset\u201D switches on the desktop's accessibility bus and, on GNOME-style desktops, the toolkit-accessibility setting.\nRestart apps that were open before.\nChromium also needs --force-renderer-accessibility."
            size: 12
        }
        Note {
            visible: text.length > 0
            text: root.onboarding.extensionNote
            alpha: 0.7
            size: 13
        }
        OnboardingButton {
            objectName: "permissionButton"
            text: root.onboarding.permissionButtonTitle
            onClicked: root.onboarding.enableAccessibility()
        }
        // Room kept for the way on without window text, so "Enable Aimset"
        // stays where it is when the offer appears.
        Column {
            width: parent.width
            spacing: 8
            readonly property bool offered: root.onboarding.canContinueWithTitlesOnly
                                            && !root.onboarding.permissionGranted
            opacity: offered ? 1 : 0
            Behavior on opacity { EaseOutAnimation { duration: 300 } }

            Note {
                text: "Accessibility could not be switched on here. Aimset can still work from window titles alone."
                alpha: 0.5
                size: 12
            }
            PlainButton {
                objectName: "titlesOnlyButton"
                anchors.horizontalCenter: parent.horizontalCenter
                text: "Continue with titles only"
                fontSize: 13
                horizontalInset: 20
                verticalInset: 8
                enabled: parent.offered
                color: Qt.rgba(1, 1, 1, 0.1)
                textColor: Qt.rgba(1, 1, 1, 0.8)
                onClicked: root.onboarding.continueWithTitlesOnly()
            }
        }
    }
}
