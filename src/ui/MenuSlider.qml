// A plain horizontal slider for the menu and settings screens: a finger (or the mouse) sets
// the value from its position, left = `from`, right = `to`; `moved` reports each new value.
import QtQuick

Item {
    id: slider

    property real from: 0
    property real to: 1
    property real value: 0
    property color accent: "#2f8cff"

    signal moved(real value)

    function valueAt(x) {
        const f = Math.max(0, Math.min(1, x / Math.max(1, width)));
        return from + f * (to - from);
    }

    implicitHeight: 28
    Rectangle {
        anchors.verticalCenter: parent.verticalCenter
        width: parent.width
        height: Math.max(3, parent.height * 0.16)
        radius: height / 2
        color: "#11141a"
        border.color: "#3a4252"
        Rectangle {
            width: parent.width * Math.max(0, Math.min(1, (slider.value - slider.from) / Math.max(1e-9, slider.to - slider.from)))
            height: parent.height
            radius: parent.radius
            color: slider.accent
        }
    }
    Rectangle {
        x: parent.width * Math.max(0, Math.min(1, (slider.value - slider.from) / Math.max(1e-9, slider.to - slider.from))) - width / 2
        anchors.verticalCenter: parent.verticalCenter
        width: parent.height * 0.7
        height: width
        radius: width / 2
        color: "#eef0f6"
    }
    MultiPointTouchArea {
        anchors.fill: parent
        maximumTouchPoints: 1
        onPressed: touchPoints => slider.moved(slider.valueAt(touchPoints[0].x))
        onUpdated: touchPoints => slider.moved(slider.valueAt(touchPoints[0].x))
    }
}
