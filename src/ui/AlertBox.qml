// The core's alerts: a modal box with its title, message, an optional text field and its
// buttons in one row; a button answers with its index and the field's text.
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
            Rectangle {
                width: parent.width
                height: dim.u * 4
                visible: Shell.alertTextField
                color: "#11141a"
                border.color: "#4a5264"
                radius: dim.u * 0.4
                TextInput {
                    id: field
                    objectName: "alertField"
                    anchors.fill: parent
                    anchors.margins: dim.u * 0.6
                    verticalAlignment: TextInput.AlignVCenter
                    color: "#eef0f6"
                    font.pixelSize: dim.u * 1.7
                    clip: true
                    // Each new question starts from its own initial text.
                    Connections {
                        target: Shell
                        function onChanged() {
                            if (field.text !== Shell.alertFieldText && !field.activeFocus)
                                field.text = Shell.alertFieldText
                        }
                    }
                    Text {
                        anchors.fill: parent
                        verticalAlignment: Text.AlignVCenter
                        visible: field.text.length === 0
                        text: Shell.alertPlaceholder
                        color: "#6c7486"
                        font.pixelSize: dim.u * 1.7
                    }
                }
            }
            Row {
                anchors.horizontalCenter: parent.horizontalCenter
                spacing: dim.u
                Repeater {
                    // A count, so that the buttons stay the same items from one alert to the
                    // next; the first always exists, laid out before any alert appears.
                    model: Math.max(1, Shell.alertButtons.length)
                    TouchButton {
                        required property int index
                        objectName: index === 0 ? "alertButton" : "alertButton" + index
                        width: Math.min(dim.u * 10, (box.width - dim.u * (Shell.alertButtons.length - 1)) / Math.max(1, Shell.alertButtons.length))
                        height: dim.u * 4
                        text: Shell.alertButtons.length > index ? Shell.alertButtons[index] : ""
                        onClicked: {
                            const text = field.text
                            field.focus = false
                            field.text = ""
                            Shell.answerAlert(index, text)
                        }
                    }
                }
            }
        }
    }
}
