#include "ui/MenuAdapter.h"

#include "app/DuovexAppDelegate.h"
#include "app/MainMenu.h"
#include "engine/AudioOut.h"

#include <QJSEngine>
#include <QQmlEngine>

namespace vx::ui {

namespace {
QString text(const std::string& s) {
    return QString::fromStdString(s);
}
} // namespace

MenuAdapter::MenuAdapter(DuovexAppDelegate& app, std::function<void()> acted, QObject* parent)
    : QObject(parent), app_(app), acted_(std::move(acted)) {
    refresh();
}

void MenuAdapter::refresh() {
    State n;
    n.shown = app_.mainMenuShown();
    n.helpShown = app_.helpShown();
    n.recordingsShown = app_.recordingsShown();
    AudioOut* engine = app_.engine();
    n.recording = engine && engine->isRecording();
    n.sampleVolume = engine && engine->initialized() ? engine->getSampleGain() : 0.0;
    if (const MainMenu* menu = app_.mainMenu()) {
        n.tracksNum = text(menu->tracksNumLabel());
        n.tracksSize = text(menu->tracksSizeLabel());
        n.notAnalyzed = text(menu->notAnalyzedLabel());
        n.recordsNum = text(menu->recordsNumLabel());
        n.recordsSize = text(menu->recordsSizeLabel());
        n.cpu = text(menu->cpuLabel());
        n.pitch = text(menu->pitchLabel());
        for (int i = 0; i < MainMenu::kPadCount; ++i) {
            n.padLabels.append(text(menu->sampleLabel(i)));
        }
        n.autoEq = menu->autoEqSelected();
        for (int i = 0; i < MainMenu::kTuningCount; ++i) {
            n.tuningValues.append(double(menu->tuningValue(i)));
            n.tuningLabels.append(text(menu->tuningLabel(i)));
        }
    }
    if (!(n == s_)) {
        s_ = std::move(n);
        emit changed();
    }
}

void MenuAdapter::acted() {
    if (app_.takePartyModeRequest()) {
        app_.hideMenu();
        emit partyModeRequested();
    }
    if (acted_) {
        acted_();
    }
    refresh();
}

void MenuAdapter::toggle() {
    if (app_.mainMenuShown()) {
        close();
        return;
    }
    if (SampleTestController* screen = app_.mixingScreen()) {
        screen->menuAction(); // the mixing screen's menu flag, then the delegate shows the menu
    } else {
        app_.showMainMenu();
    }
    acted();
}

void MenuAdapter::close() {
    if (MainMenu* menu = app_.mainMenu(); menu && app_.mainMenuShown()) {
        menu->close();
    } else if (app_.mainMenuShown()) {
        app_.hideMenu();
    }
    acted();
}

void MenuAdapter::setup() {
    if (MainMenu* menu = app_.mainMenu()) {
        menu->setup();
    }
    acted();
}

void MenuAdapter::batchRun() {
    if (MainMenu* menu = app_.mainMenu()) {
        menu->batchRun();
    }
    acted();
}

void MenuAdapter::partyMode() {
    if (MainMenu* menu = app_.mainMenu()) {
        menu->partyModeAction();
    }
    acted();
}

void MenuAdapter::records() {
    app_.recordsAction();
    acted();
}

void MenuAdapter::closeRecordings() {
    app_.setRecordingsShown(false);
    acted();
}

void MenuAdapter::autoEqToggle() {
    if (MainMenu* menu = app_.mainMenu()) {
        menu->autoEqAction();
    }
    acted();
}

void MenuAdapter::setSampleVolume(double value) {
    if (MainMenu* menu = app_.mainMenu()) {
        menu->sampleVolumeAction(float(value));
    }
    acted();
}

void MenuAdapter::setPitch(double halfTones) {
    if (MainMenu* menu = app_.mainMenu()) {
        menu->pitchChanged(float(halfTones));
    }
    acted();
}

void MenuAdapter::setTuning(int index, double value) {
    if (MainMenu* menu = app_.mainMenu()) {
        menu->changeBMParam(MainMenu::kFirstTuningTag + index, float(value));
    }
    acted();
}

void MenuAdapter::pad(int index) {
    app_.padPressed(index);
    acted();
}

void MenuAdapter::help() {
    app_.showHelp();
    acted();
}

void MenuAdapter::closeHelp() {
    app_.hideHelp();
    acted();
}

void MenuAdapter::togglePadStrip() {
    padStripShown_ = !padStripShown_;
    emit changed();
}

void MenuAdapter::importMusic() {
    if (MainMenu* menu = app_.mainMenu()) {
        app_.startImport(*menu);
    }
    acted();
}

} // namespace vx::ui
