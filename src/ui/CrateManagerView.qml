// The crate manager: the crate buttons (all tracks, A–E), the sort cycle, empty and delete,
// import and Wi-Fi transfer, and the rows with their tags, tempo, length, size, crate letter,
// preview and crate buttons. Tapping a row selects it; tapping it again edits its tags;
// swiping a user track to the left offers its deletion. The crate picker opens over the row
// whose crate button was pressed. Full screen on a phone; a large popover on a tablet.
pragma ComponentBehavior: Bound
import QtQuick
import Velvox.Nexa

Item {
    id: view

    required property real u
    readonly property real k: Shell.tablet ? u * 0.8 : u
    // Every finger target is at least 44 px both ways.
    readonly property real target: Math.max(44, view.k * 5)
    readonly property var letters: ["A", "B", "C", "D", "E"]
    readonly property var emptyRow: ({ title: "", artist: "", album: "", tempo: "", duration: "",
                                       size: "", assigned: "X", builtIn: true, playing: false,
                                       selected: false })

    visible: Crates.managerShown

    MultiPointTouchArea { anchors.fill: parent } // modal
    Rectangle {
        anchors.fill: parent
        color: Shell.tablet ? "#60000000" : "#0b0d11"
    }

    Rectangle {
        id: panel
        objectName: "crateManager"
        anchors.centerIn: parent
        width: Shell.tablet ? Math.min(view.width - view.k * 4, view.k * 90) : view.width
        height: Shell.tablet ? view.height - view.k * 6 : view.height
        radius: Shell.tablet ? view.k : 0
        color: "#181c24"
        border.color: Shell.tablet ? "#4a5264" : "transparent"
        clip: true

        Column {
            id: controls
            anchors.left: parent.left
            anchors.right: parent.right
            anchors.top: parent.top
            anchors.margins: view.k
            spacing: view.k * 0.6

            // Back, title, import and Wi-Fi.
            Row {
                width: parent.width
                spacing: view.k * 0.6
                TouchButton {
                    objectName: "crateBack"
                    width: Math.max(view.target, view.k * 8)
                    height: view.target
                    text: "BACK"
                    onClicked: Crates.back()
                }
                Text {
                    width: parent.width - Math.max(view.target, view.k * 8) * 3 - view.k * 1.8
                    height: view.target
                    text: "Crates"
                    color: "#eef0f6"
                    font.pixelSize: view.k * 2.2
                    font.bold: true
                    verticalAlignment: Text.AlignVCenter
                    horizontalAlignment: Text.AlignHCenter
                    elide: Text.ElideRight
                }
                TouchButton {
                    objectName: "crateImport"
                    width: Math.max(view.target, view.k * 8)
                    height: view.target
                    fontScale: 0.3
                    text: "IMPORT"
                    onClicked: Crates.importMusic()
                }
                TouchButton {
                    objectName: "crateWiFi"
                    width: Math.max(view.target, view.k * 8)
                    height: view.target
                    fontScale: 0.3
                    text: "WI-FI"
                    onClicked: Crates.server()
                }
            }

            // The crate buttons (tags 29–34).
            Row {
                id: crateRow
                width: parent.width
                spacing: view.k * 0.4
                Repeater {
                    model: 6
                    TouchButton {
                        required property int index
                        objectName: "crateButton" + (index === 0 ? "All" : view.letters[index - 1])
                        width: (crateRow.width - crateRow.spacing * 5) / 6
                        height: view.target
                        text: index === 0 ? "ALL" : view.letters[index - 1]
                        selected: Crates.currentCrate === index - 1
                        onClicked: Crates.setCrate(index - 1)
                    }
                }
            }

            // Sort cycle, empty and delete.
            Row {
                id: actionRow
                width: parent.width
                spacing: view.k * 0.4
                TouchButton {
                    objectName: "crateSort"
                    width: (actionRow.width - actionRow.spacing * 2) / 3
                    height: view.target
                    fontScale: 0.3
                    text: "Sort: " + Crates.sortLabel
                    onClicked: Crates.sortBy()
                }
                TouchButton {
                    objectName: "crateEmpty"
                    width: (actionRow.width - actionRow.spacing * 2) / 3
                    height: view.target
                    fontScale: 0.3
                    text: "EMPTY CRATE"
                    enabled: Crates.currentCrate >= 0
                    onClicked: Crates.emptyCrate()
                }
                TouchButton {
                    objectName: "crateDelete"
                    width: (actionRow.width - actionRow.spacing * 2) / 3
                    height: view.target
                    fontScale: 0.3
                    accent: "#ff4d4d"
                    text: "DELETE ALL"
                    onClicked: Crates.deleteCrate()
                }
            }
        }

        ListView {
            id: list
            objectName: "crateList"
            anchors.left: parent.left
            anchors.right: parent.right
            anchors.top: controls.bottom
            anchors.bottom: parent.bottom
            anchors.margins: view.k
            clip: true
            spacing: 2
            // A count, so that a changed row redraws in place (the list keeps its scroll).
            model: Crates.rows.length
            boundsBehavior: Flickable.StopAtBounds

            delegate: Rectangle {
                id: cell
                required property int index
                readonly property var modelData: index < Crates.rows.length ? Crates.rows[index] : view.emptyRow
                property bool swiped: false
                objectName: "crateRow" + index
                width: list.width
                height: Math.max(view.target + view.k, view.k * 7)
                radius: view.k * 0.4
                color: modelData.selected ? "#2a3550" : "#11141a"

                MouseArea {
                    anchors.fill: parent
                    property real startX: 0
                    onPressed: mouse => startX = mouse.x
                    onReleased: mouse => {
                        const dx = mouse.x - startX
                        if (dx < -view.k * 5 && !cell.modelData.builtIn)
                            cell.swiped = true
                        else if (dx > view.k * 5)
                            cell.swiped = false
                        else if (Math.abs(dx) < view.k)
                            Crates.selectRow(cell.index)
                    }
                }
                TouchButton {
                    id: play
                    objectName: "cratePlay" + cell.index
                    x: view.k * 0.5
                    anchors.verticalCenter: parent.verticalCenter
                    width: view.target
                    height: view.target
                    text: cell.modelData.playing ? "■" : "▶"
                    selected: cell.modelData.playing
                    onClicked: Crates.play(cell.index)
                }
                Column {
                    anchors.left: play.right
                    anchors.leftMargin: view.k * 0.6
                    anchors.right: numbers.left
                    anchors.rightMargin: view.k * 0.4
                    anchors.verticalCenter: parent.verticalCenter
                    Text {
                        objectName: "crateTitle" + cell.index
                        width: parent.width
                        text: cell.modelData.title
                        color: "#eef0f6"
                        font.pixelSize: view.k * 2.0
                        font.bold: true
                        elide: Text.ElideRight
                    }
                    Text {
                        width: parent.width
                        text: cell.modelData.artist + (cell.modelData.album.length > 0 ? " — " + cell.modelData.album : "")
                        color: "#8a93a6"
                        font.pixelSize: view.k * 1.6
                        elide: Text.ElideRight
                    }
                }
                Column {
                    id: numbers
                    anchors.right: assign.left
                    anchors.rightMargin: view.k * 0.5
                    anchors.verticalCenter: parent.verticalCenter
                    width: view.k * 11
                    Text {
                        objectName: "crateTempo" + cell.index
                        width: parent.width
                        text: cell.modelData.tempo
                        color: "#d5d9e3"
                        font.pixelSize: view.k * 1.6
                        horizontalAlignment: Text.AlignRight
                    }
                    Text {
                        width: parent.width
                        text: cell.modelData.duration.trim() + "  " + cell.modelData.size.replace("\n", " ").trim()
                        color: "#8a93a6"
                        font.pixelSize: view.k * 1.4
                        horizontalAlignment: Text.AlignRight
                        fontSizeMode: Text.HorizontalFit
                        minimumPixelSize: 8
                    }
                }
                TouchButton {
                    id: assign
                    objectName: "crateAssign" + cell.index
                    anchors.right: parent.right
                    anchors.rightMargin: view.k * 0.5
                    anchors.verticalCenter: parent.verticalCenter
                    width: view.target
                    height: view.target
                    text: cell.modelData.assigned
                    selected: cell.modelData.assigned !== "X"
                    onClicked: Crates.assign(cell.index)
                }
                // Offered after a swipe to the left (user tracks only).
                TouchButton {
                    objectName: "crateRowDelete" + cell.index
                    visible: cell.swiped
                    anchors.right: parent.right
                    anchors.top: parent.top
                    anchors.bottom: parent.bottom
                    width: Math.max(view.target * 2, view.k * 12)
                    accent: "#ff4d4d"
                    selected: true
                    fontScale: 0.3
                    text: "DELETE"
                    onClicked: {
                        cell.swiped = false
                        Crates.deleteRow(cell.index)
                    }
                }
            }
        }

        // The crate picker over the row being assigned.
        Item {
            anchors.fill: parent
            visible: Crates.pickerRow >= 0
            MouseArea {
                anchors.fill: parent
                onClicked: Crates.closePicker()
            }
            Rectangle {
                id: picker
                objectName: "cratePicker"
                readonly property Item rowItem: Crates.pickerRow >= 0 ? list.itemAtIndex(Crates.pickerRow) : null
                width: Math.min(parent.width - view.k * 2, view.target * 6 + view.k * 4)
                height: view.target + view.k * 2
                x: (parent.width - width) / 2
                y: {
                    const centre = rowItem ? rowItem.mapToItem(panel, 0, rowItem.height / 2).y : panel.height / 2
                    return Math.max(view.k, Math.min(panel.height - height - view.k, centre - height / 2))
                }
                radius: view.k * 0.6
                color: "#262b36"
                border.color: "#6a7488"
                Row {
                    anchors.centerIn: parent
                    spacing: view.k * 0.5
                    Repeater {
                        model: 6
                        TouchButton {
                            required property int index
                            objectName: "pick" + (index < 5 ? view.letters[index] : "None")
                            width: view.target
                            height: view.target
                            text: index < 5 ? view.letters[index] : "X"
                            accent: index < 5 ? "#2f8cff" : "#ff4d4d"
                            onClicked: Crates.pick(index < 5 ? index : -1)
                        }
                    }
                }
            }
        }
    }
}
