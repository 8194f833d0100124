// The track browser: filter buttons (all tracks, crates A–E), the three sort buttons, the
// table of tracks with the import row last, and Load / Cancel (and the random pick when it is
// switched on). On a tablet it is a popover pointing at the target deck's header, and a tap
// beside it dismisses it like Cancel; on a phone it covers the window.
//
// A tap on a track selects it (its cell then shows the track's overview); a user track's cell
// is swiped to the left to reveal its Delete button. Everything is drawn with Qt Quick items;
// the state is TrackBrowser's.
pragma ComponentBehavior: Bound
import QtQuick
import Velvox.Nexa

Item {
    id: browser

    required property real u

    // The popover (tablet) and where it points, scaled from the application's window points.
    readonly property bool popover: Shell.tablet && TrackBrowser.anchored
    readonly property real scaleX: width / TrackBrowser.anchorSpace.width
    readonly property real scaleY: height / TrackBrowser.anchorSpace.height
    readonly property real targetX: (TrackBrowser.anchorRect.x + TrackBrowser.anchorRect.width / 2) * scaleX
    readonly property real targetBottom: (TrackBrowser.anchorRect.y + TrackBrowser.anchorRect.height) * scaleY
    readonly property real arrowSize: u * 1.6
    // Rows are drawn at the controller's height in pixels.
    readonly property real textSize: 15

    objectName: "browser"
    visible: Shell.browserShown

    // Tablet: the dimmed window around the popover; a tap there closes it without loading.
    Rectangle {
        anchors.fill: parent
        visible: browser.popover
        color: "#80000000"
        MultiPointTouchArea {
            anchors.fill: parent
            onReleased: TrackBrowser.cancel()
        }
    }

    Rectangle {
        id: panel
        objectName: "browserPanel"

        x: browser.popover ? Math.max(browser.u, Math.min(browser.width - width - browser.u, browser.targetX - width / 2)) : 0
        y: browser.popover ? browser.targetBottom + browser.arrowSize / 2 : 0
        width: browser.popover ? Math.min(browser.width - 2 * browser.u, browser.u * 46) : browser.width
        height: browser.popover ? Math.min(browser.height - y - browser.u, browser.u * 66) : browser.height
        radius: browser.popover ? browser.u * 0.8 : 0
        color: "#151922"
        border.color: browser.popover ? "#5b6580" : "transparent"
        border.width: 1
        // A delayed load (a track not analysed yet) keeps touches away until it happens.
        enabled: TrackBrowser.touchesEnabled

        // The popover's arrow, under the header it points at.
        Rectangle {
            visible: browser.popover
            width: browser.arrowSize
            height: width
            rotation: 45
            x: Math.max(browser.u, Math.min(panel.width - width - browser.u, browser.targetX - panel.x - width / 2))
            y: -height / 2
            color: panel.color
            border.color: panel.border.color
        }
        // Touches that reach no control stay in the browser.
        MultiPointTouchArea { anchors.fill: parent }

        // Which deck the track goes to.
        Row {
            id: headers
            anchors.top: parent.top
            anchors.left: parent.left
            anchors.right: parent.right
            anchors.margins: browser.u * 0.6
            height: browser.u * 3
            spacing: browser.u * 0.4
            Repeater {
                // HeaderL is the left (tablet) or upper (phone) deck, deck 1.
                model: [
                    { name: "browserHeaderL", on: TrackBrowser.headerLEnabled, text: Shell.tablet ? "LEFT DECK" : "UPPER DECK" },
                    { name: "browserHeaderR", on: TrackBrowser.headerREnabled, text: Shell.tablet ? "RIGHT DECK" : "LOWER DECK" }
                ]
                // Only the deck the track goes to is named: the other deck's header was no
                // tab (nothing switches the target here; each deck opens its own browser).
                delegate: Rectangle {
                    required property var modelData
                    objectName: modelData.name
                    visible: modelData.on
                    width: headers.width
                    height: headers.height
                    radius: browser.u * 0.3
                    color: "#2f8cff"
                    Text {
                        anchors.centerIn: parent
                        text: "LOAD INTO " + parent.modelData.text
                        color: "#ffffff"
                        font.pixelSize: browser.u * 1.2
                        font.bold: true
                    }
                }
            }
        }

        // Filter buttons: all tracks, then crates A–E.
        Row {
            id: filters
            anchors.top: headers.bottom
            anchors.left: parent.left
            anchors.right: parent.right
            anchors.margins: browser.u * 0.6
            height: Math.max(44, browser.u * 3.4)
            spacing: browser.u * 0.4
            Repeater {
                model: 6
                delegate: TouchButton {
                    required property int index
                    objectName: "browserFilter" + index
                    width: (filters.width - filters.spacing * 5) / 6
                    height: filters.height
                    text: index === 0 ? "All" : String.fromCharCode(64 + index)
                    selected: TrackBrowser.filterSelected[index] === true
                    onClicked: TrackBrowser.setFilter(TrackBrowser.firstFilterTag + index)
                }
            }
        }

        // Sort buttons: the first steps through its orders and shows the current one.
        Row {
            id: sorts
            anchors.top: filters.bottom
            anchors.left: parent.left
            anchors.right: parent.right
            anchors.margins: browser.u * 0.6
            height: Math.max(44, browser.u * 3.2)
            spacing: browser.u * 0.4
            Text {
                width: browser.u * 4
                height: parent.height
                text: "Sort"
                color: "#9aa3b5"
                font.pixelSize: browser.u * 1.2
                verticalAlignment: Text.AlignVCenter
            }
            TouchButton {
                objectName: "browserSort1"
                width: (sorts.width - browser.u * 4 - sorts.spacing * 3) / 2
                height: sorts.height
                text: TrackBrowser.sortOrderLabel
                selected: TrackBrowser.sortSelected[0] === true
                accent: "#8a63d2"
                onClicked: TrackBrowser.sort1()
            }
            TouchButton {
                objectName: "browserSort2"
                width: (sorts.width - browser.u * 4 - sorts.spacing * 3) / 4
                height: sorts.height
                text: "Date"
                selected: TrackBrowser.sortSelected[1] === true
                accent: "#8a63d2"
                onClicked: TrackBrowser.sort2()
            }
            TouchButton {
                objectName: "browserSort3"
                width: (sorts.width - browser.u * 4 - sorts.spacing * 3) / 4
                height: sorts.height
                text: "Plays"
                selected: TrackBrowser.sortSelected[2] === true
                accent: "#8a63d2"
                onClicked: TrackBrowser.sort3()
            }
        }

        // Column labels over the rows.
        Item {
            id: columns
            anchors.top: sorts.bottom
            anchors.left: parent.left
            anchors.right: parent.right
            anchors.leftMargin: browser.u * 1.4
            anchors.rightMargin: browser.u * 1.4
            height: browser.textSize * 1.4
            Text {
                anchors.left: parent.left
                anchors.verticalCenter: parent.verticalCenter
                text: "TRACK · ARTIST — ALBUM"
                color: "#7d8699"
                font.pixelSize: browser.textSize * 0.7
            }
            Text {
                anchors.right: parent.right
                anchors.verticalCenter: parent.verticalCenter
                text: "TEMPO / PLAYS · ADDED"
                color: "#7d8699"
                font.pixelSize: browser.textSize * 0.7
            }
        }

        ListView {
            id: list
            objectName: "browserList"
            anchors.top: columns.bottom
            anchors.bottom: buttons.top
            anchors.left: parent.left
            anchors.right: parent.right
            anchors.margins: browser.u * 0.6
            clip: true
            boundsBehavior: Flickable.StopAtBounds
            model: TrackBrowser.rows
            // A crate with no tracks says so (the import row alone does not count).
            Text {
                objectName: "browserEmpty"
                anchors.centerIn: parent
                width: parent.width * 0.8
                visible: list.count === 0 || (list.count === 1 && list.itemAtIndex(0) !== null
                                              && list.itemAtIndex(0).model.isImport)
                text: "No tracks here yet. Add tracks to this crate from the full list."
                color: "#9aa3b5"
                font.pixelSize: browser.textSize
                wrapMode: Text.Wrap
                horizontalAlignment: Text.AlignHCenter
            }
            // One row: a track (labels; the overview when selected; swipe to delete for user
            // tracks) or the import row.
            delegate: Item {
                id: cell

                required property int index
                required property var model

                // Pressed-and-dragged: the release is a swipe, not a tap.
                property bool swiped: false

                objectName: "browserRow" + index
                width: list.width
                height: model.height
                clip: true

                // Behind the face: the Delete button that the swipe uncovers.
                Rectangle {
                    id: deleteButton
                    objectName: "browserDelete" + cell.index
                    anchors.right: parent.right
                    width: browser.u * 7
                    height: parent.height
                    visible: cell.model.deletable && face.x < 0
                    color: "#d63b3b"
                    Text {
                        anchors.centerIn: parent
                        text: "Delete"
                        color: "#ffffff"
                        font.pixelSize: browser.textSize
                        font.bold: true
                    }
                    MouseArea {
                        anchors.fill: parent
                        onClicked: TrackBrowser.remove(cell.index)
                    }
                }

                Rectangle {
                    id: face
                    width: parent.width
                    height: parent.height
                    // The highlighted cell is light so that its overview's dark lines read on it.
                    color: cell.model.selected ? "#b8acd8" : (cell.model.isImport ? "#2a3042" : (cell.index % 2 ? "#1b1f29" : "#20252f"))

                    Behavior on x {
                        enabled: !swipe.drag.active
                        NumberAnimation { duration: 120 }
                    }

                    // The selected track's overview: for each x a line that far above and below the
                    // middle.
                    Item {
                        id: overview
                        objectName: "browserOverview" + cell.index

                        // Reach of each x's line, pixels.
                        property var lines: []

                        function reread() {
                            lines = visible && width >= 1 ? TrackBrowser.overview(cell.index, Math.floor(width), height) : [];
                        }

                        anchors.fill: parent
                        visible: cell.model.selected && cell.model.hasPeakFile
                        onVisibleChanged: reread()
                        onWidthChanged: reread()
                        onHeightChanged: reread()
                        Component.onCompleted: reread()

                        // One pixel-wide rectangle per x (exact colour, no smoothing).
                        Repeater {
                            model: overview.lines
                            delegate: Rectangle {
                                required property int index
                                required property real modelData
                                x: index
                                y: overview.height / 2 - modelData
                                width: 1
                                height: 2 * modelData
                                visible: modelData > 0
                                color: TrackBrowser.overviewColor
                            }
                        }
                    }

                    // Track: title, artist and album on the left; tempo / plays and date on the right.
                    Item {
                        anchors.fill: parent
                        anchors.leftMargin: browser.u * 0.8
                        anchors.rightMargin: browser.u * 0.8
                        visible: !cell.model.isImport
                        Column {
                            anchors.left: parent.left
                            anchors.right: numbers.left
                            anchors.rightMargin: browser.u * 0.5
                            anchors.verticalCenter: parent.verticalCenter
                            Text {
                                width: parent.width
                                text: cell.model.title
                                color: cell.model.selected ? "#14121c" : "#ffffff"
                                // On the highlight, a halo of its colour keeps the title
                                // readable over the overview's lines.
                                style: Text.Outline
                                styleColor: cell.model.selected ? "#b8acd8" : "#40000000"
                                font.pixelSize: browser.textSize
                                font.bold: true
                                elide: Text.ElideRight
                            }
                            Text {
                                width: parent.width
                                text: [cell.model.artist, cell.model.album].filter(s => s.length > 0).join(" — ")
                                color: cell.model.selected ? "#2a2440" : "#9aa3b5"
                                font.pixelSize: browser.textSize * 0.8
                                elide: Text.ElideRight
                            }
                        }
                        Column {
                            id: numbers
                            anchors.right: parent.right
                            anchors.verticalCenter: parent.verticalCenter
                            Text {
                                anchors.right: parent.right
                                text: cell.model.tempo
                                color: cell.model.selected ? "#14121c" : "#ffffff"
                                font.pixelSize: browser.textSize * 0.85
                                font.family: "monospace"
                            }
                            Text {
                                anchors.right: parent.right
                                text: (cell.model.deletable ? "" : "DEMO · ") + cell.model.date + cell.model.plays
                                color: cell.model.selected ? "#2a2440" : "#7d8699"
                                font.pixelSize: browser.textSize * 0.75
                            }
                        }
                    }
                    // The import row: its centred text.
                    Text {
                        anchors.centerIn: parent
                        visible: cell.model.isImport
                        text: cell.model.title
                        color: "#ffffff"
                        font.family: "Olney-Medium"
                        font.pixelSize: 18
                    }
                    Rectangle {
                        anchors.bottom: parent.bottom
                        width: parent.width
                        height: 1
                        color: "#0b0d11"
                    }

                    // Tap selects (or closes an uncovered Delete); a sideways drag of a user track
                    // uncovers Delete, and is kept open when dragged past half of it.
                    MouseArea {
                        id: swipe
                        anchors.fill: parent
                        drag.target: cell.model.deletable ? face : null
                        drag.axis: Drag.XAxis
                        drag.minimumX: -deleteButton.width
                        drag.maximumX: 0
                        property real pressX: 0

                        onPressed: mouse => {
                            pressX = mouse.x;
                            cell.swiped = false;
                        }
                        // A sideways drag is a swipe on any row, even one without Delete.
                        onPositionChanged: mouse => {
                            if (drag.active || Math.abs(mouse.x - pressX) > Qt.styleHints.startDragDistance)
                                cell.swiped = true;
                        }
                        onReleased: {
                            if (cell.swiped)
                                face.x = face.x < -deleteButton.width / 2 ? -deleteButton.width : 0;
                        }
                        onClicked: {
                            if (cell.swiped)
                                return;
                            if (face.x < 0)
                                face.x = 0;
                            else
                                TrackBrowser.select(cell.index);
                        }
                    }
                }
            }
        }

        // Random pick (when switched on), Cancel, Load.
        Item {
            id: buttons
            anchors.bottom: parent.bottom
            anchors.left: parent.left
            anchors.right: parent.right
            anchors.margins: browser.u * 0.6
            height: Math.max(44, browser.u * 4)
            TouchButton {
                objectName: "browserRandom"
                anchors.left: parent.left
                width: browser.u * 8
                height: parent.height
                visible: TrackBrowser.randomEnabled
                text: "Random"
                onClicked: TrackBrowser.random()
            }
            Row {
                anchors.right: parent.right
                height: parent.height
                spacing: browser.u * 0.6
                TouchButton {
                    objectName: "browserCancel"
                    width: browser.u * 9
                    height: parent.height
                    text: "Cancel"
                    onClicked: TrackBrowser.cancel()
                }
                TouchButton {
                    objectName: "browserLoad"
                    width: browser.u * 9
                    height: parent.height
                    text: "Load"
                    enabled: TrackBrowser.loadEnabled
                    selected: enabled
                    accent: "#1f9d55"
                    onClicked: TrackBrowser.load()
                }
            }
        }
    }
}
