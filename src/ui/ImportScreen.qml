// The music-library import: the picker (a searchable list of the music folder's tracks with
// title, artist, album and length; a tap ticks a track; Import takes the ticked ones) and
// then the progress screen (the overall bar with "%i of %i", the current file's bar and its
// title, Cancel). It covers the window on a phone and sits centred on a tablet. The state is
// MusicImport's.
pragma ComponentBehavior: Bound
import QtQuick
import Velvox.Nexa

Rectangle {
    id: screen

    required property real u

    objectName: "importScreen"
    visible: MusicImport.shown
    color: "#c0000000"

    MultiPointTouchArea { anchors.fill: parent } // modal

    Rectangle {
        id: panel
        objectName: "importPanel"
        anchors.centerIn: parent
        width: Shell.tablet ? Math.min(parent.width - screen.u * 4, screen.u * 52) : parent.width
        height: Shell.tablet ? Math.min(parent.height - screen.u * 4, screen.u * 70) : parent.height
        radius: Shell.tablet ? screen.u * 0.8 : 0
        color: "#151922"
        border.color: "#5b6580"
        border.width: Shell.tablet ? 1 : 0

        // --- the picker ------------------------------------------------------------------
        Item {
            id: picker
            objectName: "importPicker"
            anchors.fill: parent
            anchors.margins: screen.u
            visible: MusicImport.pickerShown

            Text {
                id: prompt
                objectName: "importPrompt"
                anchors.top: parent.top
                width: parent.width
                text: MusicImport.prompt
                color: "#eef0f6"
                font.pixelSize: screen.u * 2.2
                font.bold: true
                horizontalAlignment: Text.AlignHCenter
            }
            Rectangle {
                id: searchBox
                anchors.top: prompt.bottom
                anchors.topMargin: screen.u
                width: parent.width
                height: screen.u * 4
                radius: screen.u * 0.5
                color: "#252a34"
                border.color: "#465065"
                TextInput {
                    id: searchInput
                    objectName: "importSearch"
                    anchors.fill: parent
                    anchors.margins: screen.u * 0.8
                    color: "#eef0f6"
                    font.pixelSize: screen.u * 1.8
                    verticalAlignment: TextInput.AlignVCenter
                    clip: true
                    onTextEdited: MusicImport.search(text)
                }
                Text {
                    anchors.fill: searchInput
                    visible: searchInput.text.length === 0
                    text: "Search"
                    color: "#7a8296"
                    font.pixelSize: screen.u * 1.8
                    verticalAlignment: Text.AlignVCenter
                }
            }
            Text {
                objectName: "importLoading"
                anchors.centerIn: list
                visible: MusicImport.loading || list.count === 0
                text: MusicImport.loading ? "Reading the music folder…" : "No tracks"
                color: "#aab1c2"
                font.pixelSize: screen.u * 1.8
            }
            ListView {
                id: list
                objectName: "importList"
                anchors.top: searchBox.bottom
                anchors.topMargin: screen.u * 0.5
                anchors.bottom: buttons.top
                anchors.bottomMargin: screen.u * 0.5
                width: parent.width
                clip: true
                model: MusicImport.rows
                delegate: Rectangle {
                    id: cell
                    required property var modelData
                    required property int index
                    readonly property bool usable: modelData.problem.length === 0
                    objectName: "importRow" + index
                    width: ListView.view.width
                    height: screen.u * 5.6
                    color: modelData.selected ? "#23406b" : (index % 2 ? "#191e28" : "#1c2230")
                    opacity: usable ? 1.0 : 0.45
                    Text {
                        id: mark
                        anchors.left: parent.left
                        anchors.leftMargin: screen.u * 0.6
                        anchors.verticalCenter: parent.verticalCenter
                        width: screen.u * 2.4
                        text: cell.modelData.selected ? "✓" : ""
                        color: "#7fb4ff"
                        font.pixelSize: screen.u * 2.2
                    }
                    Column {
                        anchors.left: mark.right
                        anchors.right: length.left
                        anchors.rightMargin: screen.u * 0.5
                        anchors.verticalCenter: parent.verticalCenter
                        Text {
                            width: parent.width
                            text: cell.modelData.title
                            color: "#eef0f6"
                            font.pixelSize: screen.u * 1.8
                            elide: Text.ElideRight
                        }
                        Text {
                            width: parent.width
                            text: cell.usable ? [cell.modelData.artist, cell.modelData.album].filter(s => s.length > 0).join(" — ")
                                              : cell.modelData.problem
                            color: "#9aa2b5"
                            font.pixelSize: screen.u * 1.4
                            elide: Text.ElideRight
                        }
                    }
                    Text {
                        id: length
                        anchors.right: parent.right
                        anchors.rightMargin: screen.u * 0.8
                        anchors.verticalCenter: parent.verticalCenter
                        text: cell.modelData.length
                        color: "#aab1c2"
                        font.pixelSize: screen.u * 1.5
                    }
                    MultiPointTouchArea {
                        anchors.fill: parent
                        onReleased: MusicImport.toggle(cell.index)
                    }
                }
            }
            Row {
                id: buttons
                anchors.bottom: parent.bottom
                anchors.horizontalCenter: parent.horizontalCenter
                spacing: screen.u
                TouchButton {
                    objectName: "importCancel"
                    width: screen.u * 12
                    height: screen.u * 4.5
                    text: "Cancel"
                    onClicked: MusicImport.cancelPicker()
                }
                TouchButton {
                    objectName: "importDone"
                    width: screen.u * 14
                    height: screen.u * 4.5
                    enabled: MusicImport.selectedCount > 0
                    selected: enabled
                    text: MusicImport.selectedCount > 0 ? "Import (" + MusicImport.selectedCount + ")" : "Import"
                    onClicked: MusicImport.done()
                }
            }
        }

        // --- the progress screen -----------------------------------------------------------
        Column {
            objectName: "importProgress"
            anchors.centerIn: parent
            width: parent.width - screen.u * 4
            spacing: screen.u * 1.2
            visible: !MusicImport.pickerShown

            Text {
                objectName: "importAllLabel"
                width: parent.width
                text: MusicImport.allLabel
                color: "#eef0f6"
                font.pixelSize: screen.u * 2.2
                horizontalAlignment: Text.AlignHCenter
            }
            Rectangle {
                objectName: "importAllBar"
                width: parent.width
                height: screen.u * 1.2
                radius: height / 2
                color: "#252a34"
                Rectangle {
                    width: parent.width * Math.max(0, Math.min(1, MusicImport.allProgress))
                    height: parent.height
                    radius: parent.radius
                    color: "#2f8cff"
                }
            }
            Text {
                objectName: "importFileLabel"
                width: parent.width
                text: MusicImport.fileLabel
                color: "#d5d9e3"
                font.pixelSize: screen.u * 1.8
                horizontalAlignment: Text.AlignHCenter
                elide: Text.ElideMiddle
            }
            Rectangle {
                objectName: "importFileBar"
                width: parent.width
                height: screen.u * 0.8
                radius: height / 2
                color: "#252a34"
                Rectangle {
                    width: parent.width * Math.max(0, Math.min(1, MusicImport.fileProgress))
                    height: parent.height
                    radius: parent.radius
                    color: "#56d27a"
                }
            }
            TouchButton {
                objectName: "importStop"
                anchors.horizontalCenter: parent.horizontalCenter
                width: screen.u * 12
                height: screen.u * 4.5
                text: "Cancel"
                enabled: MusicImport.importing
                onClicked: MusicImport.cancelImport()
            }
        }
    }
}
