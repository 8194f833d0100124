// The phone layout: deck 1 above, deck 0 below, the crossfader between them.
import QtQuick
import Velvox.Nexa

Item {
    id: layout

    readonly property real u: Math.max(5, Math.min(width / 46, height / 86))
    // The waveform areas of deck 0 and deck 1.
    readonly property Item waveArea0: deckPanel0.waveArea
    readonly property Item waveArea1: deckPanel1.waveArea

    TopBar {
        id: top
        u: layout.u
        anchors.left: parent.left
        anchors.right: parent.right
        anchors.top: parent.top
        height: layout.u * 4.4
    }
    DeckPanel {
        id: deckPanel1
        objectName: "deckPanel1"
        deck: Mixer.deck1
        u: layout.u
        compact: true
        anchors.left: parent.left
        anchors.right: parent.right
        anchors.top: top.bottom
        anchors.bottom: fader.top
        anchors.margins: layout.u * 0.4
    }
    CrossfaderBar {
        id: fader
        u: layout.u
        anchors.left: parent.left
        anchors.right: parent.right
        anchors.verticalCenter: parent.verticalCenter
        anchors.verticalCenterOffset: top.height / 2
        anchors.margins: layout.u * 0.4
        height: layout.u * 6
    }
    DeckPanel {
        id: deckPanel0
        objectName: "deckPanel0"
        deck: Mixer.deck0
        u: layout.u
        compact: true
        anchors.left: parent.left
        anchors.right: parent.right
        anchors.top: fader.bottom
        anchors.bottom: parent.bottom
        anchors.margins: layout.u * 0.4
    }
    BpmPad {
        u: layout.u
        anchors.centerIn: parent
    }
}
