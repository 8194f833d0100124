// The six sampler pads in one row: each press restarts its pad (the engine's noteOn), each
// button labelled with its sound's file name or "no sample". The main menu and the mixing
// screen show the same strip; `prefix` names its buttons (prefix + index).
import QtQuick
import Velvox.Nexa

Row {
    id: strip

    required property real u
    property string prefix: "pad"

    spacing: u * 0.4

    Repeater {
        model: 6
        TouchButton {
            required property int index
            objectName: strip.prefix + index
            width: (strip.width - strip.spacing * 5) / 6
            height: strip.height
            fontScale: 0.26
            accent: "#ff9f1a"
            text: Menu.padLabels.length > index ? Menu.padLabels[index] : "no sample"
            onPressed: Menu.pad(index)
        }
    }
}
