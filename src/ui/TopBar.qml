// The top bar: menu, zoom (overview strips), re-analyse, record.
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

        TouchButton { width: bar.u * 6; height: parent.height; text: "MENU"; onClicked: Mixer.menu() }
        Text {
            width: parent.width - bar.u * 30
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
