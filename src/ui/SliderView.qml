// Draws one core slider (a SliderControl): its track and its pointer where the core puts it,
// and forwards the finger (or the mouse) with timestamps in seconds. Horizontal sliders run
// left (minimum) to right, vertical ones bottom (minimum) to top.
import QtQuick
import Velvox.Nexa

Item {
    id: root

    required property SliderControl control
    property bool horizontal: true
    property string label
    property color accent: "#2f8cff"
    // Pointer length along the axis, in QML pixels: at least a finger's width, at most a third
    // of the track.
    property real pointerLength: Math.max(44, Math.min(horizontal ? height : width,
                                                       (horizontal ? width : height) / 3))

    // Two presses within the platform's double-click time (the LP/HP knob re-centres on it).
    signal doubleTapped

    function syncGeometry() {
        if (width > 0 && height > 0)
            control.setGeometry(width, height, horizontal ? pointerLength : width,
                                horizontal ? height : pointerLength, horizontal);
    }

    onHorizontalChanged: syncGeometry()
    onPointerLengthChanged: syncGeometry()
    onWidthChanged: syncGeometry()
    onHeightChanged: syncGeometry()
    Component.onCompleted: syncGeometry()

    Rectangle {
        anchors.centerIn: parent
        width: root.horizontal ? root.width - root.pointerLength * 0.5 : Math.max(3, root.width * 0.12)
        height: root.horizontal ? Math.max(3, root.height * 0.12) : root.height - root.pointerLength * 0.5
        radius: Math.min(width, height) / 2
        color: "#11141a"
        border.color: "#3a4252"
    }
    Rectangle {
        // The centre mark.
        anchors.centerIn: parent
        width: root.horizontal ? 2 : root.width * 0.6
        height: root.horizontal ? root.height * 0.6 : 2
        color: root.control.overShown ? root.accent : "#3a4252"
    }
    Rectangle {
        objectName: "pointer"
        readonly property bool touchTarget: root.visible
        x: root.control.pointerX
        y: root.control.pointerY
        width: root.control.pointerWidth
        height: root.control.pointerHeight
        radius: Math.min(width, height) * 0.2
        color: root.control.selected ? root.accent : "#c9ced9"
        border.color: "#0b0d11"
        Rectangle {
            anchors.centerIn: parent
            width: root.horizontal ? 2 : parent.width * 0.7
            height: root.horizontal ? parent.height * 0.7 : 2
            color: "#0b0d11"
        }
    }
    Text {
        visible: root.label.length > 0
        anchors.horizontalCenter: parent.horizontalCenter
        anchors.top: parent.bottom
        text: root.label
        color: "#9aa3b5"
        font.pixelSize: Math.max(10, Math.min(16, root.horizontal ? root.height * 0.3 : root.width * 0.3))
    }
    MultiPointTouchArea {
        property double lastPress: 0
        anchors.fill: parent
        maximumTouchPoints: 1
        onPressed: touchPoints => {
            const now = Date.now();
            const repeat = now - lastPress < Qt.styleHints.mouseDoubleClickInterval;
            lastPress = repeat ? 0 : now;
            root.control.touchBegan(touchPoints[0].x, touchPoints[0].y, now / 1000);
            if (repeat)
                root.doubleTapped();
        }
        onUpdated: touchPoints => root.control.touchMoved(touchPoints[0].x, touchPoints[0].y, Date.now() / 1000)
        onReleased: touchPoints => root.control.touchEnded(touchPoints[0].x, touchPoints[0].y, Date.now() / 1000)
        onCanceled: root.control.touchCancelled()
    }
}
