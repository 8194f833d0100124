// A plain value slider for the screen's own values (the speed strip, the headphone fade): a
// track and a finger-sized pointer at `value` (0…1; left or bottom is 0). The finger moves the
// pointer relatively, so catching it never makes it leap; `moved` reports each new value and
// `released` the lift.
import QtQuick

Item {
    id: root

    property real value: 0.5
    property bool horizontal: true
    property string label
    property color accent: "#2f8cff"
    readonly property real pointerLength: Math.max(44, Math.min(horizontal ? height : width,
                                                                (horizontal ? width : height) / 3))
    readonly property real travel: Math.max(1, (horizontal ? width : height) - pointerLength)

    signal moved(real value)
    signal released

    Rectangle {
        anchors.centerIn: parent
        width: root.horizontal ? root.width - root.pointerLength * 0.5 : Math.max(3, root.width * 0.12)
        height: root.horizontal ? Math.max(3, root.height * 0.12) : root.height - root.pointerLength * 0.5
        radius: Math.min(width, height) / 2
        color: "#11141a"
        border.color: "#3a4252"
    }
    Rectangle {
        objectName: "pointer"
        readonly property bool touchTarget: root.visible
        x: root.horizontal ? root.value * root.travel : 0
        y: root.horizontal ? 0 : (1 - root.value) * root.travel
        width: root.horizontal ? root.pointerLength : root.width
        height: root.horizontal ? root.height : root.pointerLength
        radius: Math.min(width, height) * 0.2
        color: area.pressed ? root.accent : "#c9ced9"
        border.color: "#0b0d11"
        Text {
            anchors.centerIn: parent
            width: parent.width - 4
            text: root.label
            color: "#0b0d11"
            font.pixelSize: 11
            font.bold: true
            fontSizeMode: Text.Fit
            minimumPixelSize: 7
            horizontalAlignment: Text.AlignHCenter
        }
    }
    MultiPointTouchArea {
        id: area

        property bool pressed: false
        property real startCoord: 0
        property real startValue: 0

        anchors.fill: parent
        maximumTouchPoints: 1
        onPressed: touchPoints => {
            pressed = true;
            startCoord = root.horizontal ? touchPoints[0].x : touchPoints[0].y;
            startValue = root.value;
        }
        onUpdated: touchPoints => {
            const c = root.horizontal ? touchPoints[0].x : touchPoints[0].y;
            const d = (c - startCoord) / root.travel;
            root.moved(Math.max(0, Math.min(1, startValue + (root.horizontal ? d : -d))));
        }
        onReleased: {
            pressed = false;
            root.released();
        }
        onCanceled: {
            pressed = false;
            root.released();
        }
    }
}
