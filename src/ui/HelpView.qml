// The help screen: the gestures of the mixing screen, in a few lines.
import QtQuick
import Velvox.Nexa

Rectangle {
    id: view

    required property real u

    visible: Menu.helpShown
    color: "#e0101318"

    MultiPointTouchArea { anchors.fill: parent }

    Column {
        anchors.centerIn: parent
        width: Math.min(parent.width - view.u * 4, view.u * 44)
        spacing: view.u
        Text {
            text: "Gestures"
            color: "#eef0f6"
            font.pixelSize: view.u * 2.4
            font.bold: true
        }
        Repeater {
            model: [
                "Double-tap the crossfader: fade automatically to the other deck.",
                "Long-press the crossfader: start or stop the automatic mix.",
                "Drag a waveform: scratch the track under your finger.",
                "Tap the overview strip: jump to that point of the track.",
                "Tap PADS on the mixing screen: fire the six sampler pads."
            ]
            Text {
                required property string modelData
                width: parent.width
                text: "•  " + modelData
                color: "#d5d9e3"
                font.pixelSize: view.u * 1.6
                wrapMode: Text.Wrap
            }
        }
        TouchButton {
            objectName: "helpClose"
            width: view.u * 10
            height: view.u * 4
            text: "CLOSE"
            onClicked: Menu.closeHelp()
        }
    }
}
