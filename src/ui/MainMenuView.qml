// The main menu: library and recording statistics, the engine's load, the screens it opens,
// the six pads, the pad volume, the pitch read-out and the beat detector's four tuning
// sliders. Full screen on a phone; on a tablet a popover under the MENU button, closed by a
// tap outside it.
import QtQuick
import Velvox.Nexa

Item {
    id: view

    required property real u
    // The screen's unit: a popover on a tablet is drawn smaller than the full phone screen.
    readonly property real k: Shell.tablet ? u * 0.72 : u

    visible: Menu.shown

    // Tablet: the area outside the popover closes the menu.
    MultiPointTouchArea {
        anchors.fill: parent
        enabled: Shell.tablet
        onPressed: Menu.close()
    }
    Rectangle {
        anchors.fill: parent
        visible: Shell.tablet
        color: "#60000000"
        z: -1
    }

    Rectangle {
        id: panel
        objectName: "mainMenu"
        x: Shell.tablet ? view.k * 1 : 0
        y: Shell.tablet ? view.k * 5 : 0
        width: Shell.tablet ? Math.min(view.width - view.k * 2, view.k * 46) : view.width
        height: Shell.tablet ? Math.min(view.height - view.k * 6, content.implicitHeight + view.k * 2) : view.height
        radius: Shell.tablet ? view.k : 0
        color: "#181c24"
        border.color: Shell.tablet ? "#4a5264" : "transparent"
        clip: true

        MultiPointTouchArea { anchors.fill: parent } // touches stay in the menu

        Flickable {
            anchors.fill: parent
            anchors.margins: view.k
            contentHeight: content.implicitHeight
            boundsBehavior: Flickable.StopAtBounds

            Column {
                id: content
                width: parent.width
                spacing: view.k * 0.8

                Item {
                    width: parent.width
                    height: view.k * 4
                    // On a phone the menu covers the MENU button: its own sits in the same
                    // corner and closes it again.
                    TouchButton {
                        id: toggle
                        objectName: "menuToggle"
                        visible: !Shell.tablet
                        width: visible ? view.k * 6 : 0
                        height: parent.height
                        text: "MENU"
                        selected: true
                        onClicked: Menu.toggle()
                    }
                    Text {
                        anchors.left: toggle.right
                        anchors.leftMargin: view.k
                        anchors.verticalCenter: parent.verticalCenter
                        text: "Velvox Nexa"
                        color: "#eef0f6"
                        font.pixelSize: view.k * 2.2
                        font.bold: true
                    }
                    TouchButton {
                        objectName: "menuClose"
                        anchors.right: parent.right
                        width: view.k * 8
                        height: parent.height
                        text: "CLOSE"
                        onClicked: Menu.close()
                    }
                }

                Grid {
                    id: stats
                    width: parent.width
                    columns: 3
                    columnSpacing: view.k * 0.6
                    rowSpacing: view.k * 0.6
                    Repeater {
                        model: [
                            { name: "tracksNum", caption: "Tracks", value: Menu.tracksNum },
                            { name: "tracksSize", caption: "Size", value: Menu.tracksSize.replace("\n", " ") },
                            { name: "notAnalyzed", caption: "Not analysed", value: Menu.notAnalyzed },
                            { name: "recordsNum", caption: "Recordings", value: Menu.recordsNum },
                            { name: "recordsSize", caption: "Size", value: Menu.recordsSize.replace("\n", " ") },
                            { name: "cpu", caption: "CPU %", value: Menu.cpu }
                        ]
                        Rectangle {
                            required property var modelData
                            width: (stats.width - stats.columnSpacing * 2) / 3
                            height: view.k * 5
                            radius: view.k * 0.4
                            color: "#11141a"
                            Column {
                                anchors.centerIn: parent
                                Text {
                                    objectName: modelData.name + "Label"
                                    anchors.horizontalCenter: parent.horizontalCenter
                                    text: modelData.value
                                    color: "#eef0f6"
                                    font.pixelSize: view.k * 1.8
                                }
                                Text {
                                    anchors.horizontalCenter: parent.horizontalCenter
                                    text: modelData.caption
                                    color: "#8a93a6"
                                    font.pixelSize: view.k * 1.2
                                }
                            }
                        }
                    }
                }

                Grid {
                    id: actions
                    width: parent.width
                    columns: 4
                    columnSpacing: view.k * 0.5
                    rowSpacing: view.k * 0.5
                    Repeater {
                        model: [
                            { name: "menuSetup", text: "SETTINGS" },
                            { name: "menuBatch", text: "ANALYSE ALL" },
                            { name: "menuParty", text: "PARTY" },
                            { name: "menuRecord", text: "● REC" },
                            { name: "menuAutoEq", text: "AUTO EQ" },
                            { name: "menuImport", text: "IMPORT" },
                            { name: "menuHelp", text: "HELP" },
                            { name: "menuCrates", text: "CRATES" },
                            { name: "menuPlaylists", text: "PLAYLISTS" },
                            { name: "menuSamples", text: "SAMPLES" },
                            { name: "menuRecordings", text: "RECORDINGS" }
                        ]
                        TouchButton {
                            required property var modelData
                            objectName: modelData.name
                            width: (actions.width - actions.columnSpacing * 3) / 4
                            height: view.k * 4.2
                            fontScale: 0.3
                            text: modelData.text
                            accent: modelData.name === "menuRecord" ? "#ff4d4d" : "#2f8cff"
                            selected: modelData.name === "menuAutoEq" ? Menu.autoEq
                                    : modelData.name === "menuRecord" ? Menu.recording : false
                            onClicked: {
                                switch (modelData.name) {
                                case "menuSetup": Menu.setup(); break
                                case "menuBatch": Menu.batchRun(); break
                                case "menuParty": Menu.partyMode(); break
                                case "menuRecord": Menu.records(); break
                                case "menuAutoEq": Menu.autoEqToggle(); break
                                case "menuImport": Menu.importMusic(); break
                                case "menuHelp": Menu.help(); break
                                case "menuCrates": Crates.openManager(); break
                                case "menuPlaylists": Crates.openPlaylist(); break
                                case "menuSamples": SampleLibrary.open(); break
                                case "menuRecordings": Recordings.open(); break
                                }
                            }
                        }
                    }
                }

                Text {
                    text: "Sampler pads"
                    color: "#8a93a6"
                    font.pixelSize: view.k * 1.3
                }
                PadStrip {
                    width: parent.width
                    height: view.k * 4.5
                    u: view.k
                    prefix: "menuPad"
                }
                Row {
                    width: parent.width
                    spacing: view.k
                    Text {
                        width: view.k * 12
                        text: "Pad volume"
                        color: "#d5d9e3"
                        font.pixelSize: view.k * 1.4
                    }
                    MenuSlider {
                        objectName: "menuSampleVolume"
                        width: parent.width - view.k * 13
                        height: view.k * 3
                        value: Menu.sampleVolume
                        onMoved: v => Menu.setSampleVolume(v)
                    }
                }
                Row {
                    width: parent.width
                    spacing: view.k
                    Text {
                        objectName: "pitchLabel"
                        width: view.k * 12
                        text: Menu.pitch
                        color: "#d5d9e3"
                        font.pixelSize: view.k * 1.4
                    }
                    MenuSlider {
                        id: pitchSlider
                        objectName: "menuPitch"
                        width: parent.width - view.k * 13
                        height: view.k * 3
                        from: -12
                        to: 12
                        onMoved: v => { value = v; Menu.setPitch(v) }
                    }
                }

                Text {
                    text: "Beat detection"
                    color: "#8a93a6"
                    font.pixelSize: view.k * 1.3
                }
                Repeater {
                    // Tags 500…503 and their labels 600…603.
                    model: [
                        { name: "Onset ratio", from: 1, to: 12 },
                        { name: "Onset rise", from: 50, to: 1000 },
                        { name: "Beat weight", from: 0, to: 1 },
                        { name: "Tolerance", from: 0, to: 0.2 }
                    ]
                    Row {
                        id: tuningRow
                        required property var modelData
                        required property int index
                        width: content.width
                        spacing: view.k
                        Text {
                            width: view.k * 12
                            text: tuningRow.modelData.name
                            color: "#d5d9e3"
                            font.pixelSize: view.k * 1.3
                        }
                        MenuSlider {
                            objectName: "menuTuning" + tuningRow.index
                            width: parent.width - view.k * 21
                            height: view.k * 3
                            from: tuningRow.modelData.from
                            to: tuningRow.modelData.to
                            value: Menu.tuningValues.length > tuningRow.index ? Menu.tuningValues[tuningRow.index] : 0
                            onMoved: v => Menu.setTuning(tuningRow.index, v)
                        }
                        Text {
                            objectName: "menuTuningLabel" + tuningRow.index
                            width: view.k * 7
                            text: Menu.tuningLabels.length > tuningRow.index ? Menu.tuningLabels[tuningRow.index] : ""
                            color: "#eef0f6"
                            font.pixelSize: view.k * 1.3
                            horizontalAlignment: Text.AlignRight
                        }
                    }
                }
            }
        }
    }
}
