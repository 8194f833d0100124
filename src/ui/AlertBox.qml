// The core's alerts: a modal box with its title, message and one button.
import QtQuick
import Velvox.Nexa

Rectangle {
    id: dim

    required property real u

    visible: Shell.alertShown
    color: "#a0000000"

    MultiPointTouchArea { anchors.fill: parent } // modal

    Rectangle {
        anchors.centerIn: parent
        width: Math.min(parent.width - dim.u * 4, dim.u * 40)
        height: box.height + dim.u * 3
        radius: dim.u
        color: "#262b36"
        border.color: "#4a5264"
        Column {
            id: box
            anchors.centerIn: parent
            width: parent.width - dim.u * 3
            spacing: dim.u
            Text {
                objectName: "alertTitle"
                width: parent.width
                text: Shell.alertTitle
                color: "#eef0f6"
                font.pixelSize: dim.u * 2.2
                font.bold: true
                horizontalAlignment: Text.AlignHCenter
            }
            Text {
                width: parent.width
                text: Shell.alertText
                color: "#d5d9e3"
                font.pixelSize: dim.u * 1.7
                wrapMode: Text.Wrap
                horizontalAlignment: Text.AlignHCenter
            }
            TouchButton {
                objectName: "alertButton"
                anchors.horizontalCenter: parent.horizontalCenter
                width: dim.u * 10
                height: dim.u * 4
                text: Shell.alertButton
                onClicked: Shell.dismissAlert()
            }
        }
    }
}
