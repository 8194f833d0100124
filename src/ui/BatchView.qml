// The batch-analysis screen: the track being analysed (title, album, artist), its percentage,
// the overall progress bar, "Done: n of m", the tracks still to do, and the stop button.
// Modal; centred on a tablet.
import QtQuick
import Velvox.Nexa

Rectangle {
    id: view

    required property real u

    visible: Batch.shown
    color: "#d0000000"

    MultiPointTouchArea { anchors.fill: parent } // modal

    Rectangle {
        objectName: "batchScreen"
        anchors.centerIn: parent
        width: Math.min(parent.width - view.u * 2, view.u * 46)
        height: Math.min(parent.height - view.u * 2, view.u * 60)
        radius: view.u
        color: "#181c24"
        border.color: "#4a5264"

        Column {
            id: top
            anchors.left: parent.left
            anchors.right: parent.right
            anchors.top: parent.top
            anchors.margins: view.u * 1.5
            spacing: view.u * 0.7
            Text {
                text: "Analysing the library"
                color: "#eef0f6"
                font.pixelSize: view.u * 2.2
                font.bold: true
            }
            Text {
                objectName: "batchTitle"
                width: parent.width
                text: Batch.title
                color: "#eef0f6"
                font.pixelSize: view.u * 1.9
                elide: Text.ElideRight
            }
            Text {
                objectName: "batchAlbum"
                width: parent.width
                text: Batch.album
                color: "#b7bdcb"
                font.pixelSize: view.u * 1.5
                elide: Text.ElideRight
            }
            Text {
                objectName: "batchArtist"
                width: parent.width
                text: Batch.artist
                color: "#b7bdcb"
                font.pixelSize: view.u * 1.5
                elide: Text.ElideRight
            }
            Text {
                objectName: "batchPercent"
                text: Batch.percent
                color: "#2f8cff"
                font.pixelSize: view.u * 2.6
                font.italic: true
            }
            Rectangle {
                width: parent.width
                height: view.u * 1.6
                radius: height / 2
                color: "#11141a"
                border.color: "#3a4252"
                Rectangle {
                    objectName: "batchProgress"
                    width: parent.width * Math.max(0, Math.min(1, Batch.overall))
                    height: parent.height
                    radius: parent.radius
                    color: "#2f8cff"
                }
            }
            Text {
                objectName: "batchDone"
                text: Batch.doneLabel
                color: "#d5d9e3"
                font.pixelSize: view.u * 1.6
                font.family: "monospace"
            }
        }
        ListView {
            anchors.left: parent.left
            anchors.right: parent.right
            anchors.top: top.bottom
            anchors.bottom: stopButton.top
            anchors.margins: view.u * 1.5
            clip: true
            model: Batch.tracks
            delegate: Text {
                required property string modelData
                width: ListView.view.width
                text: modelData
                color: "#8a93a6"
                font.pixelSize: view.u * 1.4
                elide: Text.ElideRight
            }
        }
        TouchButton {
            id: stopButton
            objectName: "batchStop"
            anchors.horizontalCenter: parent.horizontalCenter
            anchors.bottom: parent.bottom
            anchors.bottomMargin: view.u * 1.5
            width: view.u * 12
            height: view.u * 4.5
            text: "STOP"
            accent: "#ff4d4d"
            onClicked: Batch.stop()
        }
    }
}
