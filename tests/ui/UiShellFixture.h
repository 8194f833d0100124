#pragma once
// The shell as the application composes it, for the UI tests: AppCore on a fresh temporary home
// with the offline device paced in real time, the QML loaded as main() loads it, and helpers to
// find items, touch them and keep screenshots as test artifacts.

#include "app/DuovexAppDelegate.h"
#include "deck/SampleTestController.h"
#include "engine/AudioOut.h"
#include "engine/audioStream.h"
#include "library/LibraryFixture.h"
#include "library/VXAudioFileInfo.h"
#include "ui/AppCore.h"

#include <QDir>
#include <QGuiApplication>
#include <QImage>
#include <QPointingDevice>
#include <QQmlApplicationEngine>
#include <QQuickItem>
#include <QQuickWindow>
#include <QTest>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace vx::ui::shelltest {

// Real milliseconds the tests wait for the decoders, the paced output and the run loop.
constexpr int kLoadWaitMs = 60000;
constexpr int kStateWaitMs = 5000;

inline QQuickItem* findItem(QQuickItem* root, const QString& name) {
    if (!root) {
        return nullptr;
    }
    if (root->objectName() == name) {
        return root;
    }
    for (QQuickItem* child : root->childItems()) {
        if (QQuickItem* found = findItem(child, name)) {
            return found;
        }
    }
    return nullptr;
}

inline QRectF sceneRect(QQuickItem* item) {
    return item->mapRectToScene(QRectF(0, 0, item->width(), item->height()));
}

inline QPoint sceneCentre(QQuickItem* item) {
    return sceneRect(item).center().toPoint();
}

inline QPointingDevice* touchScreen() {
    static QPointingDevice* device = QTest::createTouchDevice();
    return device;
}

// One finger down and up on the item's centre.
inline void tap(QQuickWindow* window, QQuickItem* item) {
    const QPoint p = sceneCentre(item);
    QTest::touchEvent(window, touchScreen()).press(0, p, window);
    QTest::touchEvent(window, touchScreen()).release(0, p, window);
}

// One finger pressed at `from`, moved to `to` in eight steps, lifted.
inline void drag(QQuickWindow* window, QPoint from, QPoint to) {
    QTest::touchEvent(window, touchScreen()).press(0, from, window);
    for (int step = 1; step <= 8; ++step) {
        QTest::qWait(10);
        QTest::touchEvent(window, touchScreen()).move(0, from + (to - from) * step / 8, window);
    }
    QTest::touchEvent(window, touchScreen()).release(0, to, window);
}

// The item's rectangle in the pixels of an image grabbed from `window`, inside its edges.
inline QRect imageRect(const QQuickItem* item, const QImage& image, const QQuickWindow* window) {
    const QRectF r = item->mapRectToScene(QRectF(0, 0, item->width(), item->height()));
    const double ratio = double(image.width()) / window->width();
    return QRect(int(std::ceil(r.left() * ratio)), int(std::ceil(r.top() * ratio)),
                 int(r.width() * ratio) - 1, int(r.height() * ratio) - 1);
}

// Pixels of `rect` lit: some channel above 90 (the panels' background is about 20).
inline int litPixels(const QImage& image, const QRect& rect) {
    int lit = 0;
    const QRect r = rect.intersected(image.rect());
    for (int y = r.top(); y <= r.bottom(); ++y) {
        for (int x = r.left(); x <= r.right(); ++x) {
            const QRgb p = image.pixel(x, y);
            lit += std::max({qRed(p), qGreen(p), qBlue(p)}) > 90 ? 1 : 0;
        }
    }
    return lit;
}

// Every item under `root` for which `pick` holds, that is visible; with `seenOnly` not fully
// transparent either (a transparent item is not seen, but still takes touches).
inline std::vector<QQuickItem*>
visibleItems(QQuickItem* root, const std::function<bool(QQuickItem*)>& pick, bool seenOnly = true) {
    std::vector<QQuickItem*> out;
    std::function<void(QQuickItem*)> walk = [&](QQuickItem* item) {
        if (!item->isVisible() || (seenOnly && item->opacity() <= 0.0)) {
            return;
        }
        if (pick(item)) {
            out.push_back(item);
        }
        for (QQuickItem* child : item->childItems()) {
            walk(child);
        }
    };
    walk(root);
    return out;
}

inline std::string describe(QQuickItem* item) {
    const QRectF r = sceneRect(item);
    const QVariant text = item->property("text");
    return (item->objectName().isEmpty() ? std::string(item->metaObject()->className())
                                         : item->objectName().toStdString()) +
           (text.isValid() ? " '" + text.toString().toStdString() + "'" : std::string()) + " at " +
           std::to_string(int(r.x())) + "," + std::to_string(int(r.y())) + " " +
           std::to_string(int(r.width())) + "x" + std::to_string(int(r.height()));
}

// The screen under `root` as a finger meets it: at least `least` visible targets, each at
// least 44 px (9 mm) both ways, inside the window and over no other; every visible text inside
// the window, fitting its box uncut, but those whose object name `mayElide` accepts (track
// titles, file names).
inline void expectFits(const QQuickWindow* window, QQuickItem* root, const std::string& where,
                       size_t least, const std::function<bool(const QString&)>& mayElide) {
    constexpr double kMinTarget = 44.0;
    const QRectF screen =
        QRectF(0, 0, window->width(), window->height()).adjusted(-.5, -.5, .5, .5);
    const auto targets = visibleItems(
        root, [](QQuickItem* i) { return i->property("touchTarget").toBool(); }, false);
    EXPECT_GE(targets.size(), least) << where;
    for (size_t a = 0; a < targets.size(); ++a) {
        const QRectF r = sceneRect(targets[a]);
        const std::string name = where + ": " + describe(targets[a]);
        EXPECT_GE(r.width(), kMinTarget - 0.5) << name;
        EXPECT_GE(r.height(), kMinTarget - 0.5) << name;
        EXPECT_TRUE(screen.contains(r)) << name;
        for (size_t b = a + 1; b < targets.size(); ++b) {
            const QRectF overlap = r.intersected(sceneRect(targets[b]));
            EXPECT_TRUE(overlap.width() < 1.0 || overlap.height() < 1.0)
                << name << " over " << describe(targets[b]);
        }
    }
    const auto texts = visibleItems(
        root,
        [&](QQuickItem* i) {
            return i->inherits("QQuickText") && !i->property("text").toString().isEmpty() &&
                   !mayElide(i->objectName());
        },
        false);
    for (QQuickItem* t : texts) {
        const std::string name = where + ": " + describe(t);
        EXPECT_LE(t->property("contentWidth").toDouble(), t->width() + 1.0) << name;
        EXPECT_LE(t->property("contentHeight").toDouble(), t->height() + 2.0) << name;
        EXPECT_FALSE(t->property("truncated").toBool()) << name;
        EXPECT_TRUE(screen.contains(sceneRect(t))) << name;
    }
}

// Takes the window out of its maximised state and gives it `size`; true once the window and
// its content have that size and kept it for a moment (an X server may answer a resize late).
inline bool resizeWindow(QQuickWindow* window, QSize size) {
    const auto settled = [&] {
        return window->size() == size && window->contentItem()->size() == QSizeF(size);
    };
    for (int attempt = 0; attempt < 3; ++attempt) {
        window->showNormal();
        window->resize(size);
        if (QTest::qWaitFor(settled, kStateWaitMs)) {
            QTest::qWait(200);
            if (settled()) {
                return true;
            }
        }
    }
    return false;
}

// The composition as main() builds it, on a fresh home that `prepare` may fill first (the
// application lists the documents folder's tracks when it launches), with its window shown.
class RunningShell {
public:
    using Prepare = std::function<void(const std::filesystem::path& documents)>;
    using Sink = decltype(AppCore::Options::offlineSink);

    // The window opens maximised on the test's screen; the phone layout then gets the window a
    // phone's screen would give it (portrait, 400 × 760) unless `screenSize` keeps the screen's.
    // A `home` given outlives the shell (a second shell on it is a restart); `sink` hears the
    // mix.
    explicit RunningShell(bool tablet, const Prepare& prepare = {}, bool screenSize = false,
                          const std::filesystem::path& givenHome = {}, const Sink& sink = {}) {
        const std::filesystem::path home = givenHome.empty() ? dir_.path() : givenHome;
        std::filesystem::create_directories(home / "Documents");
        if (prepare) {
            prepare(home / "Documents");
        }
        core_ = std::make_unique<AppCore>(
            AppCore::Options{.paths = Paths(home / "Documents", VX_RESOURCES_DIR, home / "tmp",
                                            home / "settings.json"),
                             .tablet = tablet,
                             .offlineAudio = true,
                             .offlineSink = sink});
        engine_ = std::make_unique<QQmlApplicationEngine>();
        engine_->load(QUrl(QStringLiteral("qrc:/Velvox/Nexa/Main.qml")));
        if (!engine_->rootObjects().isEmpty()) {
            window_ = qobject_cast<QQuickWindow*>(engine_->rootObjects().first());
        }
        if (window_ && !tablet && !screenSize) {
            (void)QTest::qWaitForWindowExposed(window_);
            sized_ = resizeWindow(window_, QSize(400, 760));
        }
    }
    ~RunningShell() {
        engine_.reset(); // the QML goes before the core it draws
        core_.reset();
    }
    RunningShell(const RunningShell&) = delete;
    RunningShell& operator=(const RunningShell&) = delete;

    AppCore& core() { return *core_; }
    DuovexAppDelegate& app() { return core_->delegate(); }
    SampleTestController* screen() { return core_->delegate().mixingScreen(); }
    QQuickWindow* window() const { return window_; }
    template <typename T = QQuickItem> T* item(const QString& name) const {
        return window_ ? qobject_cast<T*>(findItem(window_->contentItem(), name)) : nullptr;
    }
    QQuickItem* item(const char* name) const { return item(QString::fromLatin1(name)); }
    // The engine's deck, or null before the launch has continued.
    audioStream* deck(int d) {
        AudioOut* engine = core_->delegate().engine();
        return engine && engine->initialized() ? &engine->deck(d) : nullptr;
    }
    bool loaded(int d) { return deck(d) && deck(d)->isLoaded.load() && !deck(d)->isLoading.load(); }
    bool bothLoaded() { return loaded(0) && loaded(1); }
    // The window shown and both decks holding their launch tracks.
    bool ready() {
        return window_ && sized_ && QTest::qWaitForWindowExposed(window_) &&
               QTest::qWaitFor([&] { return bothLoaded(); }, kLoadWaitMs);
    }
    // The window shown and the launch through to the main menu (the decks may still load).
    bool launched() {
        return window_ && sized_ && QTest::qWaitForWindowExposed(window_) &&
               QTest::qWaitFor([&] { return app().launched() && app().mainMenu(); }, kStateWaitMs);
    }
    // Taps the named item, which must be visible and on screen, at `fraction` of its width
    // (mid-height), and lets the screen refresh.
    void tapAt(const QString& name, double fraction = 0.5) {
        QQuickItem* it = item(name);
        ASSERT_NE(it, nullptr) << name.toStdString();
        ASSERT_TRUE(it->isVisible()) << name.toStdString();
        QTest::qWait(30); // a box just shown is laid out before it is touched
        const QRectF r = sceneRect(it);
        ASSERT_TRUE(QRectF(0, 0, window_->width(), window_->height()).contains(r.center()))
            << name.toStdString() << " is off screen";
        const QPoint p(int(r.left() + r.width() * fraction), int(r.center().y()));
        QTest::touchEvent(window_, touchScreen()).press(0, p, window_);
        QTest::touchEvent(window_, touchScreen()).release(0, p, window_);
        QTest::qWait(50);
    }
    QString text(const QString& name) const {
        const QQuickItem* it = item(name);
        return it ? it->property("text").toString() : QStringLiteral("<missing %1>").arg(name);
    }
    // The file deck `d` has loaded, or empty while none is (or one is being loaded).
    std::filesystem::path loadedFile(int d) {
        audioStream* s = deck(d);
        if (!loaded(d)) {
            return {};
        }
        std::lock_guard lock(*s->decodeLock);
        return s->info() ? s->info()->fileName : std::filesystem::path();
    }
    // Writes the window's image to the artifacts folder of this platform; returns it.
    QImage screenshot(const QString& name) {
        const QImage image = window_->grabWindow();
        const QString folder =
            QStringLiteral(VX_UI_ARTIFACTS_DIR "/") + QGuiApplication::platformName();
        QDir().mkpath(folder);
        image.save(folder + "/" + name + ".png");
        return image;
    }

protected:
    // A folder whose path never contains "bpm" (tempo is read from file names).
    vx::test::LibraryTempDir dir_;
    std::unique_ptr<AppCore> core_;
    std::unique_ptr<QQmlApplicationEngine> engine_;
    QQuickWindow* window_ = nullptr;
    bool sized_ = true; // the phone's window got its size
};

} // namespace vx::ui::shelltest
