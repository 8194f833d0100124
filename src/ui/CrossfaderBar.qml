// The crossfader with the auto-mix and party buttons. The fader's value runs from deck 1 alone
// (left) to deck 0 alone (right); a double tap on its pointer at an end fades across, a tap
// beside the pointer opens the browser for that side's deck (the core decides both).
import QtQuick
import Velvox.Nexa

Rectangle {
    id: bar

    required property real u

    color: "#171a21"
    border.color: "#2b303c"
    radius: u * 0.5

    Row {
        anchors.fill: parent
        anchors.margins: bar.u * 0.6
        spacing: bar.u

        TouchButton {
            objectName: "autoMix"
            width: bar.u * 7
            height: parent.height
            text: "AUTO"
            selected: Mixer.autoMixOn || Mixer.autoFadeRunning
            onPressed: Mixer.autoMixDown()
            onReleased: Mixer.autoMixUp()
        }
        SliderView {
            objectName: "crossfader"
            width: parent.width - bar.u * 16
            height: parent.height
            horizontal: true
            pointerLength: bar.u * 4
            control: Mixer.crossfader
        }
        TouchButton {
            objectName: "party"
            width: bar.u * 7
            height: parent.height
            text: "PARTY"
            accent: "#ff5fa2"
            selected: Mixer.partyModeOn
            onClicked: Mixer.partyButton()
        }
    }
}
