// The BPM entry pad, shown while a deck's pitch panel asked for it: digits, ±, done.
pragma ComponentBehavior: Bound
import QtQuick
import Velvox.Nexa

Rectangle {
    id: pad

    required property real u

    visible: Mixer.bpmPadDeck >= 0
    width: u * 22
    height: u * 27
    radius: u
    color: "#202531"
    border.color: "#4a5264"

    Column {
        anchors.fill: parent
        anchors.margins: pad.u
        spacing: pad.u * 0.6
        Text {
            width: parent.width
            text: Mixer.enteredBpm + " BPM"
            color: "#eef0f6"
            font.pixelSize: pad.u * 2.4
            horizontalAlignment: Text.AlignHCenter
        }
        Grid {
            columns: 3
            spacing: pad.u * 0.6
            Repeater {
                model: [7, 8, 9, 4, 5, 6, 1, 2, 3, 0]
                TouchButton {
                    required property int modelData
                    width: pad.u * 6; height: pad.u * 3.6
                    text: String(modelData)
                    onClicked: Mixer.bpmDigit(modelData)
                }
            }
            TouchButton { width: pad.u * 6; height: pad.u * 3.6; text: "−"; onClicked: Mixer.bpmMinus() }
            TouchButton { width: pad.u * 6; height: pad.u * 3.6; text: "+"; onClicked: Mixer.bpmPlus() }
        }
        TouchButton {
            width: parent.width; height: pad.u * 3.6
            text: "DONE"; accent: "#38d26b"; selected: true
            onClicked: Mixer.bpmDone()
        }
    }
}
