// The top bar: menu, sampler pads, zoom (overview strips), re-analyse, record.
import QtQuick
import Velvox.Nexa

Rectangle {
    id: bar

    required property real u

    color: "#0f1116"

    Row {
        anchors.fill: parent
        anchors.margins: bar.u * 0.4
        spacing: bar.u * 0.6

        TouchButton { objectName: "menuButton"; width: bar.u * 6; height: parent.height; text: "MENU"; selected: Menu.shown; onClicked: Menu.toggle() }
        // The six sampler pads, one tap away: the strip opens at the bottom of the window.
        TouchButton { objectName: "padsButton"; width: bar.u * 6; height: parent.height; text: "PADS"; accent: "#ff9f1a"; selected: Menu.padStripShown; onClicked: Menu.togglePadStrip() }
        Text {
            width: parent.width - bar.u * 36.6
            height: parent.height
            text: "Velvox Nexa"
            color: "#9aa3b5"
            font.pixelSize: bar.u * 1.8
            horizontalAlignment: Text.AlignHCenter
            verticalAlignment: Text.AlignVCenter
            elide: Text.ElideRight
        }
        TouchButton { width: bar.u * 6; height: parent.height; text: "ZOOM"; selected: Mixer.zoomOn; onClicked: Mixer.zoom() }
        TouchButton { width: bar.u * 7; height: parent.height; text: "ANALYSE"; selected: Mixer.reanalysing; onClicked: Mixer.reanalyse() }
        TouchButton {
            objectName: "record"
            width: bar.u * 6; height: parent.height
            text: "● REC"; accent: "#ff4d4d"
            selected: Mixer.recording
            onClicked: Mixer.record()
        }
    }
}
