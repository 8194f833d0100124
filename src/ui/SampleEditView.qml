// The sample library: the WAV files of the documents folder with their information line and
// the pad that plays each, a preview per row, the preview volume, the pad-choice overlay on a
// row, rename, copy, delete and paste, the Wi-Fi transfer, and the microphone recorder as an
// overlay (level meter, elapsed time, stop). Full window on both layouts, over the mixing
// screen that opened it.
pragma ComponentBehavior: Bound

import QtQuick
import Velvox.Nexa

Rectangle {
    id: view

    required property real u
    readonly property real tap: Math.max(44, u * 5)
    readonly property real gap: Math.max(3, Math.round(u * 0.5))
    readonly property real font: Math.max(11, u * 1.6)
    readonly property bool hasSelection: SampleLibrary.selectedRow >= 0

    objectName: "sampleEdit"
    visible: SampleLibrary.shown
    color: "#14171e"

    MultiPointTouchArea { anchors.fill: parent } // touches stay in the screen

    Row {
        id: bar
        x: view.gap
        y: view.gap
        width: parent.width - 2 * view.gap
        height: view.tap
        spacing: view.gap
        readonly property real bw: Math.max(view.tap, Math.min(view.u * 10, (width - 4 * spacing) / 5.5))

        TouchButton { objectName: "sampleClose"; width: bar.bw; height: parent.height; text: "CLOSE"; onClicked: SampleLibrary.close() }
        Text {
            width: parent.width - 4 * bar.bw - 4 * bar.spacing
            height: parent.height
            text: width >= 70 ? "Samples" : ""
            color: "#eef0f6"
            font.pixelSize: view.font * 1.3
            font.bold: true
            fontSizeMode: Text.HorizontalFit
            minimumPixelSize: 9
            horizontalAlignment: Text.AlignHCenter
            verticalAlignment: Text.AlignVCenter
        }
        TouchButton { objectName: "sampleRecord"; width: bar.bw; height: parent.height; text: "● MIC"; accent: "#ff4d4d"; selected: SampleLibrary.recorderShown; onClicked: SampleLibrary.record() }
        TouchButton { objectName: "sampleWifi"; width: bar.bw; height: parent.height; text: "WI-FI"; onClicked: SampleLibrary.server() }
        TouchButton { objectName: "samplePaste"; width: bar.bw; height: parent.height; text: "PASTE"; onClicked: SampleLibrary.paste() }
    }

    Row {
        id: volumeRow
        anchors.top: bar.bottom
        anchors.topMargin: view.gap
        x: view.gap
        width: parent.width - 2 * view.gap
        height: view.tap
        spacing: view.gap
        Text {
            id: volumeCaption
            width: Math.min(view.u * 14, parent.width * 0.3)
            height: parent.height
            text: "Volume"
            color: "#d5d9e3"
            font.pixelSize: view.font
            fontSizeMode: Text.HorizontalFit
            minimumPixelSize: 9
            verticalAlignment: Text.AlignVCenter
        }
        MenuSlider {
            objectName: "sampleVolume"
            // Room at the right end for the knob's half beyond the track.
            width: parent.width - volumeCaption.width - view.gap - height * 0.4
            height: parent.height
            value: SampleLibrary.volume
            onMoved: v => SampleLibrary.setVolume(v)
        }
    }

    ListView {
        id: list
        objectName: "sampleList"
        anchors.top: volumeRow.bottom
        anchors.topMargin: view.gap
        anchors.bottom: actions.top
        anchors.bottomMargin: view.gap
        x: view.gap
        width: parent.width - 2 * view.gap
        clip: true
        spacing: view.gap
        boundsBehavior: Flickable.StopAtBounds
        model: SampleLibrary.rows

        delegate: Rectangle {
            id: row

            required property var modelData
            required property int index
            readonly property bool overlayOpen: SampleLibrary.overlayRow === index

            objectName: "sampleRow" + index
            width: list.width
            height: Math.max(58, view.tap + 2 * view.gap)
            radius: view.gap
            color: SampleLibrary.selectedRow === index ? "#2a3650" : "#1c2029"
            border.color: "#2c3240"

            // A tap on the row selects its file.
            MultiPointTouchArea {
                anchors.fill: parent
                onReleased: SampleLibrary.select(row.index)
            }
            TouchButton {
                id: playButton
                objectName: "samplePlay" + row.index
                x: view.gap
                anchors.verticalCenter: parent.verticalCenter
                width: view.tap
                height: view.tap
                visible: !row.overlayOpen
                text: row.modelData.playing ? "■" : "▶"
                selected: row.modelData.playing
                onClicked: SampleLibrary.play(row.index)
            }
            Column {
                anchors.left: playButton.right
                anchors.leftMargin: view.gap
                anchors.right: padButton.left
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
                Text {
                    objectName: "fileInfo" + row.index
                    width: parent.width
                    text: row.modelData.info
                    color: "#8a93a6"
                    font.pixelSize: view.font * 0.85
                    fontSizeMode: Text.HorizontalFit
                    minimumPixelSize: 8
                }
            }
            // The pad that plays the file ("X": none); a tap opens the pad choice.
            TouchButton {
                id: padButton
                objectName: "samplePad" + row.index
                anchors.right: parent.right
                anchors.rightMargin: view.gap
                anchors.verticalCenter: parent.verticalCenter
                width: view.tap
                height: view.tap
                visible: !row.overlayOpen
                accent: "#ff9f1a"
                text: row.modelData.padLabel
                selected: row.modelData.padLabel !== "X"
                onClicked: SampleLibrary.showOverlay(row.index)
            }
            // The pad choice, centred on the row: pads 1…6 (tags 100…105) and clear.
            Rectangle {
                objectName: "padOverlay" + row.index
                visible: row.overlayOpen
                anchors.centerIn: parent
                width: parent.width
                height: parent.height
                radius: view.gap
                color: "#f0262b36"
                border.color: "#ff9f1a"
                // A tap beside the buttons closes the choice.
                MultiPointTouchArea {
                    anchors.fill: parent
                    onReleased: SampleLibrary.showOverlay(row.index)
                }
                Row {
                    id: choice
                    anchors.centerIn: parent
                    spacing: view.gap
                    readonly property real bw: Math.max(44, Math.min(view.tap * 1.4, (row.width - 8 * view.gap) / 7))
                    Repeater {
                        model: 7
                        TouchButton {
                            required property int index
                            objectName: "overlay" + row.index + (index < 6 ? "Pad" + index : "Clear")
                            width: choice.bw
                            height: view.tap
                            accent: "#ff9f1a"
                            text: index < 6 ? String(index + 1) : "X"
                            onClicked: SampleLibrary.setSample2Button(index < 6 ? 100 + index : 0)
                        }
                    }
                }
            }
        }
    }

    Text {
        anchors.centerIn: list
        visible: SampleLibrary.rows.length === 0
        text: "No samples yet"
        color: "#6c7486"
        font.pixelSize: view.font
    }

    Row {
        id: actions
        anchors.bottom: parent.bottom
        anchors.bottomMargin: view.gap
        x: view.gap
        width: parent.width - 2 * view.gap
        height: view.tap
        spacing: view.gap
        readonly property real bw: (width - 2 * spacing) / 3
        TouchButton { objectName: "sampleRename"; width: actions.bw; height: parent.height; text: "RENAME"; enabled: view.hasSelection; onClicked: SampleLibrary.rename() }
        TouchButton { objectName: "sampleCopy"; width: actions.bw; height: parent.height; text: "COPY"; enabled: view.hasSelection; onClicked: SampleLibrary.copy() }
        TouchButton { objectName: "sampleDelete"; width: actions.bw; height: parent.height; text: "DELETE"; accent: "#ff4d4d"; enabled: view.hasSelection; onClicked: SampleLibrary.deleteRow(SampleLibrary.selectedRow) }
    }

    // The microphone recorder: modal while it records.
    Rectangle {
        objectName: "recorderOverlay"
        anchors.fill: parent
        visible: SampleLibrary.recorderShown
        color: "#c0000000"
        MultiPointTouchArea { anchors.fill: parent }
        Rectangle {
            anchors.centerIn: parent
            width: Math.min(parent.width - view.u * 4, view.u * 40)
            height: recorderBox.height + view.u * 3
            radius: view.u
            color: "#262b36"
            border.color: "#ff4d4d"
            Column {
                id: recorderBox
                anchors.centerIn: parent
                width: parent.width - view.u * 3
                spacing: view.u
                Text {
                    width: parent.width
                    text: "Recording"
                    color: "#eef0f6"
                    font.pixelSize: view.font * 1.3
                    font.bold: true
                    horizontalAlignment: Text.AlignHCenter
                }
                Rectangle {
                    width: parent.width
                    height: view.u * 2
                    radius: height / 2
                    color: "#11141a"
                    border.color: "#3a4252"
                    Rectangle {
                        objectName: "recordLevel"
                        width: parent.width * SampleLibrary.recordLevel
                        height: parent.height
                        radius: parent.radius
                        color: SampleLibrary.recordLevel > 0.9 ? "#ff4d4d" : "#4dd964"
                    }
                }
                Text {
                    objectName: "recordTime"
                    width: parent.width
                    text: SampleLibrary.recordTime
                    color: "#eef0f6"
                    font.pixelSize: view.font * 1.6
                    horizontalAlignment: Text.AlignHCenter
                }
                TouchButton {
                    objectName: "recordStop"
                    anchors.horizontalCenter: parent.horizontalCenter
                    width: Math.max(view.tap, view.u * 12)
                    height: view.tap
                    text: "STOP"
                    accent: "#ff4d4d"
                    onClicked: SampleLibrary.stopRecording()
                }
            }
        }
    }
}
