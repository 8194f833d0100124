import QtQuick
import QtQuick.Window
import Velvox.Nexa

Window {
    id: root
    width: 480
    height: 800
    visible: true
    title: "Velvox Nexa"
    color: "#111318"

    readonly property real gridUnit: 8

    Column {
        anchors.fill: parent
        anchors.margins: root.gridUnit * 2
        spacing: root.gridUnit

        Text {
            text: "Velvox Nexa"
            color: "#e8e8f0"
            font.pixelSize: root.gridUnit * 4
        }
        Text {
            text: "Built-in tracks"
            color: "#9aa0b0"
            font.pixelSize: root.gridUnit * 2
        }
        Repeater {
            model: BuiltInTracks.names
            delegate: Text {
                required property string modelData
                text: modelData
                color: "#e8e8f0"
                font.pixelSize: root.gridUnit * 2
            }
        }
    }
}
