// The window: the phone or tablet layout of the mixing screen, the pad strip, the party view
// over it, the track browser, the music-library import, the main menu with its screens
// (settings, batch analysis, help), the sample library, the recordings list, the sound-device
// notice and the alerts. The window fills
// the screen's free area (maximised) in either orientation and stays resizable; the layouts
// scale with it.
import QtQuick
import QtQuick.Window
import Velvox.Nexa

Window {
    id: root

    readonly property real u: Math.max(5, Math.min(width, height) / 60)
    // The loaded layout (PhoneLayout or TabletLayout); it carries waveArea0 / waveArea1.
    readonly property Item layout: layoutLoader.item

    width: Screen.desktopAvailableWidth > 0 ? Screen.desktopAvailableWidth : 800
    height: Screen.desktopAvailableHeight > 0 ? Screen.desktopAvailableHeight : 600
    minimumWidth: 320
    minimumHeight: 400
    visible: true
    Component.onCompleted: {
        showMaximized()
        sized()
    }
    title: "Velvox Nexa"
    color: "#0b0d11"
    // The layout follows the window (the phone's below 600 px on the shorter side): the core
    // decides and Shell.tablet switches the loader's source. A resize changes the width and
    // the height one after the other; the size is told once both are in, so that a turn from
    // portrait to landscape never passes through a square that loads the other layout.
    function sized() {
        Shell.windowResized(width, height)
    }
    onWidthChanged: Qt.callLater(sized)
    onHeightChanged: Qt.callLater(sized)

    Loader {
        id: layoutLoader
        objectName: "layoutLoader"
        anchors.top: parent.top
        anchors.left: parent.left
        anchors.right: parent.right
        anchors.bottom: notice.top
        source: Shell.tablet ? "TabletLayout.qml" : "PhoneLayout.qml"
        // The mixing screen is on: the decks' fader gains start from unity. Once: a layout
        // switched by a resize keeps the gains as they stand.
        property bool shown: false
        onLoaded: {
            if (!shown)
                Mixer.screenShown()
            shown = true
        }
    }
    Rectangle {
        id: notice
        objectName: "audioNotice"
        anchors.left: parent.left
        anchors.right: parent.right
        anchors.bottom: parent.bottom
        height: Shell.audioNotice.length > 0 ? noticeText.implicitHeight + root.u : 0
        visible: height > 0
        color: "#5a3b00"
        Text {
            id: noticeText
            anchors.fill: parent
            anchors.margins: root.u * 0.5
            text: Shell.audioNotice
            color: "#ffd98a"
            font.pixelSize: Math.max(9, root.u * 1.4)
            wrapMode: Text.Wrap
            verticalAlignment: Text.AlignVCenter
        }
    }
    // The six pads one tap away from the mixing screen: PADS in the top bar opens this strip.
    Rectangle {
        id: padStrip
        objectName: "padStrip"
        visible: Menu.padStripShown
        anchors.left: parent.left
        anchors.right: parent.right
        anchors.bottom: notice.top
        height: root.u * 6
        color: "#e0101318"
        MultiPointTouchArea { anchors.fill: parent } // touches between the pads stay here
        PadStrip {
            anchors.fill: parent
            anchors.margins: root.u * 0.5
            u: root.u
            prefix: "stripPad"
        }
    }
    PartyView {
        anchors.fill: parent
        u: root.u
    }
    Browser {
        anchors.fill: parent
        u: root.u
    }
    MainMenuView {
        anchors.fill: parent
        u: root.u
    }
    SettingsView {
        anchors.fill: parent
        u: root.u
    }
    HelpView {
        anchors.fill: parent
        u: root.u
    }
    BatchView {
        anchors.fill: parent
        u: root.u
    }
    // Party mode asked for from the menu (the five-track rule held): its view opens.
    Connections {
        target: Menu
        function onPartyModeRequested() {
            if (!Mixer.partyModeOn)
                Mixer.partyButton()
        }
    }
    // The crate manager and the playlist editor, opened from the menu.
    CrateManagerView {
        anchors.fill: parent
        u: root.u
    }
    PlaylistView {
        anchors.fill: parent
        u: root.u
    }
    ImportScreen {
        anchors.fill: parent
        u: root.u
    }
    SampleEditView {
        anchors.fill: parent
        u: root.u
    }
    RecordEditView {
        anchors.fill: parent
        u: root.u
    }
    AlertBox {
        anchors.fill: parent
        u: root.u
    }
}
