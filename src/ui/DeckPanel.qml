// One deck's part of the mixing screen: track name, read-outs, the waveform area, transport,
// panel switches and the open panel (cue, loop, pitch, bend, volume, EQ, effects), with the
// LP/HP knob. Used by both layouts; `u` is the layout's grid unit.
//
// The waveform area (`waveArea`, objectName "waveArea0" / "waveArea1") holds the deck's
// scrolling waveform ("waveform0" / "waveform1") and, while zoom is on, its whole-track
// overview strip ("overview0" / "overview1").
pragma ComponentBehavior: Bound
import QtQuick
import Velvox.Nexa

Rectangle {
    id: panel

    required property Deck deck
    required property real u
    // The phone's panels are short: there, with no panel open, the LP/HP control becomes a
    // strip across the deck and the waveform takes the room the panel would use.
    property bool compact: false
    readonly property bool panelOpen: deck.cuePanel || deck.loopPanel || deck.pitchPanel
                                      || deck.bendPanel || deck.volumePanel || deck.eqPanel
                                      || deck.fxPanel
    readonly property alias waveArea: waveArea
    readonly property int index: deck.index

    color: "#171a21"
    border.color: "#2b303c"
    radius: u * 0.5
    enabled: deck.touchesEnabled

    component Label: Text {
        color: "#e8eaf2"
        font.pixelSize: panel.u * 1.6
        elide: Text.ElideRight
        verticalAlignment: Text.AlignVCenter
    }

    Column {
        id: column
        anchors.fill: parent
        anchors.margins: panel.u * 0.6
        spacing: panel.u * 0.5

        // Track name, loading note and eject.
        Item {
            width: column.width
            height: panel.u * 4.2
            Column {
                anchors.left: parent.left
                anchors.right: eject.left
                anchors.verticalCenter: parent.verticalCenter
                Label {
                    width: parent.width
                    objectName: "title" + panel.index
                    text: panel.deck.loading ? panel.deck.loadingText || "Loading…" : (panel.deck.title || "No track")
                    font.bold: true
                }
                Label {
                    width: parent.width
                    text: panel.deck.artist
                    color: "#9aa3b5"
                    font.pixelSize: panel.u * 1.3
                }
            }
            TouchButton {
                id: eject
                objectName: "eject" + panel.index
                anchors.right: parent.right
                anchors.verticalCenter: parent.verticalCenter
                width: panel.u * 5
                height: panel.u * 3.6
                text: "⏏"
                accent: "#f0b429"
                selected: panel.deck.ejectFlash > 0
                onClicked: panel.deck.eject()
            }
        }

        // Read-outs: time (tap: elapsed/remaining), pitch, BPM, speed.
        Row {
            spacing: panel.u
            height: panel.u * 2.4
            Label {
                objectName: "time" + panel.index
                text: panel.deck.timeText || "--:--"
                font.family: "monospace"
                color: panel.deck.remainingTime ? "#f0b429" : "#e8eaf2"
                MultiPointTouchArea {
                    anchors.fill: parent
                    onReleased: panel.deck.toggleTimeMode()
                }
            }
            Label {
                text: panel.deck.pitchText
                font.family: "monospace"
            }
            Label {
                text: (panel.deck.bpmText || "???") + " BPM"
                font.family: "monospace"
            }
            Label {
                visible: !panel.deck.speedHidden
                text: panel.deck.speedText
                color: panel.deck.speedRed ? "#ff5a5a" : "#9aa3b5"
                font.pixelSize: panel.u * (panel.deck.speedLarge ? 2.2 : 1.5)
            }
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
                width: visible ? Math.round(parent.width * 0.16) : 0
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
                // Analysis indicator: lit while the engine analyses a track.
                Rectangle {
                    objectName: "analysisLed" + panel.index
                    readonly property bool lit: waveform.analysing
                    width: panel.u * 0.9
                    height: width
                    radius: width / 2
                    anchors.top: parent.top
                    anchors.topMargin: panel.u * 0.4
                    anchors.horizontalCenter: parent.horizontalCenter
                    color: lit ? "#ff9f1a" : "#3a2a12"
                    border.color: "#00000080"
                }
            }
        }

        Column {
            id: controls
            width: column.width
            spacing: panel.u * 0.5

            // Transport.
            Row {
                id: transport
                readonly property real bw: (controls.width - spacing * 6) / 7
                spacing: panel.u * 0.4
                TouchButton {
                    objectName: "play" + panel.index
                    width: transport.bw * 1.5
                    height: panel.u * 4
                    text: panel.deck.playing ? "■" : "▶"
                    selected: panel.deck.playing
                    accent: "#38d26b"
                    enabled: panel.deck.loaded
                    onClicked: panel.deck.playStop()
                }
                TouchButton {
                    width: transport.bw
                    height: panel.u * 4
                    text: "❚❚"
                    enabled: panel.deck.loaded
                    onClicked: panel.deck.pause()
                }
                TouchButton {
                    width: transport.bw * 0.75
                    height: panel.u * 4
                    text: "◀◀"
                    onClicked: panel.deck.rewind()
                }
                TouchButton {
                    width: transport.bw * 0.75
                    height: panel.u * 4
                    text: "▶▶"
                    onClicked: panel.deck.fastForward()
                }
                TouchButton {
                    objectName: "sync" + panel.index
                    width: transport.bw
                    height: panel.u * 4
                    text: "SYNC"
                    selected: panel.deck.syncOn
                    onClicked: panel.deck.sync()
                }
                TouchButton {
                    width: transport.bw
                    height: panel.u * 4
                    visible: panel.deck.pitchButtonsEnabled
                    text: "−"
                    onPressed: panel.deck.minusDown()
                    onReleased: panel.deck.minusUp()
                }
                TouchButton {
                    width: transport.bw
                    height: panel.u * 4
                    visible: panel.deck.pitchButtonsEnabled
                    text: "+"
                    onPressed: panel.deck.plusDown()
                    onReleased: panel.deck.plusUp()
                }
            }

            // Panel switches.
            Row {
                id: switches
                readonly property real bw: (controls.width - spacing * 6) / 7
                spacing: panel.u * 0.4
                TouchButton {
                    width: switches.bw; height: panel.u * 3
                    text: "CUE"; selected: panel.deck.cuePanel
                    onClicked: panel.deck.cueLoopPanelSwitch()
                }
                TouchButton {
                    width: switches.bw; height: panel.u * 3
                    text: "LOOP"; selected: panel.deck.loopPanel
                    onClicked: panel.deck.loopPanelSwitch()
                }
                TouchButton {
                    width: switches.bw; height: panel.u * 3
                    text: "PITCH"; selected: panel.deck.pitchPanel
                    onPressed: panel.deck.pitchPanelDown()
                    onReleased: panel.deck.pitchPanelUp()
                }
                TouchButton {
                    width: switches.bw; height: panel.u * 3
                    text: "BEND"; selected: panel.deck.bendPanel
                    onClicked: panel.deck.bendPanelSwitch()
                }
                TouchButton {
                    objectName: "volumePanel" + panel.index
                    width: switches.bw; height: panel.u * 3
                    text: "VOL"; selected: panel.deck.volumePanel
                    onClicked: panel.deck.volumePanelSwitch()
                }
                TouchButton {
                    width: switches.bw; height: panel.u * 3
                    text: "EQ"; selected: panel.deck.eqPanel
                    onClicked: panel.deck.eqPanelSwitch()
                }
                TouchButton {
                    width: switches.bw; height: panel.u * 3
                    text: "FX"; selected: panel.deck.fxPanel
                    onClicked: panel.deck.fxPanelSwitch()
                }
            }

            // The open panel, with the LP/HP knob beside it.
            Item {
                id: panelArea
                width: controls.width
                height: lphpColumn.strip ? panel.u * 3.4 : panel.u * 11

                Item {
                    id: open
                    anchors.left: parent.left
                    anchors.top: parent.top
                    anchors.bottom: parent.bottom
                    anchors.right: lphpColumn.left
                    anchors.rightMargin: panel.u * 0.5

                    // Cue points.
                    Grid {
                        visible: panel.deck.cuePanel
                        columns: 3
                        spacing: panel.u * 0.4
                        readonly property real bw: (open.width - spacing * 2) / 3
                        TouchButton { width: parent.bw; height: panel.u * 3.2; text: "SET"; onClicked: panel.deck.cue() }
                        TouchButton { width: parent.bw; height: panel.u * 3.2; text: "DEL"; onClicked: panel.deck.cueDelete() }
                        TouchButton {
                            width: parent.bw; height: panel.u * 3.2; text: "HOLD"
                            onPressed: panel.deck.cueHoldDown()
                            // Only a lift on the button ends the preview; a lift outside it or
                            // a cancelled touch leaves the deck playing.
                            onClicked: panel.deck.cueHoldUp()
                        }
                        TouchButton { width: parent.bw; height: panel.u * 3.2; text: "◀ CUE"; onClicked: panel.deck.cuePrevious() }
                        TouchButton { width: parent.bw; height: panel.u * 3.2; text: "CUE ▶"; onClicked: panel.deck.cueNext() }
                    }

                    // Loops.
                    Grid {
                        visible: panel.deck.loopPanel
                        columns: 3
                        spacing: panel.u * 0.4
                        readonly property real bw: (open.width - spacing * 2) / 3
                        TouchButton {
                            width: parent.bw; height: panel.u * 3.2; text: "IN/OUT"
                            selected: panel.deck.loopWaiting
                            onClicked: panel.deck.loopInOut()
                        }
                        TouchButton {
                            width: parent.bw; height: panel.u * 3.2; text: "EXIT"
                            selected: panel.deck.loopOn
                            onClicked: panel.deck.loopStop()
                        }
                        Label { width: parent.bw; height: panel.u * 3.2; text: panel.deck.loopText; horizontalAlignment: Text.AlignHCenter }
                        TouchButton { width: parent.bw; height: panel.u * 3.2; text: "½"; onClicked: panel.deck.loopDivide() }
                        TouchButton { width: parent.bw; height: panel.u * 3.2; text: "×2"; onClicked: panel.deck.loopExpand() }
                    }

                    // Pitch, tap and BPM entry.
                    Grid {
                        visible: panel.deck.pitchPanel
                        columns: 4
                        spacing: panel.u * 0.4
                        readonly property real bw: (open.width - spacing * 3) / 4
                        TouchButton {
                            width: parent.bw; height: panel.u * 3.2; text: "RESET"
                            selected: panel.deck.pitchMode
                            onPressed: panel.deck.resetDown()
                            onReleased: panel.deck.resetUp()
                            onDoubleTapped: panel.deck.resetDouble()
                        }
                        TouchButton { width: parent.bw; height: panel.u * 3.2; text: panel.deck.pitchMode ? "PITCH" : "KEY"; onClicked: panel.deck.togglePitchMode() }
                        TouchButton {
                            width: parent.bw; height: panel.u * 3.2
                            text: panel.deck.tapShown ? panel.deck.tapText : "TAP"
                            fontScale: 0.26
                            onPressed: panel.deck.tapDown()
                            onReleased: panel.deck.tapUp()
                        }
                        TouchButton { width: parent.bw; height: panel.u * 3.2; text: "BPM…"; selected: panel.deck.bpmPadOpen; onClicked: panel.deck.bpmPad() }
                        TouchButton { width: parent.bw; height: panel.u * 3.2; text: "BPM −"; onClicked: panel.deck.tempoMinus() }
                        TouchButton { width: parent.bw; height: panel.u * 3.2; text: "BPM +"; onClicked: panel.deck.tempoPlus() }
                        TouchButton { width: parent.bw; height: panel.u * 3.2; text: "GRID ◀"; onClicked: panel.deck.shiftGridDown() }
                        TouchButton { width: parent.bw; height: panel.u * 3.2; text: "GRID ▶"; onClicked: panel.deck.shiftGridUp() }
                    }

                    // Bend.
                    Row {
                        visible: panel.deck.bendPanel && !panel.deck.cuePanel && !panel.deck.loopPanel && !panel.deck.pitchPanel
                        spacing: panel.u * 0.4
                        TouchButton {
                            width: open.width / 2 - panel.u * 0.2; height: panel.u * 4; text: "BEND −"
                            onPressed: panel.deck.bendDownDown()
                            onReleased: panel.deck.bendDownEnd()
                        }
                        TouchButton {
                            width: open.width / 2 - panel.u * 0.2; height: panel.u * 4; text: "BEND +"
                            onPressed: panel.deck.bendUpDown()
                            onReleased: panel.deck.bendUpEnd()
                        }
                    }

                    // Volume: channel fader, gain, master.
                    Row {
                        visible: panel.deck.volumePanel
                        anchors.fill: parent
                        anchors.bottomMargin: panel.u * 1.6
                        spacing: panel.u * 1.5
                        SliderView { control: panel.deck.volume; horizontal: false; width: panel.u * 3; height: parent.height; label: "VOL" }
                        SliderView { control: panel.deck.gain; horizontal: false; width: panel.u * 3; height: parent.height; label: "GAIN" }
                        SliderView { control: panel.deck.master; horizontal: false; width: panel.u * 3; height: parent.height; label: "MASTER" }
                        TouchButton { width: panel.u * 6; height: panel.u * 3; text: "RESET"; onClicked: panel.deck.volumeReset() }
                    }

                    // EQ.
                    Row {
                        visible: panel.deck.eqPanel
                        anchors.fill: parent
                        anchors.bottomMargin: panel.u * 1.6
                        spacing: panel.u * 1.5
                        SliderView { control: panel.deck.eqLow; horizontal: false; width: panel.u * 3; height: parent.height; label: "LOW" }
                        SliderView { control: panel.deck.eqMid; horizontal: false; width: panel.u * 3; height: parent.height; label: "MID" }
                        SliderView { control: panel.deck.eqHigh; horizontal: false; width: panel.u * 3; height: parent.height; label: "HIGH" }
                        TouchButton { width: panel.u * 6; height: panel.u * 3; text: "RESET"; onClicked: panel.deck.eqReset() }
                    }

                    // Effects: choice, XY pad, read-outs.
                    Item {
                        visible: panel.deck.fxPanel
                        anchors.fill: parent
                        Column {
                            id: fxChoice
                            width: parent.width * 0.45
                            spacing: panel.u * 0.4
                            Row {
                                spacing: panel.u * 0.4
                                TouchButton { width: panel.u * 3.2; height: panel.u * 3; text: "◀"; onClicked: panel.deck.previousEffect() }
                                Label {
                                    width: fxChoice.width - panel.u * 7.2
                                    height: panel.u * 3
                                    horizontalAlignment: Text.AlignHCenter
                                    text: panel.deck.effectName
                                    color: panel.deck.effectHeld ? "#38d26b" : "#e8eaf2"
                                }
                                TouchButton { width: panel.u * 3.2; height: panel.u * 3; text: "▶"; onClicked: panel.deck.nextEffect() }
                            }
                            Label { text: "X " + panel.deck.xText; font.pixelSize: panel.u * 1.4 }
                            Label { text: "Y " + panel.deck.yText; font.pixelSize: panel.u * 1.4 }
                            Flow {
                                width: fxChoice.width
                                spacing: panel.u * 0.3
                                Repeater {
                                    model: 7
                                    TouchButton {
                                        required property int index
                                        width: panel.u * 2.6; height: panel.u * 2.2
                                        text: String(index + 1)
                                        selected: panel.deck.effectSlot === index
                                        onClicked: panel.deck.chooseEffect(index)
                                    }
                                }
                            }
                        }
                        XYPadView {
                            anchors.left: fxChoice.right
                            anchors.leftMargin: panel.u * 0.5
                            anchors.right: parent.right
                            anchors.top: parent.top
                            anchors.bottom: parent.bottom
                            control: panel.deck.fxPad
                        }
                    }
                }

                // LP/HP knob (a short vertical control, or a strip) and its reset.
                Item {
                    id: lphpColumn
                    readonly property bool strip: panel.compact && !panel.panelOpen
                    anchors.right: parent.right
                    anchors.top: parent.top
                    anchors.bottom: parent.bottom
                    width: strip ? parent.width : panel.u * 4
                    opacity: panel.deck.lphpShown ? 1.0 : 0.45
                    SliderView {
                        objectName: "lphp" + panel.index
                        width: lphpColumn.strip ? lphpColumn.width - lphpReset.width - panel.u * 0.5
                                                : lphpColumn.width
                        height: lphpColumn.strip ? lphpColumn.height
                                                 : lphpColumn.height - panel.u * 3.3
                        horizontal: lphpColumn.strip
                        control: panel.deck.lphp
                        accent: "#c77dff"
                    }
                    TouchButton {
                        id: lphpReset
                        anchors.right: parent.right
                        anchors.bottom: parent.bottom
                        width: panel.u * 4; height: panel.u * 3
                        text: "LP/HP"; fontScale: 0.28
                        onDoubleTapped: panel.deck.lphpReset()
                    }
                }
            }
        }
    }
}
