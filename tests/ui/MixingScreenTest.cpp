// The mixing screen as a user meets it, on both layouts at two window sizes each (both
// orientations): the window fills the screen, every panel opens alone and fits its deck with
// finger-sized targets and uncut text, the panels' controls reach the core by touch, and each
// layout is kept as screenshots (artifacts) with every panel open. The same binary runs
// offscreen (software scene graph) and under Xvfb (OpenGL).

#include "UiShellFixture.h"
#include "analysis/peakFileData.h"
#include "ui/DeckAdapter.h"
#include "ui/LineLayerNode.h"
#include "ui/MixerAdapter.h"
#include "ui/ShellAdapter.h"
#include "ui/WaveformHub.h"

#include <QSGGeometry>
#include <QSGGeometryNode>
#include <QScreen>

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace vx::ui {
namespace {

using namespace shelltest;

struct Size {
    bool tablet;
    int width;
    int height;
    const char* name;
};

void PrintTo(const Size& s, std::ostream* os) {
    *os << s.name;
}

class MixingScreen : public ::testing::TestWithParam<Size> {
protected:
    void SetUp() override {
        shell_ = std::make_unique<RunningShell>(GetParam().tablet, RunningShell::Prepare(), true);
        window_ = shell_->window();
        ASSERT_TRUE(shell_->ready());
    }
    void TearDown() override { shell_.reset(); }

    QQuickItem* item(const QString& name) { return shell_->item(name); }
    // The window out of its maximised state, at `size`.
    void resize(const Size& size) {
        ASSERT_TRUE(resizeWindow(window_, QSize(size.width, size.height)));
    }
    DeckAdapter& deck(int d) { return *shell_->core().mixer().deck(d); }
    // Taps the named item and lets the screen refresh.
    void tapItem(const QString& name) {
        QQuickItem* it = item(name);
        ASSERT_NE(it, nullptr) << name.toStdString();
        ASSERT_TRUE(it->isVisible()) << name.toStdString();
        tap(window_, it);
        QTest::qWait(100); // the screen refreshes and lays out what the tap opened
    }
    // The keys reading `text` under the item named `under`, and the slider pointers there.
    std::vector<QQuickItem*> keys(const QString& under, const QString& text) {
        return visibleItems(item(under), [&](QQuickItem* i) {
            return i->property("touchTarget").toBool() && i->property("text").toString() == text;
        });
    }
    std::vector<QQuickItem*> pointers(const QString& under) {
        return visibleItems(item(under), [](QQuickItem* i) {
            return i->objectName() == QStringLiteral("pointer");
        });
    }
    // The pointer of the slider view named `name` (or the first slider under it).
    QQuickItem* pointerOf(QQuickItem* slider) {
        return findItem(slider, QStringLiteral("pointer"));
    }

    // The screen as it stands (track titles and artists may elide).
    void checkGeometry(const std::string& where, QQuickItem* root = nullptr, size_t least = 30) {
        expectFits(window_, root ? root : window_->contentItem(), where, least,
                   [](const QString& name) {
                       return name.startsWith(QLatin1String("title")) ||
                              name.startsWith(QLatin1String("artist"));
                   });
    }

    std::unique_ptr<RunningShell> shell_;
    QQuickWindow* window_ = nullptr;
};

// The window fills the screen and follows a resize; at the size, each of the seven panels of
// both decks opens alone (the others close), fits with finger-sized targets and uncut text,
// draws, and is kept as a screenshot; the waveforms keep their room.
TEST_P(MixingScreen, EveryPanelOpensAloneAndFits) {
    const Size size = GetParam();
    // Maximised: the window and its frame take the screen's free area.
    const QSize available = window_->screen()->availableSize();
    EXPECT_EQ(window_->windowStates(), Qt::WindowMaximized);
    EXPECT_EQ(window_->frameGeometry().size(), available) << "the window does not fill the screen";
    resize(size);
    QQuickItem* layout = item(QStringLiteral("layoutLoader"));
    ASSERT_NE(layout, nullptr);
    EXPECT_EQ(layout->width(), size.width);
    checkGeometry(std::string(size.name) + " no panel");

    const char* panels[] = {"cuePanel",    "loopPanel", "pitchPanel", "bendPanel",
                            "volumePanel", "eqPanel",   "fxPanel"};
    const char* panelKeys[] = {"cueKeys",    "loopKeys", "pitchKeys", "bendKeys",
                               "volumeKeys", "eqKeys",   "fxKeys"};
    for (size_t p = 0; p < std::size(panels); ++p) {
        for (int d = 0; d < 2; ++d) {
            tapItem(QString::fromLatin1(panels[p]) + QString::number(d));
        }
        QTest::qWait(120);
        const std::string where = std::string(size.name) + " " + panels[p];
        for (int d = 0; d < 2; ++d) {
            const DeckAdapter& a = deck(d);
            const bool open[] = {a.cuePanel(),    a.loopPanel(), a.pitchPanel(), a.bendPanel(),
                                 a.volumePanel(), a.eqPanel(),   a.fxPanel()};
            for (size_t q = 0; q < std::size(open); ++q) {
                EXPECT_EQ(open[q], q == p) << where << " deck " << d << ": " << panels[q];
            }
            QQuickItem* shown = item(QString::fromLatin1(panelKeys[p]) + QString::number(d));
            ASSERT_NE(shown, nullptr) << where;
            EXPECT_TRUE(shown->isVisible()) << where;
            QQuickItem* wave = item(QStringLiteral("waveArea") + QString::number(d));
            EXPECT_GE(wave->height(), 80.0) << where << ": the waveform lost its room";
        }
        checkGeometry(where);
        const QImage image = shell_->screenshot(QStringLiteral("%1-%2").arg(size.name, panels[p]));
        for (int d = 0; d < 2; ++d) {
            QQuickItem* open = item(QStringLiteral("openPanel") + QString::number(d));
            EXPECT_GT(litPixels(image, imageRect(open, image, window_)), 300)
                << where << " deck " << d << " draws nothing";
        }
    }
}

// Through the panels' controls by touch, on deck 0 playing: the cue key, the loop read-out,
// bend, the VOL and EQ faders, the LP/HP knob's re-centring, the effect choice and XY pad, the
// BPM pad (a built-in track refuses the edit and says why), the pitch read-out shown once and
// dimmed by the core, "Analysing" in place of the BPM, the crossfader's track, and the party
// screen with its volume.
TEST_P(MixingScreen, PanelControlsReachTheCore) {
    const Size size = GetParam();
    resize(size);
    SampleTestController& core = *shell_->screen();
    audioStream& d0 = *shell_->deck(0);
    tapItem(QStringLiteral("play0"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return d0.isPlaying.load(); }, kStateWaitMs));

    // The pitch read-out is shown once per deck, and dimmed while the core hides it.
    for (int d = 0; d < 2; ++d) {
        const QString pitch = deck(d).pitchText();
        ASSERT_FALSE(pitch.isEmpty());
        const auto copies = visibleItems(
            item(QStringLiteral("deckPanel") + QString::number(d)), [&](QQuickItem* i) {
                return i->inherits("QQuickText") && i->property("text").toString() == pitch;
            });
        EXPECT_EQ(copies.size(), 1u) << "deck " << d << " shows " << pitch.toStdString();
    }
    core.hideSpeed(0);
    shell_->core().mixer().refresh();
    EXPECT_LT(item(QStringLiteral("pitch0"))->opacity(), 0.6);
    core.showSpeed(0);
    shell_->core().mixer().refresh();
    EXPECT_EQ(item(QStringLiteral("pitch0"))->opacity(), 1.0);

    // Cue: SET adds a cue point.
    tapItem(QStringLiteral("cuePanel0"));
    const size_t cues = d0.cuePoints.size();
    const auto setKeys = keys(QStringLiteral("cueKeys0"), QStringLiteral("SET"));
    ASSERT_EQ(setKeys.size(), 1u);
    tap(window_, setKeys[0]);
    EXPECT_TRUE(QTest::qWaitFor([&] { return d0.cuePoints.size() == cues + 1; }, kStateWaitMs));

    // Loop: the length read-out is the core's.
    tapItem(QStringLiteral("loopPanel0"));
    EXPECT_EQ(item(QStringLiteral("loopLength0"))->property("text").toString(),
              QString::fromStdString(core.view(0).loopLabel.text) + " beats");

    // Bend: held, the deck runs faster than its own speed; released, it returns.
    tapItem(QStringLiteral("bendPanel0"));
    const auto bendPlus = keys(QStringLiteral("bendKeys0"), QStringLiteral("BEND +"));
    ASSERT_EQ(bendPlus.size(), 1u);
    const QPoint bp = sceneCentre(bendPlus[0]);
    QTest::touchEvent(window_, touchScreen()).press(0, bp, window_);
    EXPECT_TRUE(QTest::qWaitFor([&] { return d0.speed.load() > d0.baseSpeed.load() * 1.005; },
                                kStateWaitMs));
    QTest::touchEvent(window_, touchScreen()).release(0, bp, window_);
    EXPECT_TRUE(QTest::qWaitFor(
        [&] { return std::abs(d0.speed.load() - d0.baseSpeed.load()) < 1e-3; }, kStateWaitMs));

    // VOL: the channel fader dragged down lowers the trim gain.
    tapItem(QStringLiteral("volumePanel0"));
    const auto faders = pointers(QStringLiteral("volumeKeys0"));
    ASSERT_GE(faders.size(), 3u);
    const float trim = d0.trimGain.load();
    drag(window_, sceneCentre(faders[0]), sceneCentre(faders[0]) + QPoint(0, 30));
    EXPECT_TRUE(QTest::qWaitFor([&] { return d0.trimGain.load() < trim - 0.05f; }, kStateWaitMs));

    // EQ: the low band's fader dragged down cuts the bass.
    tapItem(QStringLiteral("eqPanel0"));
    const auto eqs = pointers(QStringLiteral("eqKeys0"));
    ASSERT_EQ(eqs.size(), 3u);
    drag(window_, sceneCentre(eqs[0]), sceneCentre(eqs[0]) + QPoint(0, 30));
    EXPECT_TRUE(QTest::qWaitFor([&] { return d0.eqLowDb.load() < -1.0f; }, kStateWaitMs));
    tapItem(QStringLiteral("eqPanel0"));

    // LP/HP: moved off centre, a tap on its key centres it again, and so does a double tap on
    // the knob.
    QQuickItem* lphp = item(QStringLiteral("lphp0"));
    ASSERT_TRUE(lphp && lphp->isVisible());
    for (int how = 0; how < 2; ++how) {
        QQuickItem* knob = pointerOf(lphp);
        drag(window_, sceneCentre(knob), sceneCentre(knob) + QPoint(int(lphp->width() / 4), 0));
        ASSERT_TRUE(QTest::qWaitFor(
            [&] { return std::abs(core.lphpSlider(0).value() - 0.5f) > 0.05f; }, kStateWaitMs));
        if (how == 0) {
            tapItem(QStringLiteral("lphpReset0"));
        } else {
            QTest::qWait(500); // not a double tap with the drag's press
            const QPoint at = sceneCentre(pointerOf(lphp));
            for (int k = 0; k < 2; ++k) {
                QTest::touchEvent(window_, touchScreen()).press(0, at, window_);
                QTest::touchEvent(window_, touchScreen()).release(0, at, window_);
                QTest::qWait(40);
            }
        }
        EXPECT_TRUE(
            QTest::qWaitFor([&] { return core.lphpSlider(0).value() == 0.5f; }, kStateWaitMs))
            << (how == 0 ? "LP/HP key" : "double tap on the knob");
    }

    // FX: the next effect is chosen by touch, and a finger on the XY pad engages it.
    tapItem(QStringLiteral("fxPanel0"));
    const int slot = core.currentFXNo(0);
    if (size.tablet) {
        tapItem(QStringLiteral("fxSlot0_6"));
        EXPECT_EQ(core.currentFXNo(0), 6);
        EXPECT_EQ(item(QStringLiteral("effectName0"))->property("text").toString(),
                  QStringLiteral("FX7: BITCRUSHER"));
    } else {
        const auto next = keys(QStringLiteral("fxKeys0"), QStringLiteral("▶"));
        ASSERT_EQ(next.size(), 1u);
        tap(window_, next[0]);
        EXPECT_EQ(core.currentFXNo(0), (slot + 1) % 7);
    }
    QQuickItem* pad = item(QStringLiteral("xyPad0"));
    const QPoint pc = sceneCentre(pad);
    QTest::touchEvent(window_, touchScreen()).press(0, pc, window_);
    QTest::touchEvent(window_, touchScreen()).move(0, pc + QPoint(10, -10), window_);
    EXPECT_TRUE(d0.fxEngaged.load());
    QTest::touchEvent(window_, touchScreen()).release(0, pc + QPoint(10, -10), window_);
    tapItem(QStringLiteral("fxPanel0"));

    // BPM pad on the built-in track: digits show, DONE refuses with a message.
    tapItem(QStringLiteral("pitchPanel0"));
    tapItem(QStringLiteral("bpmPadButton0"));
    QQuickItem* bpmPad = item(QStringLiteral("bpmPad"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return bpmPad->isVisible(); }, kStateWaitMs));
    // Over the screen, the pad's own keys.
    checkGeometry(std::string(size.name) + " BPM pad", bpmPad, 13);
    shell_->screenshot(QStringLiteral("%1-bpmPad").arg(size.name));
    for (const char* digit : {"1", "3", "3"}) {
        const auto key = keys(QStringLiteral("bpmPad"), QString::fromLatin1(digit));
        ASSERT_EQ(key.size(), 1u);
        tap(window_, key[0]);
    }
    EXPECT_EQ(shell_->core().mixer().enteredBpm(), QStringLiteral("133.0"));
    tapItem(QStringLiteral("bpmDone"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return shell_->core().shell().alertShown(); }, kStateWaitMs))
        << "DONE on a built-in track said nothing";
    EXPECT_TRUE(shell_->core().shell().alertText().contains(QStringLiteral("built-in")));
    shell_->core().shell().dismissAlert();
    // TAP refuses the same way (the pad took the pitch panel's place: it opens again).
    tapItem(QStringLiteral("pitchPanel0"));
    tapItem(QStringLiteral("tap0"));
    EXPECT_TRUE(QTest::qWaitFor([&] { return shell_->core().shell().alertShown(); }, 1000));
    shell_->core().shell().dismissAlert();
    tapItem(QStringLiteral("pitchPanel0"));

    // The crossfader's track beside the knob is no button: nothing opens, the value stays.
    QQuickItem* xf = item(QStringLiteral("crossfader"));
    const float xv = core.mainBalance().value();
    const QRectF knob = sceneRect(pointerOf(xf));
    const QRectF track = sceneRect(xf);
    const QPoint beside(int(knob.right() + (track.right() - knob.right()) / 2 - 10),
                        int(track.center().y()));
    QTest::touchEvent(window_, touchScreen()).press(0, beside, window_);
    QTest::touchEvent(window_, touchScreen()).release(0, beside, window_);
    QTest::qWait(600);
    EXPECT_FALSE(shell_->core().shell().browserShown());
    EXPECT_EQ(core.mainBalance().value(), xv);

    // Re-analysis: the BPM read-out of the deck analysed shows the progress, not a tempo.
    tapItem(QStringLiteral("zoom")); // the strips too, for the screenshot
    bool sawProgress = false;
    core.freezeButtomAction();
    for (int i = 0; i < 400 && !sawProgress; ++i) {
        QTest::qWait(10);
        for (int d = 0; d < 2; ++d) {
            const QString text =
                item(QStringLiteral("bpm") + QString::number(d))->property("text").toString();
            if (deck(d).analysing()) {
                sawProgress = true;
                EXPECT_TRUE(text.startsWith(QStringLiteral("Analysing "))) << text.toStdString();
                EXPECT_FALSE(text.contains(QStringLiteral("BPM"))) << text.toStdString();
            }
        }
    }
    EXPECT_TRUE(sawProgress) << "no analysis progress seen";
    shell_->screenshot(QStringLiteral("%1-analysing").arg(size.name));

    // Party screen: the volume knob is drawn and moves the output gain; the next-track line
    // reads as a sentence.
    tapItem(QStringLiteral("party"));
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return shell_->core().mixer().party()->shown(); }, kStateWaitMs));
    QTest::qWait(150);
    checkGeometry(std::string(size.name) + " party", item(QStringLiteral("partyView")), 6);
    QQuickItem* volume = pointerOf(item(QStringLiteral("partyVolume")));
    ASSERT_GT(volume->width(), 0.0);
    ASSERT_GT(volume->height(), 0.0);
    const float gain = shell_->app().engine()->getGain();
    drag(window_, sceneCentre(volume), sceneCentre(volume) + QPoint(0, 60));
    EXPECT_TRUE(QTest::qWaitFor([&] { return shell_->app().engine()->getGain() < gain - 0.05f; },
                                kStateWaitMs));
    const QString next = item(QStringLiteral("partyTillNext"))->property("text").toString();
    EXPECT_TRUE(next.startsWith(QStringLiteral("Next track"))) << next.toStdString();
    shell_->screenshot(QStringLiteral("%1-party").arg(size.name));
    tapItem(QStringLiteral("partyClose"));
}

INSTANTIATE_TEST_SUITE_P(Layouts, MixingScreen,
                         ::testing::Values(Size{false, 400, 760, "phone-400x760"},
                                           Size{false, 760, 400, "phone-760x400"},
                                           Size{true, 1280, 800, "tablet-1280x800"},
                                           Size{true, 800, 1280, "tablet-800x1280"}),
                         [](const auto& info) {
                             std::string n = info.param.name;
                             std::replace(n.begin(), n.end(), '-', '_');
                             return n;
                         });

// The layout follows the window across 600 px on its shorter side, both ways, while deck 0
// plays with its VOL panel open and its channel fader lowered, the crossfader at deck 0's end
// and the waveforms centred by the top bar's key: the decks keep playing, the panel stays open
// and fits, the fader gains are not reset by the new layout, the waveforms stay centred, and every
// target stays finger-sized inside the window. The key sends them home again.
class LayoutSwitch : public MixingScreen {};

TEST_P(LayoutSwitch, ResizeAcrossThresholdSwitchesLayoutKeepingState) {
    resize(GetParam());
    SampleTestController& core = *shell_->screen();
    audioStream& d0 = *shell_->deck(0);
    tapItem(QStringLiteral("play0"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return d0.isPlaying.load(); }, kStateWaitMs));
    tapItem(QStringLiteral("volumePanel0"));
    ASSERT_TRUE(deck(0).volumePanel());
    core.mainBalance().setValue(1.0f);
    core.crossfade();
    ASSERT_LT(shell_->deck(1)->faderGain.load(), 0.01f);
    // The channel fader off its default, so that a new layout resetting it would show.
    const auto faders = pointers(QStringLiteral("volumeKeys0"));
    ASSERT_FALSE(faders.empty());
    const float initial = d0.trimGain.load();
    drag(window_, sceneCentre(faders[0]), sceneCentre(faders[0]) + QPoint(0, 10));
    QTest::qWait(100); // the drag's last value reaches the core
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return d0.trimGain.load() < initial - 0.05f && !d0.trimRamp.isOn(); }, kStateWaitMs));
    const float trim = d0.trimGain.load();
    WaveformHub& hub = *shell_->core().waveforms();
    const auto centred = [&](bool on) {
        for (int d = 0; d < 2; ++d) {
            const waveControl& c = *hub.control(d);
            EXPECT_EQ(c.zeroX, on ? c._zeroCenter : c._zeroHome) << "deck " << d;
            EXPECT_NE(c._zeroCenter, c._zeroHome);
        }
        EXPECT_EQ(item(QStringLiteral("waveCentre"))->property("selected").toBool(), on);
    };
    centred(false);
    tapItem(QStringLiteral("waveCentre"));
    centred(true);

    const Size steps[] = {{true, 1280, 800, "tablet-1280x800-switched"},
                          {false, 760, 400, "phone-760x400-switched"},
                          {true, 800, 1280, "tablet-800x1280-switched"}};
    for (const Size& step : steps) {
        SCOPED_TRACE(step.name);
        resize(step);
        ASSERT_TRUE(QTest::qWaitFor([&] { return shell_->core().shell().tablet() == step.tablet; },
                                    kStateWaitMs));
        QTest::qWait(150);
        const QString source = item(QStringLiteral("layoutLoader"))->property("source").toString();
        EXPECT_TRUE(source.endsWith(step.tablet ? "TabletLayout.qml" : "PhoneLayout.qml"))
            << source.toStdString();
        EXPECT_TRUE(d0.isPlaying.load());
        EXPECT_TRUE(deck(0).volumePanel());
        EXPECT_TRUE(item(QStringLiteral("volumeKeys0"))->isVisible());
        EXPECT_LT(shell_->deck(1)->faderGain.load(), 0.01f) << "the fader gains were reset";
        EXPECT_EQ(d0.trimGain.load(), trim);
        EXPECT_GE(item(QStringLiteral("waveArea0"))->height(), 80.0);
        centred(true);
        checkGeometry(step.name);
        const QImage image = shell_->screenshot(QString::fromLatin1(step.name));
        EXPECT_GT(litPixels(image, imageRect(item(QStringLiteral("openPanel0")), image, window_)),
                  300);
    }
    tapItem(QStringLiteral("waveCentre"));
    centred(false);
}

INSTANTIATE_TEST_SUITE_P(FromPhone, LayoutSwitch,
                         ::testing::Values(Size{false, 400, 760, "phone-400x760"}),
                         [](const auto&) { return std::string("phone_400x760"); });

// A tall waveform (taller than its 480 rows) is closed: no dark lines between the rows in the
// middle of the deck's waveform.
TEST(MixingScreenDrawing, TallWaveformHasNoGapsBetweenRows) {
    RunningShell shell(true);
    ASSERT_TRUE(shell.ready());
    ASSERT_TRUE(resizeWindow(shell.window(), QSize(800, 1280)));
    audioStream& d0 = *shell.deck(0);
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return d0.peakData() && d0.peakData()->count > 0 && d0.lengthFrames.load() > 0; },
        kLoadWaitMs));
    // Into the track, where the music is.
    shell.core().mixer().deck(0)->playStop();
    ASSERT_TRUE(QTest::qWaitFor([&] { return d0.position.load() > 44100.0 * 8; }, 20000));
    QQuickItem* wave = shell.item("waveform0");
    ASSERT_NE(wave, nullptr);
    ASSERT_GT(wave->height(), 480.0) << "not a tall waveform";
    QTest::qWait(200);
    const QImage image = shell.screenshot(QStringLiteral("tablet-800x1280-waveform"));
    const QRect r = imageRect(wave, image, shell.window());
    // The waveform's axis is the column lit in the most rows (the layout sets it towards the
    // screen's middle, not at the item's centre). The band: a fifth of the width around it,
    // every image row between the top and bottom tenth.
    int axis = r.left();
    int axisRows = -1;
    for (int x = r.left(); x <= r.right(); ++x) {
        const int lit = litPixels(image, QRect(x, r.top(), 1, r.height()));
        if (lit > axisRows) {
            axis = x;
            axisRows = lit;
        }
    }
    const QRect band(axis - r.width() / 10, r.top() + r.height() / 10, r.width() / 5,
                     r.height() * 8 / 10);
    // A row drawn by the waveform is near white in the middle; between rows that did not
    // meet, the pixels stay dark or only catch the edge of a line.
    int dim = 0;
    for (int y = band.top(); y <= band.bottom(); ++y) {
        int brightest = 0;
        for (int x = band.left(); x <= band.right(); ++x) {
            const QRgb p = image.pixel(x, y);
            brightest = std::max({brightest, qRed(p), qGreen(p), qBlue(p)});
        }
        dim += brightest < 200 ? 1 : 0;
    }
    EXPECT_LT(dim, band.height() / 20) << dim << " dim rows of " << band.height();
}

// The first zoom with both decks stopped draws each overview strip whole: its top quarter (the
// first minutes, the first rows the strip adds) is lit like the rest.
TEST(MixingScreenDrawing, FirstZoomDrawsTheWholeOverview) {
    RunningShell shell(true);
    ASSERT_TRUE(shell.ready());
    ASSERT_TRUE(resizeWindow(shell.window(), QSize(800, 1280)));
    for (int d = 0; d < 2; ++d) {
        ASSERT_TRUE(QTest::qWaitFor(
            [&] { return shell.deck(d)->peakData() && shell.deck(d)->peakData()->count > 0; },
            kLoadWaitMs));
    }
    QTest::qWait(300);
    tap(shell.window(), shell.item("zoom"));
    for (int d = 0; d < 2; ++d) {
        QQuickItem* strip = shell.item(QStringLiteral("overview") + QString::number(d));
        ASSERT_TRUE(QTest::qWaitFor([&] { return strip->isVisible() && strip->width() > 0; },
                                    kStateWaitMs));
        ASSERT_GT(strip->height(), 600.0)
            << "the strip must hold more rows than a layer starts with";
    }
    QTest::qWait(300);
    const QImage image = shell.screenshot(QStringLiteral("tablet-800x1280-zoom"));
    // The strip's rows are centred lines: in its top quarter the middle column is lit on most
    // image rows (stray lines from a corner cross it only here and there).
    for (int d = 0; d < 2; ++d) {
        const QRect r = imageRect(shell.item(QStringLiteral("overview") + QString::number(d)),
                                  image, shell.window());
        int lit = 0;
        const int rows = r.height() / 4;
        for (int y = r.top(); y < r.top() + rows; ++y) {
            lit += litPixels(image, QRect(r.center().x() - 1, y, 3, 1)) > 0 ? 1 : 0;
        }
        EXPECT_GT(lit, rows * 6 / 10) << "deck " << d << ": " << lit << " of " << rows;
    }
}

// The layout follows the screen: the phone's when its shorter side is under 600 px.
TEST(MixingScreenDrawing, PhoneLayoutBelow600Pixels) {
    const struct {
        int width, height;
        bool tablet;
    } cases[] = {{400, 760, false}, {760, 400, false}, {599, 1000, false},
                 {600, 1000, true}, {1280, 800, true}, {800, 1280, true}};
    for (const auto& c : cases) {
        EXPECT_EQ(AppCore::tabletScreen(c.width, c.height), c.tablet) << c.width << "x" << c.height;
    }
}

// A line layer that grows in the middle of a frame keeps the lines already added: they stay
// where they were put instead of collapsing to the origin.
TEST(MixingScreenDrawing, LineLayerKeepsItsLinesWhenItGrows) {
    for (const auto kind : {LineLayerNode::Kind::Hairlines, LineLayerNode::Kind::Wide}) {
        LineLayerNode layer(LineLayerNode::Backend::Hardware, kind, nullptr, 4);
        layer.begin();
        for (int i = 0; i < 40; ++i) {
            layer.add(QPointF(10, i + 1), QPointF(50, i + 1), Rgba8{255, 255, 255, 255},
                      Rgba8{255, 255, 255, 255}, 2.0f);
        }
        layer.end();
        ASSERT_GE(layer.capacity(), 40);
        auto* node = static_cast<QSGGeometryNode*>(layer.firstChild());
        ASSERT_NE(node, nullptr);
        const QSGGeometry::ColoredPoint2D* v = node->geometry()->vertexDataAsColoredPoint2D();
        const int per = kind == LineLayerNode::Kind::Hairlines ? 2 : 6;
        for (int i = 0; i < 40; ++i) {
            EXPECT_NEAR(v[i * per].y, i + 1, 1.5) << "line " << i;
            EXPECT_GE(v[i * per].x, 9.0f) << "line " << i;
            EXPECT_EQ(v[i * per].a, 255) << "line " << i;
            if (::testing::Test::HasFailure()) {
                break; // one lost line tells it
            }
        }
    }
}

// A layer keeps last frame's vertices where lines stand still; lines moved are written, and
// lines the frame no longer has draw nothing (no stale marks left on screen).
TEST(MixingScreenDrawing, LineLayerRewritesMovedLinesAndClearsDroppedOnes) {
    LineLayerNode layer(LineLayerNode::Backend::Hardware, LineLayerNode::Kind::Hairlines, nullptr,
                        64);
    const Rgba8 white{255, 255, 255, 255};
    const auto frame = [&](int lines, double y0) {
        layer.begin();
        for (int i = 0; i < lines; ++i) {
            layer.add(QPointF(10, y0 + i), QPointF(50, y0 + i), white, white);
        }
        layer.end();
    };
    frame(40, 1);
    frame(40, 1);
    frame(10, 5);
    const auto* node = static_cast<QSGGeometryNode*>(layer.firstChild());
    const QSGGeometry::ColoredPoint2D* v = node->geometry()->vertexDataAsColoredPoint2D();
    for (int i = 0; i < 40; ++i) {
        if (i < 10) {
            EXPECT_EQ(v[2 * i].y, 5 + i) << "line " << i << " kept its old place";
            EXPECT_EQ(v[2 * i].a, 255) << "line " << i;
        } else {
            EXPECT_EQ(v[2 * i].a, 0) << "dropped line " << i << " still draws";
            EXPECT_EQ(v[2 * i + 1].x, 0.0f) << "dropped line " << i;
        }
    }
}

} // namespace
} // namespace vx::ui
