// Draws a deck's effect pad (an XYPadControl): the pad, its puck where the core puts it (lit
// while touched), and forwards the finger with timestamps in seconds.
import QtQuick
import Velvox.Nexa

Rectangle {
    id: root

    required property XYPadControl control
    property real puckSize: Math.min(width, height) * 0.22

    function syncGeometry() {
        if (width > 0 && height > 0)
            control.setGeometry(width, height, puckSize, puckSize);
    }

    onWidthChanged: syncGeometry()
    onHeightChanged: syncGeometry()
    Component.onCompleted: syncGeometry()

    color: "#151922"
    border.color: "#3a4252"
    radius: 4

    Rectangle {
        x: root.control.puckX - width / 2
        y: root.control.puckY - height / 2
        width: root.puckSize
        height: root.puckSize
        radius: width / 2
        color: root.control.touched ? "#38d26b" : "#5a6378"
        border.color: "#0b0d11"
    }
    MultiPointTouchArea {
        anchors.fill: parent
        maximumTouchPoints: 1
        onPressed: touchPoints => root.control.touchBegan(touchPoints[0].x, touchPoints[0].y, Date.now() / 1000)
        onUpdated: touchPoints => root.control.touchMoved(touchPoints[0].x, touchPoints[0].y, Date.now() / 1000)
        onReleased: touchPoints => root.control.touchEnded(touchPoints[0].x, touchPoints[0].y, Date.now() / 1000)
        onCanceled: root.control.touchCancelled()
    }
}
