// SampleTestController: construction, the observers and the settings; the handlers live in the
// screen's parts (DeckTransport, DeckTempo, DeckMixer, DeckStatusDisplay, PartyAutoMix).

#include "deck/SampleTestController.h"

#include <string>

namespace vx {

SampleTestController::SampleTestController(AudioOut& engine, DBController* db,
                                           UserDefaults& defaults,
                                           NotificationCenter& notifications, RunLoop& loop,
                                           MixingScreenHost* host)
    : context_{engine, db, defaults, notifications, loop, host} {
    readSettings();
    for (DeckViewState& v : context_.views) {
        v.loopLabel.text = "?";
        v.loading.hidden = true;
        v.tapLabel.hidden = true;
        v.sync.selected = tempo_.tempoLock();
        v.tempoLockMark = tempo_.tempoLock();
    }
    context_.notifications.addObserver(this, "fileOpened", [this](const Notification& n) {
        if (const int* d = std::get_if<int>(&n.object)) {
            transport_.fileOpened(*d);
        }
    });
    context_.notifications.addObserver(this, "Analyze Complete", [this](const Notification& n) {
        if (const std::string* path = std::get_if<std::string>(&n.object)) {
            analyzeComplete(*path);
        }
    });
    // The settings screen changed a setting: it holds from the next touch on.
    context_.notifications.addObserver(this, "settingChanged",
                                       [this](const Notification&) { readSettings(); });
    context_.notifications.addObserver(this, "DefaultSpeedChanged", [this](const Notification& n) {
        if (const int* d = std::get_if<int>(&n.object)) {
            context_.views[size_t(*d & 1)].navigatorUpdates += 1;
        }
    });
    updatePlayButtons();
    updateLoopLabels();
    mixer_.wire(); // binds the mixer's controls to their handlers and centres the crossfader
}

void SampleTestController::readSettings() {
    tempo_.readSettings();
    transport_.readSettings();
    mixer_.readSettings();
}

SampleTestController::~SampleTestController() {
    context_.notifications.removeObserver(this);
}

void SampleTestController::analyzeComplete(const std::string& path) {
    // The BPM read-outs show the new tempo at the next pass; a re-analysis has ended.
    status_.analysisEnded();
    tempo_.analysisEnded(path);
}

} // namespace vx
