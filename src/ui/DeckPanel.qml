// One deck's part of the mixing screen: its name in its colour with the track, the on-air lamp
// and eject; the read-outs; the waveform area; transport; the panel switches and the open panel
// (cue, loop, pitch, bend, volume, EQ, effects) with the LP/HP knob. Used by both layouts; `u`
// is the layout's grid unit, `tap` the size of a finger's target (never under 44 px).
//
// The waveform area (`waveArea`, objectName "waveArea0" / "waveArea1") holds the deck's
// scrolling waveform ("waveform0" / "waveform1") and, while zoom is on, its whole-track
// overview strip ("overview0" / "overview1").
//
// One panel is open at a time (the deck adapter closes the others). With no panel open the
// LP/HP knob is a strip across the panel area; beside an open panel it stands upright inside
// the panel area, never over the keys around it.
pragma ComponentBehavior: Bound
import QtQuick
import Velvox.Nexa

Rectangle {
    id: panel

    required property Deck deck
    required property real u
    // The phone's deck: read-outs in the header, a two-row panel area.
    property bool compact: false
    readonly property real tap: Math.max(44, u * 4)
    readonly property real gap: Math.max(3, Math.round(u * 0.4))
    readonly property bool panelOpen: deck.cuePanel || deck.loopPanel || deck.pitchPanel
                                      || deck.bendPanel || deck.volumePanel || deck.eqPanel
                                      || deck.fxPanel
    readonly property alias waveArea: waveArea
    readonly property int index: deck.index
    // The deck's name by where it stands: side by side (the tablet, a phone held sideways) or
    // stacked.
    readonly property bool sideBySide: parent !== null && width < parent.width * 0.75
    readonly property string deckName: sideBySide ? (index === 0 ? "RIGHT DECK" : "LEFT DECK")
                                                  : (index === 0 ? "LOWER DECK" : "UPPER DECK")
    // The open panel's height: two rows of keys on the phone; on the tablet the lower part of
    // the deck, for taller faders and bigger keys.
    readonly property real openHeight: compact ? 2 * tap + gap
                                               : Math.max(2 * tap + gap, Math.round(height * 0.3))
    readonly property real fontSize: Math.max(12, Math.min(20, u * 1.6))

    color: "#171a21"
    border.color: Qt.darker(deck.color, 1.6)
    radius: u * 0.5
    enabled: deck.touchesEnabled

    // Read-outs: time (tap: elapsed/remaining), pitch, BPM or the analysis progress.
    component Readouts: Row {
        id: readouts
        required property Deck deck
        required property real fontSize
        spacing: fontSize
        Text {
            objectName: "time" + readouts.deck.index
            height: parent.height
            verticalAlignment: Text.AlignVCenter
            text: readouts.deck.timeText || "--:--"
            font.family: "monospace"
            font.pixelSize: readouts.fontSize
            color: readouts.deck.remainingTime ? "#f0b429" : "#e8eaf2"
            TapHandler {
                onTapped: readouts.deck.toggleTimeMode()
            }
        }
        Text {
            objectName: "pitch" + readouts.deck.index
            height: parent.height
            verticalAlignment: Text.AlignVCenter
            text: readouts.deck.pitchText
            font.family: "monospace"
            font.pixelSize: readouts.fontSize * (readouts.deck.speedLarge ? 1.4 : 1.0)
            color: readouts.deck.speedRed ? "#ff5a5a" : "#e8eaf2"
            opacity: readouts.deck.pitchDimmed ? 0.45 : 1.0
        }
        Text {
            objectName: "bpm" + readouts.deck.index
            height: parent.height
            verticalAlignment: Text.AlignVCenter
            text: readouts.deck.bpmReadout
            font.family: readouts.deck.analysing ? "sans-serif" : "monospace"
            font.pixelSize: readouts.fontSize * (readouts.deck.bpmLarge ? 1.4 : 1.0)
            color: readouts.deck.analysing ? "#ff9f1a" : "#e8eaf2"
        }
    }

    component Label: Text {
        color: "#e8eaf2"
        font.pixelSize: panel.fontSize
        verticalAlignment: Text.AlignVCenter
    }

    Column {
        id: column
        anchors.fill: parent
        anchors.margins: panel.gap
        spacing: panel.gap

        // Name and track, on-air lamp, eject.
        Item {
            id: header
            width: column.width
            // The phone's header is one line (title, read-outs, lamp); its eject key sits in
            // the transport row.
            height: panel.compact ? Math.round(panel.fontSize * 1.7) : panel.tap
            Rectangle {
                id: tag
                width: Math.max(5, panel.u * 0.6)
                height: parent.height
                radius: width / 2
                color: panel.deck.color
            }
            Column {
                anchors.left: tag.right
                anchors.leftMargin: panel.gap * 2
                anchors.right: panel.compact ? lineReadouts.left : onAir.left
                anchors.rightMargin: panel.gap * 2
                anchors.verticalCenter: parent.verticalCenter
                Label {
                    objectName: "title" + panel.index
                    width: parent.width
                    text: panel.deck.loading ? panel.deck.loadingText || "Loading…"
                                             : (panel.deck.title || "No track")
                    font.bold: true
                    elide: Text.ElideRight
                }
                Label {
                    objectName: "artist" + panel.index
                    visible: !panel.compact
                    width: parent.width
                    text: panel.deckName + (panel.deck.artist ? "  ·  " + panel.deck.artist : "")
                    color: Qt.lighter(panel.deck.color, 1.3)
                    font.pixelSize: panel.fontSize * 0.8
                    elide: Text.ElideRight
                }
            }
            Readouts {
                id: lineReadouts
                visible: panel.compact
                anchors.right: onAir.left
                anchors.rightMargin: panel.gap * 2
                height: parent.height
                deck: panel.deck
                fontSize: panel.fontSize * 0.9
            }
            // The on-air cue: lit while the crossfader lets this deck be heard.
            Rectangle {
                id: onAir
                objectName: "onAir" + panel.index
                readonly property bool lit: panel.deck.faderGain > 0.01
                anchors.right: panel.compact ? parent.right : eject.left
                anchors.rightMargin: panel.compact ? 0 : panel.gap
                anchors.verticalCenter: parent.verticalCenter
                width: onAirText.implicitWidth + panel.gap * 3
                height: Math.min(parent.height, Math.round(panel.tap * 0.5))
                radius: 3
                color: lit ? "#c62828" : "#262a33"
                border.color: lit ? "#ff6f6f" : "#3a4252"
                Text {
                    id: onAirText
                    anchors.centerIn: parent
                    text: parent.lit ? "ON AIR" : "OFF AIR"
                    color: parent.lit ? "white" : "#7a8296"
                    font.pixelSize: Math.max(10, panel.fontSize * 0.65)
                    font.bold: true
                }
            }
            TouchButton {
                id: eject
                objectName: panel.compact ? "" : "eject" + panel.index
                visible: !panel.compact
                anchors.right: parent.right
                width: panel.tap
                height: panel.tap
                text: "⏏"
                accent: "#f0b429"
                onClicked: panel.deck.eject()
            }
        }

        Readouts {
            visible: !panel.compact
            height: visible ? panel.fontSize * 1.5 : 0
            deck: panel.deck
            fontSize: panel.fontSize
        }

        // The waveform and the overview strip.
        Item {
            id: waveArea
            objectName: "waveArea" + panel.index
            width: column.width
            height: Math.max(panel.u * 6, column.height - y - controls.height - column.spacing)
            Rectangle {
                anchors.fill: parent
                color: "#0d0f14"
                border.color: "#262b36"
            }

            // The whole-track overview on the deck's side (deck 0 left, deck 1 right), shown
            // while the zoom button is on.
            OverviewItem {
                id: overview
                objectName: "overview" + panel.index
                deck: panel.index
                visible: Mixer.zoomOn
                width: visible ? Math.max(panel.tap, Math.round(parent.width * 0.16)) : 0
                anchors.top: parent.top
                anchors.bottom: parent.bottom
                anchors.left: panel.index === 0 ? parent.left : undefined
                anchors.right: panel.index === 0 ? undefined : parent.right
                clip: true
                Repeater {
                    model: overview.minuteLabels
                    Text {
                        required property var modelData
                        x: modelData.x
                        y: modelData.y
                        width: modelData.width
                        height: modelData.height
                        text: modelData.text
                        color: overview.textColor
                        font.pixelSize: overview.labelPixelSize
                        horizontalAlignment: Text.AlignHCenter
                        verticalAlignment: Text.AlignBottom
                    }
                }
            }

            // The scrolling waveform: the play position in the middle, scratched by touch.
            WaveformItem {
                id: waveform
                objectName: "waveform" + panel.index
                deck: panel.index
                anchors.top: parent.top
                anchors.bottom: parent.bottom
                anchors.left: panel.index === 0 ? overview.right : parent.left
                anchors.right: panel.index === 0 ? parent.right : overview.left
                clip: true
                Text {
                    visible: waveform.minuteVisible
                    x: waveform.minuteRect.x
                    y: waveform.minuteRect.y
                    width: waveform.minuteRect.width
                    height: waveform.minuteRect.height
                    text: waveform.minuteText
                    color: "white"
                    font.pixelSize: waveform.minutePixelSize
                    font.weight: Font.Light
                    horizontalAlignment: waveform.minuteAlignRight ? Text.AlignRight : Text.AlignLeft
                    verticalAlignment: Text.AlignVCenter
                }
                // The play position: a line across the waveform at the row that plays.
                Rectangle {
                    objectName: "playLine" + panel.index
                    anchors.left: parent.left
                    anchors.right: parent.right
                    anchors.verticalCenter: parent.verticalCenter
                    height: 2
                    color: "#ffffff"
                    opacity: 0.85
                    Rectangle {
                        anchors.left: parent.left
                        anchors.verticalCenter: parent.verticalCenter
                        width: panel.gap * 3
                        height: 6
                        color: panel.deck.color
                    }
                    Rectangle {
                        anchors.right: parent.right
                        anchors.verticalCenter: parent.verticalCenter
                        width: panel.gap * 3
                        height: 6
                        color: panel.deck.color
                    }
                }
                // The deck's name in its colour (the phone's header has no room for it).
                Text {
                    objectName: "deckName" + panel.index
                    visible: panel.compact
                    anchors.left: parent.left
                    anchors.top: parent.top
                    anchors.margins: panel.gap
                    text: panel.deckName
                    color: panel.deck.color
                    font.pixelSize: Math.max(10, panel.fontSize * 0.7)
                    font.bold: true
                }
                // Analysis indicator: lit while the engine analyses a track.
                Rectangle {
                    objectName: "analysisLed" + panel.index
                    readonly property bool lit: waveform.analysing
                    width: Math.max(8, panel.u * 0.9)
                    height: width
                    radius: width / 2
                    anchors.top: parent.top
                    anchors.topMargin: panel.gap
                    anchors.horizontalCenter: parent.horizontalCenter
                    color: lit ? "#ff9f1a" : "#3a2a12"
                    border.color: "#00000080"
                }
                // A playing deck the crossfader has faded out is not heard.
                Rectangle {
                    objectName: "notHeard" + panel.index
                    visible: panel.deck.playing && panel.deck.faderGain <= 0.01
                    anchors.bottom: parent.bottom
                    anchors.bottomMargin: panel.gap
                    anchors.horizontalCenter: parent.horizontalCenter
                    width: notHeardText.implicitWidth + panel.gap * 4
                    height: notHeardText.implicitHeight + panel.gap
                    radius: 3
                    color: "#cc262a33"
                    border.color: "#5a6378"
                    Text {
                        id: notHeardText
                        anchors.centerIn: parent
                        text: "NOT HEARD · crossfader"
                        color: "#b8bfcc"
                        font.pixelSize: Math.max(10, panel.fontSize * 0.7)
                    }
                }
            }
            // The eject flash: two 0.15 s fades over the waveform before the browser opens.
            Rectangle {
                id: flash
                objectName: "ejectFlash" + panel.index
                anchors.fill: parent
                // The flash value last seen: a rise from 0 starts the fades.
                property real seen: 0
                color: "#f0b429"
                opacity: 0
                SequentialAnimation {
                    id: flashAnimation
                    NumberAnimation { target: flash; property: "opacity"; to: 0.6; duration: 150 }
                    NumberAnimation { target: flash; property: "opacity"; to: 0; duration: 150 }
                }
            }
            Connections {
                target: panel.deck
                function onChanged() {
                    if (panel.deck.ejectFlash > 0 && flash.seen === 0)
                        flashAnimation.restart();
                    flash.seen = panel.deck.ejectFlash;
                }
            }
        }

        Column {
            id: controls
            width: column.width
            spacing: panel.gap

            // Transport.
            Row {
                id: transport
                readonly property int keys: panel.compact ? 8 : 7
                readonly property real bw: (controls.width - spacing * (keys - 1)) / keys
                spacing: panel.gap
                TouchButton {
                    objectName: "play" + panel.index
                    width: transport.bw
                    height: panel.tap
                    text: panel.deck.playing ? "■" : "▶"
                    selected: panel.deck.playing
                    accent: "#38d26b"
                    // Hidden (its place kept) while the volume, EQ or effect panel is open.
                    visible: !panel.deck.playHidden
                    enabled: panel.deck.loaded
                    onClicked: panel.deck.playStop()
                }
                TouchButton {
                    objectName: "pause" + panel.index
                    width: transport.bw
                    height: panel.tap
                    text: "❚❚"
                    enabled: panel.deck.loaded
                    onClicked: panel.deck.pause()
                }
                TouchButton {
                    width: transport.bw
                    height: panel.tap
                    text: "◀◀"
                    onClicked: panel.deck.rewind()
                }
                TouchButton {
                    width: transport.bw
                    height: panel.tap
                    text: "▶▶"
                    onClicked: panel.deck.fastForward()
                }
                TouchButton {
                    objectName: "sync" + panel.index
                    width: transport.bw
                    height: panel.tap
                    text: "SYNC"
                    selected: panel.deck.syncOn
                    onClicked: panel.deck.sync()
                }
                TouchButton {
                    objectName: "minus" + panel.index
                    width: transport.bw
                    height: panel.tap
                    enabled: panel.deck.pitchButtonsEnabled
                    text: "−"
                    onPressed: panel.deck.minusDown()
                    onReleased: panel.deck.minusUp()
                }
                TouchButton {
                    objectName: "plus" + panel.index
                    width: transport.bw
                    height: panel.tap
                    enabled: panel.deck.pitchButtonsEnabled
                    text: "+"
                    onPressed: panel.deck.plusDown()
                    onReleased: panel.deck.plusUp()
                }
                TouchButton {
                    objectName: panel.compact ? "eject" + panel.index : ""
                    visible: panel.compact
                    width: transport.bw
                    height: panel.tap
                    text: "⏏"
                    accent: "#f0b429"
                    onClicked: panel.deck.eject()
                }
            }

            // Panel switches.
            Row {
                id: switches
                objectName: "switches" + panel.index
                readonly property real bw: (controls.width - spacing * 6) / 7
                spacing: panel.gap
                TouchButton {
                    objectName: "cuePanel" + panel.index
                    width: switches.bw; height: panel.tap
                    text: "CUE"; selected: panel.deck.cuePanel
                    onClicked: panel.deck.cueLoopPanelSwitch()
                }
                TouchButton {
                    objectName: "loopPanel" + panel.index
                    width: switches.bw; height: panel.tap
                    text: "LOOP"; selected: panel.deck.loopPanel
                    onClicked: panel.deck.loopPanelSwitch()
                }
                TouchButton {
                    objectName: "pitchPanel" + panel.index
                    width: switches.bw; height: panel.tap
                    text: "PITCH"; selected: panel.deck.pitchPanel
                    onPressed: panel.deck.pitchPanelDown()
                    onReleased: panel.deck.pitchPanelUp()
                }
                TouchButton {
                    objectName: "bendPanel" + panel.index
                    width: switches.bw; height: panel.tap
                    text: "BEND"; selected: panel.deck.bendPanel
                    onClicked: panel.deck.bendPanelSwitch()
                }
                TouchButton {
                    objectName: "volumePanel" + panel.index
                    width: switches.bw; height: panel.tap
                    text: "VOL"; selected: panel.deck.volumePanel
                    onClicked: panel.deck.volumePanelSwitch()
                }
                TouchButton {
                    objectName: "eqPanel" + panel.index
                    width: switches.bw; height: panel.tap
                    text: "EQ"; selected: panel.deck.eqPanel
                    onClicked: panel.deck.eqPanelSwitch()
                    // The automatic bass/treble swap owns the EQ while it is on.
                    Rectangle {
                        visible: Mixer.autoEqMarks
                        anchors.top: parent.top
                        anchors.right: parent.right
                        anchors.margins: 3
                        width: 8; height: 8; radius: 4
                        color: "#38d26b"
                    }
                }
                TouchButton {
                    objectName: "fxPanel" + panel.index
                    width: switches.bw; height: panel.tap
                    text: "FX"; selected: panel.deck.fxPanel
                    onClicked: panel.deck.fxPanelSwitch()
                }
            }

            // The open panel, with the LP/HP knob beside it (or across, with none open).
            Item {
                id: panelArea
                objectName: "panelArea" + panel.index
                width: controls.width
                height: panel.panelOpen ? panel.openHeight : panel.tap

                Item {
                    id: open
                    objectName: "openPanel" + panel.index
                    visible: panel.panelOpen
                    anchors.left: parent.left
                    anchors.top: parent.top
                    anchors.bottom: parent.bottom
                    anchors.right: lphpColumn.strip ? parent.right : lphpColumn.left
                    anchors.rightMargin: lphpColumn.strip ? 0 : panel.gap
                    // Keys fill the panel in two rows.
                    readonly property real rowHeight: (height - panel.gap) / 2

                    // Cue points.
                    Grid {
                        objectName: "cueKeys" + panel.index
                        visible: panel.deck.cuePanel
                        columns: 3
                        spacing: panel.gap
                        readonly property real bw: (open.width - spacing * 2) / 3
                        TouchButton { width: parent.bw; height: open.rowHeight; text: "SET"; onClicked: panel.deck.cue() }
                        TouchButton { width: parent.bw; height: open.rowHeight; text: "DEL"; onClicked: panel.deck.cueDelete() }
                        TouchButton {
                            width: parent.bw; height: open.rowHeight; text: "HOLD"
                            onPressed: panel.deck.cueHoldDown()
                            // Only a lift on the button ends the preview; a lift outside it or
                            // a cancelled touch leaves the deck playing.
                            onClicked: panel.deck.cueHoldUp()
                        }
                        TouchButton { width: parent.bw; height: open.rowHeight; text: "◀ CUE"; onClicked: panel.deck.cuePrevious() }
                        TouchButton { width: parent.bw; height: open.rowHeight; text: "CUE ▶"; onClicked: panel.deck.cueNext() }
                    }

                    // Loops.
                    Grid {
                        objectName: "loopKeys" + panel.index
                        visible: panel.deck.loopPanel
                        columns: 3
                        spacing: panel.gap
                        readonly property real bw: (open.width - spacing * 2) / 3
                        TouchButton {
                            width: parent.bw; height: open.rowHeight; text: "IN/OUT"
                            selected: panel.deck.loopWaiting
                            onClicked: panel.deck.loopInOut()
                        }
                        TouchButton {
                            width: parent.bw; height: open.rowHeight; text: "EXIT"
                            selected: panel.deck.loopOn
                            onClicked: panel.deck.loopStop()
                        }
                        Label {
                            objectName: "loopLength" + panel.index
                            width: parent.bw; height: open.rowHeight
                            text: panel.deck.loopText + " beats"
                            horizontalAlignment: Text.AlignHCenter
                        }
                        TouchButton { width: parent.bw; height: open.rowHeight; text: "½"; onClicked: panel.deck.loopDivide() }
                        TouchButton { width: parent.bw; height: open.rowHeight; text: "×2"; onClicked: panel.deck.loopExpand() }
                    }

                    // Pitch, tap and BPM entry, tempo nudge and grid shift. The grid keys'
                    // arrows point where the beat marks move: later in the track is further
                    // down the waveform.
                    Grid {
                        objectName: "pitchKeys" + panel.index
                        visible: panel.deck.pitchPanel
                        columns: 4
                        spacing: panel.gap
                        readonly property real bw: (open.width - spacing * 3) / 4
                        TouchButton {
                            width: parent.bw; height: open.rowHeight; text: "RESET"
                            selected: panel.deck.pitchMode
                            onPressed: panel.deck.resetDown()
                            onReleased: panel.deck.resetUp()
                            onDoubleTapped: panel.deck.resetDouble()
                        }
                        TouchButton { width: parent.bw; height: open.rowHeight; text: panel.deck.pitchMode ? "PITCH" : "KEY"; onClicked: panel.deck.togglePitchMode() }
                        TouchButton {
                            objectName: "tap" + panel.index
                            width: parent.bw; height: open.rowHeight
                            text: panel.deck.tapShown ? panel.deck.tapText : "TAP"
                            onPressed: panel.deck.tapDown()
                            onReleased: panel.deck.tapUp()
                        }
                        TouchButton {
                            objectName: "bpmPadButton" + panel.index
                            width: parent.bw; height: open.rowHeight; text: "BPM…"
                            selected: panel.deck.bpmPadOpen
                            onClicked: panel.deck.bpmPad()
                        }
                        TouchButton { width: parent.bw; height: open.rowHeight; text: "BPM −"; onClicked: panel.deck.tempoMinus() }
                        TouchButton { width: parent.bw; height: open.rowHeight; text: "BPM +"; onClicked: panel.deck.tempoPlus() }
                        TouchButton {
                            objectName: "gridUp" + panel.index
                            width: parent.bw; height: open.rowHeight; text: "GRID ▲"
                            onClicked: panel.deck.shiftGridUp()
                        }
                        TouchButton {
                            objectName: "gridDown" + panel.index
                            width: parent.bw; height: open.rowHeight; text: "GRID ▼"
                            onClicked: panel.deck.shiftGridDown()
                        }
                    }

                    // Bend, with the speed strip between its keys: the deck plays at the
                    // strip's speed while the finger holds it.
                    Row {
                        objectName: "bendKeys" + panel.index
                        visible: panel.deck.bendPanel
                        spacing: panel.gap
                        TouchButton {
                            width: open.width / 4; height: open.height; text: "BEND −"
                            onPressed: panel.deck.bendDownDown()
                            onReleased: panel.deck.bendDownEnd()
                        }
                        ValueStrip {
                            objectName: "speedStrip" + panel.index
                            width: open.width / 2 - 2 * panel.gap; height: open.height
                            label: "SPEED"
                            accent: panel.deck.color
                            enabled: panel.deck.playing
                            opacity: enabled ? 1.0 : 0.4
                            property real held: 0.5
                            value: held
                            // 0…1 across the deck's speed range, 0.85…1.15.
                            onMoved: v => {
                                held = v;
                                panel.deck.setSpeed(0.85 + 0.3 * v);
                            }
                            onReleased: {
                                held = 0.5;
                                panel.deck.releaseSpeed();
                            }
                        }
                        TouchButton {
                            width: open.width / 4; height: open.height; text: "BEND +"
                            onPressed: panel.deck.bendUpDown()
                            onReleased: panel.deck.bendUpEnd()
                        }
                    }

                    // Volume: channel fader, gain, master, the headphone fade; reset.
                    Row {
                        objectName: "volumeKeys" + panel.index
                        visible: panel.deck.volumePanel
                        spacing: panel.gap * 2
                        readonly property real fader: open.height - labelRoom.height
                        SliderView { control: panel.deck.volume; horizontal: false; width: panel.tap; height: parent.fader; label: "VOL" }
                        SliderView { control: panel.deck.gain; horizontal: false; width: panel.tap; height: parent.fader; label: "GAIN" }
                        SliderView { control: panel.deck.master; horizontal: false; width: panel.tap; height: parent.fader; label: "MASTER" }
                        ValueStrip {
                            horizontal: false; width: panel.tap; height: parent.fader
                            label: "HP"
                            value: Mixer.headphoneFade
                            onMoved: v => Mixer.setHeadphoneFade(v)
                        }
                        TouchButton { width: Math.max(panel.tap, open.width - 4 * panel.tap - 8 * panel.gap); height: panel.tap; text: "RESET"; onClicked: panel.deck.volumeReset() }
                    }

                    // EQ.
                    Row {
                        objectName: "eqKeys" + panel.index
                        visible: panel.deck.eqPanel
                        spacing: panel.gap * 2
                        readonly property real fader: open.height - labelRoom.height
                        SliderView { control: panel.deck.eqLow; horizontal: false; width: panel.tap; height: parent.fader; label: "LOW" }
                        SliderView { control: panel.deck.eqMid; horizontal: false; width: panel.tap; height: parent.fader; label: "MID" }
                        SliderView { control: panel.deck.eqHigh; horizontal: false; width: panel.tap; height: parent.fader; label: "HIGH" }
                        TouchButton { width: Math.max(panel.tap, open.width - 3 * panel.tap - 6 * panel.gap); height: panel.tap; text: "RESET"; onClicked: panel.deck.eqReset() }
                    }
                    // Room under the faders for their labels.
                    Text { id: labelRoom; visible: false; text: "VOL"; font.pixelSize: 16 }

                    // Effects: choice, read-outs, slots (tablet), XY pad.
                    Item {
                        objectName: "fxKeys" + panel.index
                        visible: panel.deck.fxPanel
                        anchors.fill: parent
                        Column {
                            id: fxChoice
                            width: Math.round(parent.width * (panel.compact ? 0.55 : 0.5))
                            spacing: panel.gap
                            // The arrows, and the effect's name and XY read-outs beside them
                            // (below them where the panel is narrow).
                            Flow {
                                width: fxChoice.width
                                spacing: panel.gap
                                Row {
                                    id: fxArrows
                                    spacing: panel.gap
                                    TouchButton { width: panel.tap; height: panel.tap; text: "◀"; onClicked: panel.deck.previousEffect() }
                                    TouchButton { width: panel.tap; height: panel.tap; text: "▶"; onClicked: panel.deck.nextEffect() }
                                }
                                Column {
                                    readonly property bool beside: !panel.compact
                                    width: beside ? fxChoice.width - fxArrows.width - panel.gap : fxChoice.width
                                    height: beside ? panel.tap : implicitHeight
                                    Label {
                                        objectName: "effectName" + panel.index
                                        width: parent.width
                                        text: panel.deck.effectName
                                        color: panel.deck.effectHeld ? "#38d26b" : "#e8eaf2"
                                        fontSizeMode: Text.HorizontalFit
                                        minimumPixelSize: 9
                                    }
                                    Label {
                                        width: parent.width
                                        text: "X " + panel.deck.xText + "   Y " + panel.deck.yText
                                        color: "#9aa3b5"
                                        font.pixelSize: panel.fontSize * 0.75
                                        fontSizeMode: Text.HorizontalFit
                                        minimumPixelSize: 8
                                    }
                                }
                            }
                            // Slots 1…7, wrapping in rows that the panel holds (the phone's
                            // panel has room for the arrows only).
                            Flow {
                                objectName: "fxSlots" + panel.index
                                visible: !panel.compact
                                width: fxChoice.width
                                spacing: panel.gap
                                Repeater {
                                    model: 7
                                    TouchButton {
                                        required property int index
                                        objectName: "fxSlot" + panel.index + "_" + index
                                        width: 44; height: 44
                                        text: String(index + 1)
                                        selected: panel.deck.effectSlot === index
                                        onClicked: panel.deck.chooseEffect(index)
                                    }
                                }
                            }
                        }
                        XYPadView {
                            objectName: "xyPad" + panel.index
                            anchors.left: fxChoice.right
                            anchors.leftMargin: panel.gap
                            anchors.right: parent.right
                            anchors.top: parent.top
                            anchors.bottom: parent.bottom
                            control: panel.deck.fxPad
                        }
                    }
                }

                // LP/HP knob and its re-centring key (a tap on it, or a double tap on the knob).
                Item {
                    id: lphpColumn
                    readonly property bool strip: !panel.panelOpen
                    anchors.right: parent.right
                    anchors.top: parent.top
                    anchors.bottom: parent.bottom
                    // Upright on the phone the key stands beside the knob (the panel is low).
                    readonly property bool side: strip || panel.compact
                    width: strip ? parent.width : (panel.compact ? 2 * panel.tap + panel.gap : panel.tap)
                    opacity: panel.deck.lphpShown ? 1.0 : 0.45
                    SliderView {
                        objectName: "lphp" + panel.index
                        width: lphpColumn.strip ? lphpColumn.width - lphpReset.width - panel.gap
                                                : panel.tap
                        height: lphpColumn.side ? lphpColumn.height
                                                : lphpColumn.height - lphpReset.height - panel.gap
                        horizontal: lphpColumn.strip
                        control: panel.deck.lphp
                        accent: "#c77dff"
                        onDoubleTapped: panel.deck.lphpReset()
                    }
                    TouchButton {
                        id: lphpReset
                        objectName: "lphpReset" + panel.index
                        anchors.right: parent.right
                        anchors.bottom: parent.bottom
                        width: lphpColumn.strip ? panel.tap * 1.4 : panel.tap
                        height: panel.tap
                        text: "LP/HP"
                        onClicked: panel.deck.lphpReset()
                    }
                }
            }
        }
    }
}
