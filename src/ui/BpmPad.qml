// The BPM entry pad, shown while a deck's pitch panel asked for it: digits, ±, done. It stands
// where the controller places it (over the deck it edits), kept inside the layout `area`.
pragma ComponentBehavior: Bound
import QtQuick
import Velvox.Nexa

Rectangle {
    id: pad

    required property real u
    required property real tap
    required property Item area
    readonly property real gap: Math.max(4, Math.round(u * 0.6))
    readonly property real key: Math.max(tap, u * 5)

    objectName: "bpmPad"
    visible: Mixer.bpmPadDeck >= 0
    width: 3 * key + 4 * gap
    height: entered.height + 5 * (key + gap) + 2 * gap
    x: Math.max(0, Math.min(area.width - width, Mixer.bpmPadX * area.width - width / 2))
    y: Math.max(0, Math.min(area.height - height, Mixer.bpmPadY * area.height - height / 2))
    radius: u
    color: "#202531"
    border.color: "#4a5264"

    MultiPointTouchArea { anchors.fill: parent } // no touch falls through to the deck below

    Column {
        anchors.fill: parent
        anchors.margins: pad.gap
        spacing: pad.gap
        Text {
            id: entered
            width: parent.width
            text: Mixer.enteredBpm + " BPM"
            color: "#eef0f6"
            font.pixelSize: Math.max(16, pad.u * 2.4)
            horizontalAlignment: Text.AlignHCenter
        }
        Grid {
            columns: 3
            spacing: pad.gap
            Repeater {
                model: [7, 8, 9, 4, 5, 6, 1, 2, 3, 0]
                TouchButton {
                    required property int modelData
                    width: pad.key; height: pad.key
                    text: String(modelData)
                    onClicked: Mixer.bpmDigit(modelData)
                }
            }
            TouchButton { width: pad.key; height: pad.key; text: "−"; onClicked: Mixer.bpmMinus() }
            TouchButton { width: pad.key; height: pad.key; text: "+"; onClicked: Mixer.bpmPlus() }
        }
        TouchButton {
            objectName: "bpmDone"
            width: parent.width; height: pad.key
            text: "DONE"; accent: "#38d26b"; selected: true
            onClicked: Mixer.bpmDone()
        }
    }
}
