// The playlist editor: the filter buttons (all tracks, crates A–E) and the rows (title, artist).
// While a crate is shown every row carries a reorder handle: dragging it onto another row
// moves the track there. In all tracks, swiping a user track to the left offers its deletion.
// Full screen on a phone; a large popover on a tablet.
pragma ComponentBehavior: Bound
import QtQuick
import Velvox.Nexa

Item {
    id: view

    required property real u
    readonly property real k: Shell.tablet ? u * 0.8 : u
    readonly property real target: Math.max(44, view.k * 5)
    readonly property var letters: ["A", "B", "C", "D", "E"]
    readonly property bool reorder: Crates.playlistCrate >= 0

    visible: Crates.playlistShown

    MultiPointTouchArea { anchors.fill: parent } // modal
    Rectangle {
        anchors.fill: parent
        color: Shell.tablet ? "#60000000" : "#0b0d11"
    }

    Rectangle {
        id: panel
        objectName: "playlistEditor"
        anchors.centerIn: parent
        width: Shell.tablet ? Math.min(view.width - view.k * 4, view.k * 80) : view.width
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
            Row {
                width: parent.width
                spacing: view.k * 0.6
                TouchButton {
                    id: back
                    objectName: "playlistBack"
                    width: Math.max(view.target, view.k * 8)
                    height: view.target
                    text: "BACK"
                    onClicked: Crates.playlistBack()
                }
                Text {
                    objectName: "playlistTitle"
                    width: parent.width - back.width - view.k * 0.6
                    height: view.target
                    text: Crates.playlistTitle
                    color: "#eef0f6"
                    font.pixelSize: view.k * 2.2
                    font.bold: true
                    verticalAlignment: Text.AlignVCenter
                    elide: Text.ElideRight
                }
            }
            Row {
                id: filters
                width: parent.width
                spacing: view.k * 0.4
                Repeater {
                    model: 6
                    TouchButton {
                        required property int index
                        objectName: index === 0 ? "filterAll" : "filter" + view.letters[index - 1]
                        width: (filters.width - filters.spacing * 5) / 6
                        height: view.target
                        text: index === 0 ? "ALL" : view.letters[index - 1]
                        selected: Crates.playlistCrate === index - 1
                        onClicked: Crates.setFilter(index - 1)
                    }
                }
            }
        }

        ListView {
            id: list
            objectName: "playlistList"
            anchors.left: parent.left
            anchors.right: parent.right
            anchors.top: controls.bottom
            anchors.bottom: parent.bottom
            anchors.margins: view.k
            clip: true
            spacing: 2
            // A count, so that a changed row redraws in place (the list keeps its scroll).
            model: Crates.playlistRows.length
            boundsBehavior: Flickable.StopAtBounds
            interactive: !dragging
            property bool dragging: false

            delegate: Rectangle {
                id: cell
                required property int index
                readonly property var modelData: index < Crates.playlistRows.length
                                                 ? Crates.playlistRows[index]
                                                 : ({ title: "", artist: "", sortOrder: -1, deletable: false })
                property bool swiped: false
                objectName: "playlistRow" + index
                width: list.width
                height: Math.max(view.target + view.k * 0.5, view.k * 6)
                radius: view.k * 0.4
                color: "#11141a"

                MouseArea {
                    anchors.fill: parent
                    enabled: cell.modelData.deletable
                    property real startX: 0
                    onPressed: mouse => startX = mouse.x
                    onReleased: mouse => {
                        const dx = mouse.x - startX
                        if (dx < -view.k * 5)
                            cell.swiped = true
                        else if (dx > view.k * 5)
                            cell.swiped = false
                    }
                }
                Rectangle {
                    id: icon
                    x: view.k * 0.6
                    anchors.verticalCenter: parent.verticalCenter
                    width: view.k * 3.6
                    height: width
                    radius: view.k * 0.4
                    color: "#2f8cff"
                    Text {
                        anchors.centerIn: parent
                        text: "♪"
                        color: "white"
                        font.pixelSize: parent.height * 0.6
                    }
                }
                Column {
                    anchors.left: icon.right
                    anchors.leftMargin: view.k * 0.8
                    anchors.right: handle.left
                    anchors.rightMargin: view.k * 0.4
                    anchors.verticalCenter: parent.verticalCenter
                    Text {
                        objectName: "playlistRowTitle" + cell.index
                        width: parent.width
                        text: cell.modelData.title
                        color: "white"
                        font.pixelSize: view.k * 2.0
                        elide: Text.ElideRight
                    }
                    Text {
                        width: parent.width
                        text: cell.modelData.artist
                        color: "white"
                        opacity: 0.7
                        font.pixelSize: view.k * 1.6
                        elide: Text.ElideRight
                    }
                }
                // The reorder handle: dragged onto another row, the track moves there.
                Rectangle {
                    id: handle
                    objectName: "playlistHandle" + cell.index
                    visible: view.reorder
                    anchors.right: parent.right
                    anchors.rightMargin: view.k * 0.4
                    anchors.verticalCenter: parent.verticalCenter
                    width: visible ? view.target : 0
                    height: view.target
                    color: "transparent"
                    Text {
                        anchors.centerIn: parent
                        text: "≡"
                        color: "#d5d9e3"
                        font.pixelSize: view.target * 0.6
                    }
                    MouseArea {
                        anchors.fill: parent
                        preventStealing: true
                        onPressed: list.dragging = true
                        onReleased: mouse => {
                            list.dragging = false
                            const p = mapToItem(list.contentItem, mouse.x, mouse.y)
                            const to = list.indexAt(p.x, p.y)
                            if (to >= 0 && to !== cell.index)
                                Crates.moveRow(cell.index, to)
                        }
                        onCanceled: list.dragging = false
                    }
                }
                TouchButton {
                    objectName: "playlistRowDelete" + cell.index
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
                        Crates.deletePlaylistRow(cell.index)
                    }
                }
            }
        }
    }
}
