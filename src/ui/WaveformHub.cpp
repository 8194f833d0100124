#include "ui/WaveformHub.h"

#include "app/DuovexAppDelegate.h"
#include "deck/SampleTestController.h"
#include "engine/AudioOut.h"
#include "engine/audioStream.h"

#include <algorithm>
#include <cmath>

namespace vx::ui {

namespace {

WaveformHub* g_instance = nullptr;

int toMs(double seconds) {
    return std::max(1, static_cast<int>(std::lround(seconds * 1000.0)));
}

} // namespace

WaveformHub::WaveformHub(DuovexAppDelegate& app, QObject* parent) : QObject(parent), app_(app) {
    makeControls();
    timer_.setTimerType(Qt::PreciseTimer);
    connect(&timer_, &QTimer::timeout, this, &WaveformHub::tick);
    timer_.start(toMs(app_.waveformRedrawInterval()));
}

WaveformHub::~WaveformHub() {
    timer_.stop();
    if (g_instance == this) {
        g_instance = nullptr;
    }
}

void WaveformHub::setInstance(WaveformHub* hub) {
    g_instance = hub;
}

WaveformHub* WaveformHub::instance() {
    return g_instance;
}

AudioOut* WaveformHub::engine() const {
    AudioOut* engine = app_.engine();
    return engine && engine->initialized() ? engine : nullptr;
}

bool WaveformHub::makeControls() {
    if (controls_[0]) {
        return true;
    }
    AudioOut* out = engine();
    if (!out) {
        return false;
    }
    for (int d = 0; d < 2; ++d) {
        auto control =
            std::make_unique<waveControl>(*out, d, &app_.notifications(), &app_.services());
        control->setStopProofQuery([this, d] {
            const SampleTestController* screen = app_.mixingScreen();
            return screen != nullptr && screen->stopProof(d);
        });
        controls_[size_t(d)] = std::move(control);
    }
    return true;
}

float WaveformHub::controlWidth(const waveControl& control) {
    return control.geometry().width;
}

void WaveformHub::applyLayout(waveControl& control, ScreenLayout layout) {
    control.setLayout(layout); // the centre line goes home
    if (centred_) {
        control.moveToCenter();
    }
}

void WaveformHub::move2Center() {
    centred_ = true;
    for (auto& control : controls_) {
        if (control) {
            control->moveToCenter();
        }
    }
}

void WaveformHub::Wider() {
    centred_ = false;
    for (auto& control : controls_) {
        if (control) {
            control->moveToHome();
        }
    }
}

audioStream* WaveformHub::deck(int d) const {
    AudioOut* out = engine();
    return out ? out->fileStream[size_t(d & 1)] : nullptr;
}

bool WaveformHub::tablet() const {
    return app_.isTablet();
}

bool WaveformHub::analysing() const {
    AudioOut* out = engine();
    return out && out->getNumAnalizes() >= 1;
}

void WaveformHub::tick() {
    // The interval follows the application (the main menu slows the waveforms down) and the
    // mixing screen (slower during a tap-tempo sequence).
    double interval = app_.waveformRedrawInterval();
    if (const SampleTestController* screen = app_.mixingScreen()) {
        interval = std::max(interval, screen->waveformInterval());
    }
    const int wanted = toMs(interval);
    if (timer_.interval() != wanted) {
        timer_.setInterval(wanted);
    }
    if (!app_.waveformAnimating() || !makeControls()) {
        return;
    }
    const ScreenLayout layout = tablet() ? ScreenLayout::Tablet : ScreenLayout::Phone;
    for (auto& control : controls_) {
        if (control->layout() != layout || !layoutApplied_) {
            applyLayout(*control, layout);
        }
        control->setDontMarkEvenBeat(app_.dontMarkEvenBeat());
        control->fillWaveData();
    }
    layoutApplied_ = true;
    ++frameCount_;
    emit frame();
}

} // namespace vx::ui
