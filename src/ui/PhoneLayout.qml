// The phone layout: deck 1 above, deck 0 below, the crossfader between them; held sideways,
// deck 1 left and deck 0 right above the crossfader. Everything scales with the window; a
// finger's target never gets under 44 px.
import QtQuick
import Velvox.Nexa

Item {
    id: layout

    // Clearly wider than tall (a square window keeps the stacked decks).
    readonly property bool landscape: width > height * 1.25
    readonly property real u: landscape ? Math.max(5, Math.min(width / 86, height / 46))
                                        : Math.max(5, Math.min(width / 46, height / 86))
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
        compact: true
        anchors.left: parent.left
        anchors.right: parent.right
        anchors.top: top.bottom
        anchors.bottom: fader.top
        anchors.margins: layout.gap
    }
    CrossfaderBar {
        id: fader
        objectName: "crossfaderBar"
        u: layout.u
        tap: layout.tap
        anchors.left: parent.left
        anchors.right: parent.right
        anchors.verticalCenter: parent.verticalCenter
        anchors.verticalCenterOffset: top.height / 2
        anchors.margins: layout.gap
        height: layout.tap + 2 * layout.gap
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
        anchors.margins: layout.gap
    }
    // Sideways the top bar and the crossfader share the bottom row.
    states: State {
        name: "landscape"
        when: layout.landscape
        AnchorChanges {
            target: top
            anchors.top: undefined
            anchors.right: undefined
            anchors.bottom: layout.bottom
        }
        PropertyChanges {
            target: top
            width: Math.round(layout.width * 0.42)
        }
        AnchorChanges {
            target: deckPanel1
            anchors.top: layout.top
        }
        AnchorChanges {
            target: deckPanel1
            anchors.right: undefined
        }
        PropertyChanges {
            target: deckPanel1
            width: (layout.width - 3 * layout.gap) / 2
        }
        AnchorChanges {
            target: fader
            anchors.verticalCenter: undefined
            anchors.left: top.right
            anchors.bottom: layout.bottom
        }
        AnchorChanges {
            target: deckPanel0
            anchors.left: undefined
            anchors.top: layout.top
            anchors.bottom: fader.top
        }
        PropertyChanges {
            target: deckPanel0
            width: (layout.width - 3 * layout.gap) / 2
        }
    }
    BpmPad {
        u: layout.u
        tap: layout.tap
        area: layout
    }
}
