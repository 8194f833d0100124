// The full-screen party view over the mixing screen while party mode's screen is shown.
import QtQuick
import Velvox.Nexa

Rectangle {
    id: view

    required property real u
    readonly property PartyScreen party: Mixer.party

    visible: party.shown
    color: "#0c0d12"

    component Big: Text {
        width: parent ? parent.width : 0
        color: "#eef0f6"
        font.pixelSize: view.u * 2.6
        horizontalAlignment: Text.AlignHCenter
        elide: Text.ElideRight
    }

    MultiPointTouchArea { anchors.fill: parent } // the mixing screen below takes no touches

    Column {
        anchors.left: parent.left
        anchors.right: volume.left
        anchors.top: parent.top
        anchors.margins: view.u * 2
        spacing: view.u
        Big { text: view.party.track; font.pixelSize: view.u * 3.4; font.bold: true }
        Big { text: view.party.artist; color: "#9aa3b5" }
        Big { text: view.party.album; color: "#7a8296"; font.pixelSize: view.u * 2 }
        Big { text: "Next from crate " + view.party.crate + "   ·   tracks " + view.party.tracksPlayed; font.pixelSize: view.u * 1.8 }
        Big { text: view.party.totalTime; font.pixelSize: view.u * 6; font.family: "monospace" }
        Big { text: "next in " + view.party.tillNext; font.pixelSize: view.u * 2.2 }
        Big { text: view.party.bpm + " BPM"; font.pixelSize: view.u * 2.2 }
        Row {
            anchors.horizontalCenter: parent.horizontalCenter
            spacing: view.u
            TouchButton { width: view.u * 6; height: view.u * 5; text: "−"; onPressed: view.party.minusDown(); onReleased: view.party.minusUp() }
            TouchButton {
                width: view.u * 10; height: view.u * 5
                text: view.party.playing ? "❚❚" : "▶"
                enabled: view.party.playPauseEnabled
                onClicked: view.party.playPause()
            }
            TouchButton { width: view.u * 10; height: view.u * 5; text: "SKIP ▶▶"; enabled: view.party.skipEnabled; onClicked: view.party.skip() }
            TouchButton { width: view.u * 6; height: view.u * 5; text: "+"; onPressed: view.party.plusDown(); onReleased: view.party.plusUp() }
        }
        TouchButton {
            objectName: "partyClose"
            anchors.horizontalCenter: parent.horizontalCenter
            width: view.u * 14; height: view.u * 4
            text: "CLOSE PARTY"
            opacity: view.party.closeOpacity
            onClicked: view.party.close()
        }
    }
    SliderView {
        id: volume
        anchors.right: parent.right
        anchors.top: parent.top
        anchors.bottom: parent.bottom
        anchors.margins: view.u * 3
        width: view.u * 4
        horizontal: false
        label: "VOLUME"
        control: view.party.volume
    }
}
