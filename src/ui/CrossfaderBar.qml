// The crossfader with the auto-mix and party buttons. The fader's value runs from deck 1 alone
// (left) to deck 0 alone (right); a double tap on its knob at an end fades across (the core
// decides). A touch on the track beside the knob does nothing: the browser opens from the
// decks' eject buttons only. While the automatic bass/treble swap is on its marks show at both
// ends of the fader.
import QtQuick
import Velvox.Nexa

Rectangle {
    id: bar

    required property real u
    required property real tap

    color: "#171a21"
    border.color: "#2b303c"
    radius: u * 0.5

    Row {
        id: row
        anchors.fill: parent
        anchors.margins: Math.max(3, Math.round(bar.u * 0.4))
        spacing: Math.max(4, bar.u)
        readonly property real bw: Math.max(bar.tap, bar.u * 7)

        TouchButton {
            id: auto
            objectName: "autoMix"
            width: row.bw
            height: parent.height
            text: "AUTO"
            selected: Mixer.autoMixOn || Mixer.autoFadeRunning
            onPressed: Mixer.autoMixDown()
            onReleased: Mixer.autoMixUp()
            // The flash when the button lines the decks up.
            Rectangle {
                id: autoFlash
                objectName: "autoMixFlash"
                anchors.fill: parent
                radius: parent.radius
                color: "#38d26b"
                opacity: 0
                SequentialAnimation {
                    id: autoFlashAnimation
                    NumberAnimation { target: autoFlash; property: "opacity"; to: 0.8; duration: 100 }
                    NumberAnimation { target: autoFlash; property: "opacity"; to: 0; duration: 400 }
                }
            }
            Connections {
                target: Mixer
                property int seen: 0
                // A layout loaded later (the window resized) only flashes for new starts.
                Component.onCompleted: seen = Mixer.autoMixFlashes
                function onChanged() {
                    if (Mixer.autoMixFlashes > seen)
                        autoFlashAnimation.restart();
                    seen = Mixer.autoMixFlashes;
                }
            }
        }
        Item {
            width: parent.width - 2 * row.bw - 2 * row.spacing
            height: parent.height
            SliderView {
                objectName: "crossfader"
                anchors.fill: parent
                horizontal: true
                control: Mixer.crossfader
            }
            Repeater {
                model: Mixer.autoEqMarks ? 2 : 0
                Text {
                    required property int index
                    objectName: "autoEqMark" + index
                    anchors.top: parent.top
                    anchors.left: index === 0 ? parent.left : undefined
                    anchors.right: index === 1 ? parent.right : undefined
                    text: "AUTO EQ"
                    color: "#38d26b"
                    font.pixelSize: 10
                }
            }
        }
        TouchButton {
            objectName: "party"
            width: row.bw
            height: parent.height
            text: "PARTY"
            accent: "#ff5fa2"
            selected: Mixer.partyModeOn
            onClicked: Mixer.partyButton()
        }
    }
}
