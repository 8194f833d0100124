// The tablet layout: deck 1 on the left, deck 0 on the right, the crossfader below both. Used
// in either orientation; everything scales with the window, and a finger's target never gets
// under 44 px.
import QtQuick
import Velvox.Nexa

Item {
    id: layout

    readonly property real u: Math.max(5, Math.min(width / 92, height / 58))
    readonly property real tap: Math.max(44, u * 4)
    readonly property real gap: Math.max(3, Math.round(u * 0.4))
    // The waveform areas of deck 0 and deck 1.
    readonly property Item waveArea0: deckPanel0.waveArea
    readonly property Item waveArea1: deckPanel1.waveArea

    TopBar {
        id: top
        u: layout.u
        tap: layout.tap
        anchors.left: parent.left
        anchors.right: parent.right
        anchors.top: parent.top
        height: layout.tap + 2 * layout.gap
    }
    DeckPanel {
        id: deckPanel1
        objectName: "deckPanel1"
        deck: Mixer.deck1
        u: layout.u
        anchors.left: parent.left
        anchors.top: top.bottom
        anchors.bottom: fader.top
        anchors.margins: layout.gap
        width: (parent.width - 3 * layout.gap) / 2
    }
    DeckPanel {
        id: deckPanel0
        objectName: "deckPanel0"
        deck: Mixer.deck0
        u: layout.u
        anchors.right: parent.right
        anchors.top: top.bottom
        anchors.bottom: fader.top
        anchors.margins: layout.gap
        width: (parent.width - 3 * layout.gap) / 2
    }
    CrossfaderBar {
        id: fader
        objectName: "crossfaderBar"
        u: layout.u
        tap: layout.tap
        anchors.left: parent.left
        anchors.right: parent.right
        anchors.bottom: parent.bottom
        anchors.margins: layout.gap
        height: layout.tap + 2 * layout.gap
    }
    BpmPad {
        u: layout.u
        tap: layout.tap
        area: layout
    }
}
