// The settings screen: its three groups of rows as the controller lists them — switches,
// segmented controls, sliders and the curve explanation — and the done button. Full screen on
// a phone; on a tablet a popover, closed by done or by a tap outside it.
import QtQuick
import Velvox.Nexa

Item {
    id: view

    required property real u
    // The screen's unit: a popover on a tablet is drawn smaller than the full phone screen.
    readonly property real k: Shell.tablet ? u * 0.72 : u

    visible: Settings.shown

    MultiPointTouchArea {
        anchors.fill: parent
        enabled: Shell.tablet
        onPressed: Settings.dismissed()
    }
    Rectangle {
        anchors.fill: parent
        visible: Shell.tablet
        color: "#60000000"
        z: -1
    }

    Rectangle {
        id: panel
        objectName: "settingsScreen"
        anchors.horizontalCenter: parent.horizontalCenter
        y: Shell.tablet ? view.k * 5 : 0
        width: Shell.tablet ? Math.min(view.width - view.k * 2, view.k * 50) : view.width
        height: Shell.tablet ? Math.min(view.height - view.k * 6, list.implicitHeight + view.k * 7) : view.height
        radius: Shell.tablet ? view.k : 0
        color: "#181c24"
        border.color: Shell.tablet ? "#4a5264" : "transparent"
        clip: true

        MultiPointTouchArea { anchors.fill: parent }

        Item {
            id: header
            anchors.left: parent.left
            anchors.right: parent.right
            anchors.top: parent.top
            anchors.margins: view.k
            height: view.k * 4
            Text {
                anchors.verticalCenter: parent.verticalCenter
                text: "Settings"
                color: "#eef0f6"
                font.pixelSize: view.k * 2.2
                font.bold: true
            }
            TouchButton {
                objectName: "settingsDone"
                anchors.right: parent.right
                width: view.k * 8
                height: parent.height
                text: "DONE"
                onClicked: Settings.done()
            }
        }

        Flickable {
            objectName: "settingsList"
            anchors.left: parent.left
            anchors.right: parent.right
            anchors.top: header.bottom
            anchors.bottom: parent.bottom
            anchors.margins: view.k
            contentHeight: list.implicitHeight
            boundsBehavior: Flickable.StopAtBounds
            // Rows scrolled above the list would otherwise cover the header and take its taps.
            clip: true

            Column {
                id: list
                width: parent.width
                spacing: view.k * 0.5

                Repeater {
                    model: Settings.groups
                    Column {
                        id: group
                        required property var modelData
                        width: list.width
                        spacing: view.k * 0.3
                        Text {
                            text: group.modelData.title
                            color: "#8a93a6"
                            font.pixelSize: view.k * 1.4
                            topPadding: view.k * 0.6
                        }
                        Repeater {
                            model: group.modelData.rows
                            Rectangle {
                                id: row
                                required property var modelData
                                readonly property var current: Settings.revision, Settings.value(modelData.control)
                                objectName: modelData.cell
                                width: group.width
                                height: modelData.kind === "none" ? help.implicitHeight + view.k : view.k * 4.4
                                radius: view.k * 0.4
                                color: "#11141a"
                                Text {
                                    id: help
                                    x: view.k
                                    width: modelData.kind === "none" ? parent.width - view.k * 2 : parent.width * 0.42
                                    anchors.verticalCenter: parent.verticalCenter
                                    text: row.modelData.label
                                    color: row.modelData.kind === "none" ? "#8a93a6" : "#d5d9e3"
                                    font.pixelSize: view.k * (row.modelData.kind === "none" ? 1.2 : 1.45)
                                    wrapMode: Text.Wrap
                                }
                                TouchButton {
                                    objectName: row.modelData.kind === "switch" ? row.modelData.control : ""
                                    visible: row.modelData.kind === "switch"
                                    anchors.right: parent.right
                                    anchors.rightMargin: view.k
                                    anchors.verticalCenter: parent.verticalCenter
                                    width: view.k * 7
                                    height: view.k * 3.2
                                    text: row.current ? "ON" : "OFF"
                                    selected: row.current === true
                                    onClicked: Settings.set(row.modelData.control, !row.current)
                                }
                                Row {
                                    visible: row.modelData.kind === "segmented"
                                    anchors.right: parent.right
                                    anchors.rightMargin: view.k
                                    anchors.verticalCenter: parent.verticalCenter
                                    spacing: 2
                                    Repeater {
                                        model: row.modelData.kind === "segmented" ? row.modelData.segments : []
                                        TouchButton {
                                            required property int index
                                            required property string modelData
                                            objectName: row.modelData.control + "_" + index
                                            width: (row.width * 0.55) / 3
                                            height: view.k * 3.2
                                            fontScale: 0.3
                                            text: modelData
                                            selected: row.current === index
                                            onClicked: Settings.set(row.modelData.control, index)
                                        }
                                    }
                                }
                                MenuSlider {
                                    objectName: row.modelData.kind === "slider" ? row.modelData.control : ""
                                    visible: row.modelData.kind === "slider"
                                    anchors.right: valueText.left
                                    anchors.rightMargin: view.k * 0.5
                                    anchors.verticalCenter: parent.verticalCenter
                                    width: row.width * 0.4
                                    height: view.k * 3
                                    from: row.modelData.from
                                    to: row.modelData.to
                                    value: row.modelData.kind === "slider" && row.current !== undefined ? row.current : 0
                                    onMoved: v => Settings.set(row.modelData.control, v)
                                }
                                Text {
                                    id: valueText
                                    visible: row.modelData.kind === "slider"
                                    anchors.right: parent.right
                                    anchors.rightMargin: view.k
                                    anchors.verticalCenter: parent.verticalCenter
                                    width: view.k * 5
                                    horizontalAlignment: Text.AlignRight
                                    text: row.modelData.kind === "slider" && row.current !== undefined ? Number(row.current).toFixed(2) : ""
                                    color: "#eef0f6"
                                    font.pixelSize: view.k * 1.3
                                }
                            }
                        }
                    }
                }

                // Beyond the table: the sound output and its buffer, applied at once.
                Text {
                    text: "Audio output"
                    color: "#8a93a6"
                    font.pixelSize: view.k * 1.4
                    topPadding: view.k * 0.6
                }
                Repeater {
                    model: Settings.outputNames
                    TouchButton {
                        required property int index
                        required property string modelData
                        objectName: "output_" + index
                        width: list.width
                        height: view.k * 3.6
                        fontScale: 0.3
                        text: modelData
                        selected: Settings.outputIndex === index
                        onClicked: Settings.selectOutput(index)
                    }
                }
                Rectangle {
                    objectName: "bufferCell"
                    width: list.width
                    height: view.k * 4.4
                    radius: view.k * 0.4
                    color: "#11141a"
                    Text {
                        objectName: "latencyLabel"
                        x: view.k
                        anchors.verticalCenter: parent.verticalCenter
                        text: "Buffer  " + Settings.latency
                        color: "#d5d9e3"
                        font.pixelSize: view.k * 1.45
                    }
                    Row {
                        anchors.right: parent.right
                        anchors.rightMargin: view.k
                        anchors.verticalCenter: parent.verticalCenter
                        spacing: 2
                        Repeater {
                            model: Settings.bufferSizes
                            TouchButton {
                                required property int modelData
                                objectName: "buffer_" + modelData
                                width: list.width * 0.11
                                height: view.k * 3.2
                                fontScale: 0.3
                                text: modelData
                                selected: Settings.bufferFrames === modelData
                                onClicked: Settings.selectBufferFrames(modelData)
                            }
                        }
                    }
                }
            }
        }
    }
}
