// The full-screen party view over the mixing screen while party mode's screen is shown.
import QtQuick
import Velvox.Nexa

Rectangle {
    id: view

    required property real u
    readonly property PartyScreen party: Mixer.party
    readonly property real tap: Math.max(44, u * 5)

    objectName: "partyView"
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
        Big {
            objectName: "partyTillNext"
            text: view.party.tillNext === "Now" ? "Next track: now" : "Next track in " + view.party.tillNext
            font.pixelSize: view.u * 2.2
        }
        Big { text: view.party.bpm + " BPM"; font.pixelSize: view.u * 2.2 }
        Row {
            anchors.horizontalCenter: parent.horizontalCenter
            spacing: view.u
            TouchButton { width: view.tap; height: view.tap; text: "−"; onPressed: view.party.minusDown(); onReleased: view.party.minusUp() }
            TouchButton {
                width: view.tap * 2; height: view.tap
                text: view.party.playing ? "❚❚" : "▶"
                enabled: view.party.playPauseEnabled
                onClicked: view.party.playPause()
            }
            TouchButton { width: view.tap * 2; height: view.tap; text: "SKIP ▶▶"; enabled: view.party.skipEnabled; onClicked: view.party.skip() }
            TouchButton { width: view.tap; height: view.tap; text: "+"; onPressed: view.party.plusDown(); onReleased: view.party.plusUp() }
        }
        TouchButton {
            objectName: "partyClose"
            anchors.horizontalCenter: parent.horizontalCenter
            width: view.tap * 3; height: view.tap
            text: "CLOSE PARTY"
            // Fades out over 0.1 s and back in over 0.3 s, as the party screen asks.
            opacity: view.party.closeOpacity
            Behavior on opacity {
                NumberAnimation { duration: view.party.closeOpacity > 0.5 ? 300 : 100 }
            }
            onClicked: view.party.close()
        }
    }
    SliderView {
        id: volume
        anchors.right: parent.right
        anchors.top: parent.top
        anchors.bottom: parent.bottom
        anchors.margins: view.u * 3
        anchors.bottomMargin: view.u * 3 + 20
        objectName: "partyVolume"
        width: view.tap
        horizontal: false
        label: "VOLUME"
        control: view.party.volume
    }
}
