// The phone layout: deck 1 above, deck 0 below, the crossfader between them; held sideways,
// deck 1 left and deck 0 right, with the top bar and the crossfader sharing the bottom row.
// Everything scales with the window; a finger's target never gets under 44 px.
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
    readonly property real half: (width - 3 * gap) / 2
    // The waveform areas of deck 0 and deck 1.
    readonly property Item waveArea0: deckPanel0.waveArea
    readonly property Item waveArea1: deckPanel1.waveArea

    TopBar {
        id: top
        u: layout.u
        tap: layout.tap
        x: 0
        y: layout.landscape ? layout.height - height : 0
        // Sideways, the bar shares the bottom row with the crossfader: at least its seven keys.
        width: layout.landscape ? Math.max(Math.round(layout.width * 0.42),
                                           7 * layout.tap + 8 * Math.max(3, Math.round(layout.u * 0.4)))
                                : layout.width
        height: layout.tap + 2 * layout.gap
    }
    DeckPanel {
        id: deckPanel1
        objectName: "deckPanel1"
        deck: Mixer.deck1
        u: layout.u
        compact: true
        x: layout.gap
        y: layout.landscape ? layout.gap : top.height + layout.gap
        width: layout.landscape ? layout.half : layout.width - 2 * layout.gap
        height: fader.y - layout.gap - y
    }
    CrossfaderBar {
        id: fader
        objectName: "crossfaderBar"
        u: layout.u
        tap: layout.tap
        x: layout.landscape ? top.width + layout.gap : layout.gap
        y: layout.landscape ? layout.height - height - layout.gap
                            : Math.round(top.height + (layout.height - top.height - height) / 2)
        width: layout.width - x - layout.gap
        height: layout.tap + 2 * layout.gap
    }
    DeckPanel {
        id: deckPanel0
        objectName: "deckPanel0"
        deck: Mixer.deck0
        u: layout.u
        compact: true
        x: layout.landscape ? layout.width - layout.gap - width : layout.gap
        y: layout.landscape ? layout.gap : fader.y + fader.height + layout.gap
        width: layout.landscape ? layout.half : layout.width - 2 * layout.gap
        height: (layout.landscape ? fader.y : layout.height) - layout.gap - y
    }
    BpmPad {
        u: layout.u
        tap: layout.tap
        area: layout
    }
}
