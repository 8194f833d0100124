// The top bar: menu, sampler pads, the sample library, zoom (overview strips), the waveforms'
// centre line, re-analyse, record. The name between the keys shows where it fits.
import QtQuick
import Velvox.Nexa

Rectangle {
    id: bar

    required property real u
    required property real tap

    color: "#0f1116"

    Row {
        id: row
        anchors.fill: parent
        anchors.margins: Math.max(3, Math.round(bar.u * 0.4))
        spacing: Math.max(3, Math.round(bar.u * 0.4))
        readonly property real bw: Math.max(bar.tap, Math.min(bar.u * 8, (width - 7 * spacing) / 8.5))

        TouchButton { objectName: "menuButton"; width: row.bw; height: parent.height; text: "MENU"; selected: Menu.shown; onClicked: Menu.toggle() }
        // The six sampler pads, one tap away: the strip opens at the bottom of the window.
        TouchButton { objectName: "padsButton"; width: row.bw; height: parent.height; text: "PADS"; accent: "#ff9f1a"; selected: Menu.padStripShown; onClicked: Menu.togglePadStrip() }
        // The sample library: the pads' sounds, chosen, recorded and exchanged.
        TouchButton { objectName: "samplesButton"; width: row.bw; height: parent.height; text: "SAMPLES"; accent: "#ff9f1a"; selected: SampleLibrary.shown; onClicked: SampleLibrary.open() }
        Text {
            width: parent.width - 7 * row.bw - 7 * row.spacing
            height: parent.height
            visible: contentWidth <= width
            text: "Velvox Nexa"
            color: "#9aa3b5"
            font.pixelSize: Math.max(12, bar.u * 1.8)
            fontSizeMode: Text.HorizontalFit
            minimumPixelSize: 9
            horizontalAlignment: Text.AlignHCenter
            verticalAlignment: Text.AlignVCenter
        }
        TouchButton { objectName: "zoom"; width: row.bw; height: parent.height; text: "ZOOM"; selected: Mixer.zoomOn; onClicked: Mixer.zoom() }
        // Both waveforms on the middle of their area, or back on their home line.
        TouchButton { objectName: "waveCentre"; width: row.bw; height: parent.height; text: "CENTRE"; selected: Mixer.wavesCentred; onClicked: Mixer.toggleWaveCentre() }
        TouchButton { width: row.bw; height: parent.height; text: "ANALYSE"; selected: Mixer.reanalysing; onClicked: Mixer.reanalyse() }
        TouchButton {
            objectName: "record"
            width: row.bw; height: parent.height
            text: "● REC"; accent: "#ff4d4d"
            selected: Mixer.recording
            onClicked: Mixer.record()
        }
    }
}
