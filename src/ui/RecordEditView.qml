// The recordings list: the recorded mixes ("VXNexa" files) with name, extension, size and
// duration, playback of one with the position slider and the elapsed and remaining time,
// conversion of a WAV mix to M4A (a spinner, touches held off meanwhile), share of an M4A,
// rename, delete, paste and the Wi-Fi transfer. Full window on both layouts, over the menu.
pragma ComponentBehavior: Bound

import QtQuick
import Velvox.Nexa

Rectangle {
    id: view

    required property real u
    readonly property real tap: Math.max(44, u * 5)
    readonly property real gap: Math.max(3, Math.round(u * 0.5))
    readonly property real font: Math.max(11, u * 1.6)
    readonly property bool hasSelection: Recordings.selectedRow >= 0

    objectName: "recordEdit"
    visible: Recordings.shown
    color: "#14171e"

    MultiPointTouchArea { anchors.fill: parent } // touches stay in the screen

    Row {
        id: bar
        x: view.gap
        y: view.gap
        width: parent.width - 2 * view.gap
        height: view.tap
        spacing: view.gap
        readonly property real bw: Math.max(view.tap, Math.min(view.u * 10, (width - 3 * spacing) / 4.5))

        TouchButton { objectName: "recordsClose"; width: bar.bw; height: parent.height; text: "CLOSE"; onClicked: Recordings.close() }
        Text {
            width: parent.width - 3 * bar.bw - 3 * bar.spacing
            height: parent.height
            text: width >= 90 ? "Recordings" : ""
            color: "#eef0f6"
            font.pixelSize: view.font * 1.3
            font.bold: true
            fontSizeMode: Text.HorizontalFit
            minimumPixelSize: 9
            horizontalAlignment: Text.AlignHCenter
            verticalAlignment: Text.AlignVCenter
        }
        TouchButton { objectName: "recordsWifi"; width: bar.bw; height: parent.height; text: "WI-FI"; onClicked: Recordings.server() }
        TouchButton { objectName: "recordsPaste"; width: bar.bw; height: parent.height; text: "PASTE"; onClicked: Recordings.paste() }
    }

    ListView {
        id: list
        objectName: "recordList"
        anchors.top: bar.bottom
        anchors.topMargin: view.gap
        anchors.bottom: player.top
        anchors.bottomMargin: view.gap
        x: view.gap
        width: parent.width - 2 * view.gap
        clip: true
        spacing: view.gap
        boundsBehavior: Flickable.StopAtBounds
        model: Recordings.rows

        delegate: Rectangle {
            id: row

            required property var modelData
            required property int index

            objectName: "recordRow" + index
            width: list.width
            height: Math.max(58, view.tap + 2 * view.gap)
            radius: view.gap
            color: Recordings.selectedRow === index ? "#2a3650" : "#1c2029"
            border.color: "#2c3240"

            MultiPointTouchArea {
                anchors.fill: parent
                onReleased: Recordings.select(row.index)
            }
            TouchButton {
                id: playButton
                objectName: "recordPlay" + row.index
                x: view.gap
                anchors.verticalCenter: parent.verticalCenter
                width: view.tap
                height: view.tap
                text: row.modelData.playing ? "■" : "▶"
                selected: row.modelData.playing
                onClicked: Recordings.play(row.index)
            }
            Column {
                anchors.left: playButton.right
                anchors.leftMargin: view.gap
                anchors.right: parent.right
                anchors.rightMargin: view.gap
                anchors.verticalCenter: parent.verticalCenter
                Text {
                    objectName: "fileName" + row.index
                    width: parent.width
                    text: row.modelData.fileName
                    color: "#eef0f6"
                    font.pixelSize: view.font
                    elide: Text.ElideMiddle
                }
                Row {
                    spacing: view.u * 1.5
                    Text {
                        objectName: "recordExtension" + row.index
                        text: row.modelData.extension
                        color: "#ffb347"
                        font.pixelSize: view.font * 0.85
                        font.bold: true
                    }
                    Text {
                        objectName: "recordSize" + row.index
                        text: row.modelData.size
                        color: "#8a93a6"
                        font.pixelSize: view.font * 0.85
                    }
                    Text {
                        objectName: "recordDuration" + row.index
                        text: row.modelData.duration
                        color: "#8a93a6"
                        font.pixelSize: view.font * 0.85
                    }
                }
            }
        }
    }

    Text {
        anchors.centerIn: list
        visible: Recordings.rows.length === 0
        text: "No recordings yet"
        color: "#6c7486"
        font.pixelSize: view.font
    }

    // The selected recording: its name, the position slider and the two times, the actions.
    Column {
        id: player
        anchors.bottom: parent.bottom
        anchors.bottomMargin: view.gap
        x: view.gap
        width: parent.width - 2 * view.gap
        spacing: view.gap

        Text {
            objectName: "recordName"
            width: parent.width
            text: Recordings.recordName
            color: "#eef0f6"
            font.pixelSize: view.font * 1.1
            elide: Text.ElideMiddle
            horizontalAlignment: Text.AlignHCenter
        }
        Row {
            width: parent.width
            height: view.tap
            spacing: view.gap
            readonly property real lw: Math.max(view.font * 3.4, view.u * 6)
            Text {
                objectName: "positionBefore"
                width: parent.lw
                height: parent.height
                text: Recordings.positionBefore
                color: "#d5d9e3"
                font.pixelSize: view.font
                verticalAlignment: Text.AlignVCenter
            }
            SliderView {
                objectName: "recordSlider"
                control: Recordings.playSlider
                width: parent.width - 2 * parent.lw - 2 * parent.spacing
                height: parent.height
            }
            Text {
                objectName: "positionAfter"
                width: parent.lw
                height: parent.height
                text: Recordings.positionAfter
                color: "#d5d9e3"
                font.pixelSize: view.font
                horizontalAlignment: Text.AlignRight
                verticalAlignment: Text.AlignVCenter
            }
        }
        Row {
            id: actions
            width: parent.width
            height: view.tap
            spacing: view.gap
            readonly property real bw: (width - 3 * spacing) / 4
            TouchButton { objectName: "recordConvert"; width: actions.bw; height: parent.height; text: "TO M4A"; enabled: Recordings.canConvert; onClicked: Recordings.convert() }
            TouchButton { objectName: "recordShare"; width: actions.bw; height: parent.height; text: "SHARE"; enabled: Recordings.canShare; onClicked: Recordings.share() }
            TouchButton { objectName: "recordRename"; width: actions.bw; height: parent.height; text: "RENAME"; enabled: view.hasSelection; onClicked: Recordings.rename() }
            TouchButton { objectName: "recordDelete"; width: actions.bw; height: parent.height; text: "DELETE"; accent: "#ff4d4d"; enabled: view.hasSelection; onClicked: Recordings.deleteRow(Recordings.selectedRow) }
        }
    }

    // A conversion runs: a spinner, and no touch reaches the window until it ends.
    Rectangle {
        objectName: "convertSpinner"
        anchors.fill: parent
        visible: Recordings.converting
        color: "#a0000000"
        MultiPointTouchArea { anchors.fill: parent }
        Item {
            anchors.centerIn: parent
            width: view.u * 8
            height: width
            RotationAnimator on rotation {
                from: 0
                to: 360
                duration: 900
                loops: Animation.Infinite
                running: Recordings.converting
            }
            Repeater {
                model: 8
                Rectangle {
                    required property int index
                    x: parent.width / 2 - width / 2 + Math.cos(index * Math.PI / 4) * parent.width * 0.4
                    y: parent.height / 2 - height / 2 + Math.sin(index * Math.PI / 4) * parent.height * 0.4
                    width: parent.width * 0.16
                    height: width
                    radius: width / 2
                    color: "#eef0f6"
                    opacity: 0.2 + index * 0.1
                }
            }
        }
        Text {
            anchors.horizontalCenter: parent.horizontalCenter
            anchors.top: parent.verticalCenter
            anchors.topMargin: view.u * 6
            text: "Converting…"
            color: "#eef0f6"
            font.pixelSize: view.font
        }
    }
}
