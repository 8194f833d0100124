// A push button drawn with Qt Quick items. Touch and mouse alike (the mouse acts as one
// finger): pressed on touch-down, released on lift, clicked when the lift is inside,
// doubleTapped when a press follows the last one within the platform's double-click time.
import QtQuick

Rectangle {
    id: button

    property string text
    property bool selected: false
    property real fontScale: 0.36
    property color accent: "#2f8cff"
    // A finger's target: the screen's tests check every one is at least 44 px both ways.
    readonly property bool touchTarget: true
    readonly property alias label: caption

    signal pressed
    signal released
    signal clicked
    signal doubleTapped

    radius: Math.min(width, height) * 0.18
    color: selected ? accent : (area.down ? "#3d4454" : "#252a34")
    border.color: selected ? Qt.lighter(accent, 1.3) : "#465065"
    border.width: 1
    opacity: enabled ? 1.0 : 0.35

    Text {
        id: caption
        anchors.fill: parent
        anchors.margins: 3
        text: button.text
        color: "#eef0f6"
        // The caption shrinks to fit its button rather than being cut.
        font.pixelSize: Math.max(9, Math.min(button.height, button.width * 0.7) * button.fontScale)
        font.bold: button.selected
        fontSizeMode: Text.Fit
        minimumPixelSize: 8
        horizontalAlignment: Text.AlignHCenter
        verticalAlignment: Text.AlignVCenter
    }

    MultiPointTouchArea {
        id: area

        property bool down: false
        property double lastPress: 0

        anchors.fill: parent
        maximumTouchPoints: 1
        onPressed: {
            down = true;
            const now = Date.now();
            const repeat = now - lastPress < Qt.styleHints.mouseDoubleClickInterval;
            lastPress = now;
            button.pressed();
            if (repeat)
                button.doubleTapped();
        }
        onReleased: touchPoints => {
            down = false;
            button.released();
            const p = touchPoints[0];
            if (p && p.x >= 0 && p.y >= 0 && p.x < width && p.y < height)
                button.clicked();
        }
        onCanceled: {
            down = false;
            button.released();
        }
    }
}
