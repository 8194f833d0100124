#include "app/DuovexAppDelegate.h"

#include "analysis/peakFileData.h"
#include "app/WiFiTransfer.h"
#include "dsp/SamplePlayerFixed.h"
#include "engine/AudioOut.h"
#include "engine/ConversionState.h"
#include "engine/Transport.h"
#include "engine/convertFile.h"
#include "engine/sampleLoad.h"
#include "library/DBController.h"
#include "library/TrackHash.h"
#include "library/TrackLocation.h"
#include "library/VXAudioFileInfo.h"
#include "platform/Alerts.h"
#include "platform/AudioDevice.h"
#include "platform/Log.h"

#include <algorithm>
#include <cmath>
#include <system_error>
#include <vector>

namespace vx {

namespace {

constexpr const char* kAlertTitle = "Velvox Nexa";
constexpr const char* kAlertButton = "OK";

// The saved-state keys.
constexpr const char* kLaunchCount = "kLaunchCount";
constexpr const char* kIsFirstStart = "isFirstStart";
constexpr const char* kPreVersion = "preVersion";
constexpr const char* kLashHash = "kLashHash";
constexpr const char* kNormalizeVolume = "kNormalizeVolume";
constexpr const char* kDipCorrection = "kDipCorrection";
constexpr const char* kPitchStep = "kPitchStep";
constexpr const char* kStopProofLock = "kStopProofLock";
constexpr const char* kTempoLock = "kTempoLock";
constexpr const char* kXFadeTime = "kXFadeTime";
constexpr const char* kSongPartInAutoPlay = "kSongPartInAutoPlay";
constexpr const char* kSamplesVolume = "kSamplesVolume";
constexpr const char* kSnapCueToBeat = "kSnapCueToBeat";
constexpr const char* kDontMarkEvenBeat = "kDontMarkEvenBeat";
constexpr const char* kTwitterSave = "kTwitterSave";
constexpr const char* kLastVolume = "LastVolume";
constexpr const char* kLastSplit = "LastSplit";
constexpr const char* kLastZoomMode = "LastZoomMode";
constexpr const char* kFFSpeed = "kFFSpeed";
constexpr const char* kFadeCurve = "kFadeCurve";
constexpr const char* kAutoEqEnabled = "kAutoEqEnabled";
constexpr const char* kRandonSong = "kRandonSong";
constexpr const char* kFileSeqNo = "FileSeqNo";
constexpr const char* kRecordNo = "kRecordNo";

std::string streamFileKey(int deck) {
    return "kStreamFile" + std::to_string(deck);
}
std::string streamCrateKey(int deck) {
    return "kStreamCrate" + std::to_string(deck);
}

} // namespace

DuovexAppDelegate::DuovexAppDelegate(Paths paths, AudioDevice& device, RunLoop& loop,
                                     std::string bundleVersion, Alerts* alerts)
    : paths_(std::move(paths)), device_(device), loop_(loop),
      bundleVersion_(std::move(bundleVersion)), alerts_(alerts), defaults_(paths_.settingsFile()),
      notifications_(loop) {
    services_.defaults = &defaults_;
    services_.notifications = &notifications_;
    services_.loop = &loop_;
}

DuovexAppDelegate::~DuovexAppDelegate() {
    // The Wi-Fi transfer first: its requests reach the engine and the database.
    wifiTransfer_.reset();
    if (db_) {
        db_->setUpdateLastHash({});
    }
    if (engine_) {
        // Decoders first: one still opening its track may start an analysis, which must then
        // be among those cancelled and joined below. Once they are joined nothing reads the
        // services from another thread.
        engine_->closeDecoders();
        engine_->setNextLoadHandler({});
    }
    services_.loadFileDidHide = {};
    if (engine_) {
        // Runs queued main-thread work while the analyses end; with the hooks above cleared
        // none of it reaches back into this object.
        engine_->joinAnalyses(true);
    }
    continueTimer_.invalidate();
    for (TimerHandle& timer : nextLoadTimer_) {
        timer.invalidate();
    }
    namesTimer_.invalidate();
    slidersTimer_.invalidate();
    // The browser and the menu's screens borrow the engine and the database.
    batch_.reset();
    audioOutput_.reset();
    settings_.reset();
    mainMenu_.reset();
    // The import calls back into the browser; the browser borrows the engine and the database.
    importer_.reset();
    loadFile_.reset();
    crateManager_.reset();
    playlistManager_.reset();
    // The mixing screen refers to the engine; the engine's decode threads to the services and
    // the database.
    testCnt_.reset();
    engine_.reset();
    services_.db.reset();
    db_.reset();
}

// ---- start-up -------------------------------------------------------------------------------

void DuovexAppDelegate::applicationDidFinishLaunching(bool tablet) {
    tablet_ = tablet;
    needAutoPlay_ = false;
    autoPlayIndex_ = 0;
    conversion_ = std::make_unique<ConversionState>([this] { return loop_.isMainThread(); });

    std::string error;
    if (!paths_.ensureWritableFolders(&error)) {
        logLine("%s", error.c_str());
    }
    // The shared controller (used where no database is passed, e.g. a tempo typed in) must
    // open this home's database, not the default one.
    DBController::setPaths(paths_);
    // Peak files of tracks in folders this user cannot write (an installed resources folder).
    setPeakCacheFolder(paths_.cache() / "peaks");
    db_ = DBController::init(paths_, &error);
    if (db_) {
        db_->setUpdateLastHash([this] { updateLastHash(); });
    }
    services_.db = db_;
    services_.loadFileDidHide = [this] { decoderFirstPass(); };

    splashShown_ = true;
    continueTimer_ = loop_.after(kContinueLoadDelay, [this] { continueLoad(); });
}

void DuovexAppDelegate::continueLoad() {
    defaults_.setInteger(kLaunchCount, defaults_.integerForKey(kLaunchCount, 0) + 1);
    defaults_.synchronize();
    // A conversion killed in an earlier run left its hidden partial file in the documents.
    removeStaleConversionParts(paths_.documents());
    removeStalePasteParts();

    if (!defaults_.hasKey(kIsFirstStart)) {
        defaults_.setString(kIsFirstStart, "NO");
        defaults_.setBool(kNormalizeVolume, true);
        defaults_.setFloat(kDipCorrection, 1.0f);
        firstStart_ = true;
    }
    normalizeVolume_ = defaults_.boolForKey(kNormalizeVolume, true);
    dipCorrection_ = defaults_.floatForKey(kDipCorrection, 1.0f);

    // The signature as the last run left it. Read before anything here touches the database:
    // every insertion refreshes the stored value, so reconciling the built-in folder below
    // would otherwise make a changed documents folder look already reconciled.
    const uint64_t storedSignature = defaults_.unsignedForKey(kLashHash, 0);

    setUpAudioSession();

    AudioOutputSettings::applyStored(defaults_, device_); // the output the user chose
    engine_ = std::make_unique<AudioOut>(device_, &loop_, &services_);
    const bool outputReady = engine_->init();
    if (!outputReady) {
        logLine("the audio output could not be set up");
        showAlert("The audio output could not be started.");
    }
    engine_->setNextLoadHandler([this](int deck) { nextLoad(deck); });
    engine_->setGain(kInitialGain);
    engine_->setSampleGain(kInitialSampleGain);

    if (firstStart_) {
        writeFirstStartValues();
        defaults_.synchronize();
        reconcile(kBuiltInLocation);
    } else {
        lastSplit_ = defaults_.boolForKey(kLastSplit, false);
        engine_->setGain(defaults_.floatForKey(kLastVolume, kInitialGain));
        lastZoomMode_ = defaults_.boolForKey(kLastZoomMode, true);
        engine_->setSampleGain(defaults_.floatForKey(kSamplesVolume, kInitialSampleGain));
    }

    readSettings();

    if (outputReady) {
        loadPads();
        engine_->StartSound();
        engine_->setMicGain(1.0f);
        loadMainView();
    }

    if (defaults_.stringForKey(kPreVersion) != bundleVersion_) {
        reconcile(kBuiltInLocation);
        defaults_.setString(kPreVersion, bundleVersion_);
    }
    defaults_.synchronize();

    if (storedSignature == 0 || storedSignature != currentFolderSignature()) {
        reconcile(kUserLocation);
    }
    updateLastHash();
    // Written now rather than at the next exit, so that a run that is killed does not walk the
    // documents folder again at its next start.
    defaults_.synchronize();
    launched_ = true;
    runPendingURLs();
}

void DuovexAppDelegate::writeFirstStartValues() {
    defaults_.setString(kPreVersion, bundleVersion_);
    defaults_.setDouble(kPitchStep, 0.001);
    defaults_.setBool(kHideBundled, false);
    defaults_.setBool(kStopProofLock, false);
    defaults_.setBool(kTempoLock, true);
    defaults_.setDouble(kXFadeTime, 4.5);
    defaults_.setFloat(kSongPartInAutoPlay, 0.5f);
    defaults_.setFloat(kSamplesVolume, kInitialSampleGain);
    defaults_.setBool(kSnapCueToBeat, true);
    defaults_.setBool(kDontMarkEvenBeat, defaults_.boolForKey(kDontMarkEvenBeat, false));
    defaults_.setBool(kTwitterSave, true);
    defaults_.setFloat(kLastVolume, engine_->getGain());
    defaults_.setBool(kLastSplit, false);
    defaults_.setBool(kLastZoomMode, true);
    defaults_.setDouble(kFFSpeed, 160.0);
    defaults_.setInteger(kFadeCurve, 1);
    defaults_.setBool(kAutoEqEnabled, false);
    defaults_.setBool(kRandonSong, false);
    // The sequence numbers name files: a store that lost its first-start mark but kept a
    // number (a command-line recording made before the first start) must not restart at 0 and
    // overwrite what was recorded.
    if (!defaults_.hasKey(kFileSeqNo)) {
        defaults_.setInteger(kFileSeqNo, 0);
    }
    if (!defaults_.hasKey(kRecordNo)) {
        defaults_.setInteger(kRecordNo, 0);
    }
}

void DuovexAppDelegate::setUpAudioSession() {
    device_.initializeSession([this](bool begins) {
        // The converter stops between two buffers while another application has the sound.
        if (conversion_) {
            if (begins) {
                conversion_->pause();
            } else {
                conversion_->resume();
            }
        }
        interrupted_ = begins;
        if (engine_) {
            engine_->sessionInterrupted(begins);
        }
    });
    device_.setCategory("medi");
    device_.setActive(true);
    const double rate = device_.hardwareSampleRate();
    const double duration = device_.hardwareBufferDuration();
    framesPerBuffer_ = static_cast<uint32_t>(std::lround(duration * rate));
}

void DuovexAppDelegate::loadPads() {
    // The engine's own sounds first: a saved pad file that is gone leaves that sound in place.
    engine_->loadDefaultPads(paths_.samples());
    for (int i = 0; i < AudioOut::kPadCount; ++i) {
        const std::string saved = defaults_.stringForKey(lastSampleKey(i));
        std::error_code ec;
        if (!saved.empty() && std::filesystem::is_regular_file(saved, ec)) {
            sampleLoad(engine_->pad(i), saved, nullptr, std::nullopt);
        }
    }
}

void DuovexAppDelegate::loadMainView() {
    splashShown_ = false;
    testCnt_ = std::make_unique<SampleTestController>(*engine_, db_.get(), defaults_,
                                                      notifications_, loop_, this);
    testCnt_->setDocumentsFolder(paths_.documents());
    testCnt_->startIndicators(); // the screen is shown: its read-outs refresh
    const auto fallbacks = defaultTracks();
    testCnt_->restoreDecks(fallbacks[0], fallbacks[1]);
    // The menu's controller lives from here on: the pad strip shows its pad names.
    mainMenu_ = std::make_unique<MainMenu>(*engine_, db_.get(), defaults_, notifications_, loop_,
                                           paths_.documents(), *this);
    waveformAnimating_ = true;
    transitViewWithEffect(kFadeTransition);
}

std::array<std::string, 2> DuovexAppDelegate::defaultTracks() const {
    // The first two tracks of the built-in folder by file name.
    std::vector<std::filesystem::path> tracks;
    std::error_code ec;
    for (std::filesystem::directory_iterator it(paths_.sound(), ec), end; !ec && it != end;
         it.increment(ec)) {
        if (it->is_regular_file(ec) && isTrackExtension(it->path())) {
            tracks.push_back(it->path());
        }
    }
    std::sort(tracks.begin(), tracks.end());
    std::array<std::string, 2> result;
    for (size_t i = 0; i < result.size() && i < tracks.size(); ++i) {
        result[i] = tracks[i].string();
    }
    return result;
}

void DuovexAppDelegate::reconcile(int location) {
    if (!db_) {
        return;
    }
    db_->updateDirectory(location == kBuiltInLocation ? paths_.sound() : paths_.documents(),
                         location);
}

// ---- folder signature, alerts ------------------------------------------------------------

uint64_t DuovexAppDelegate::currentFolderSignature() const {
    return folderSignature(paths_.documents());
}

void DuovexAppDelegate::updateLastHash() {
    defaults_.setUnsigned(kLashHash, currentFolderSignature());
}

void DuovexAppDelegate::showAlert(const std::string& text) {
    logLine("%s: %s", kAlertTitle, text.c_str());
    if (alerts_) {
        alerts_->showAlert(kAlertTitle, text, kAlertButton);
    }
}

bool DuovexAppDelegate::outputSuspended() const {
    return outputSuspended_ || interrupted_;
}

// ---- lifecycle ------------------------------------------------------------------------------

void DuovexAppDelegate::applicationWillResignActive() {
    logLine("resign active");
    waveformAnimating_ = false;
    resignSignature_ = currentFolderSignature();
    inBackground_ = true;
    services_.inBackground.store(true);
}

void DuovexAppDelegate::applicationDidEnterBackground() {
    logLine("enter background");
    waveformAnimating_ = false;
    inBackground_ = true;
    services_.inBackground.store(true);
    saveSession(true);
    defaults_.synchronize();

    const bool playing = engine_ && engine_->initialized() &&
                         (engine_->deck(0).isPlaying.load() || engine_->deck(1).isPlaying.load());
    if (!partyMode() && !outputSuspended() && !playing && !BatchAnalize::batchAnalysisRunning()) {
        // Nothing to hear: end the process. The shell quits and destroys the delegate, which
        // closes the database; the next start is a fresh launch.
        logLine("nothing playing: ending the process");
        exitRequested_ = true;
        return;
    }
    if (!outputSuspended()) {
        // The music goes on; headset and media keys reach the mixing screen.
        receivingRemoteControl_ = true;
    }
}

void DuovexAppDelegate::applicationWillEnterForeground() {
    waveformAnimating_ = true;
    receivingRemoteControl_ = false;
    if (engine_) {
        engine_->StartSound();
    }
}

void DuovexAppDelegate::applicationDidBecomeActive() {
    logLine("become active");
    if (engine_) {
        waveformAnimating_ = true;
        if (resignSignature_ && *resignSignature_ != currentFolderSignature()) {
            // Files came or went while the application was inactive.
            setUpAudioSession();
            reconcile(kUserLocation);
        }
    }
    inBackground_ = false;
    services_.inBackground.store(false);
}

void DuovexAppDelegate::applicationWillTerminate() {
    logLine("will terminate");
    waveformAnimating_ = false;
    saveSession(false);
    if (engine_) {
        // Ends both decode threads and waits for them: each closes its file, saves the track's
        // memory and leaves its deck unloaded.
        engine_->closeDecoders();
    }
    defaults_.synchronize();
}

void DuovexAppDelegate::applicationDidReceiveMemoryWarning() {
    logLine("mem warning");
}

void DuovexAppDelegate::saveSession(bool background) {
    if (!engine_) {
        return;
    }
    for (int i = 0; i < AudioOut::kPadCount; ++i) {
        // Every pad plays at the shared pad volume (the render pass copies it into each pad's
        // level), so that is the level to remember; reading the level itself would race the
        // render thread.
        defaults_.setFloat(lastSampleKey(i) + "Volume", engine_->getSampleGain());
        defaults_.setString(lastSampleKey(i), engine_->pad(i).path);
    }
    defaults_.setBool(kLastSplit, lastSplit_);
    defaults_.setFloat(kLastVolume, engine_->getGain());
    defaults_.setBool(kLastZoomMode, lastZoomMode_);
    defaults_.setBool(kNormalizeVolume, normalizeVolume_);
    saveDecks();
    // The pads' shared volume survives every way the application ends: on the desktop a
    // normal quit is a termination, never a trip through the background.
    defaults_.setFloat(kSamplesVolume, engine_->getSampleGain());
    if (background) {
        defaults_.setBool(kSnapCueToBeat, snapCueToBeat_);
    }
}

void DuovexAppDelegate::saveDecks() {
    if (!engine_->initialized()) {
        return;
    }
    for (int d = 0; d < 2; ++d) {
        audioStream& deck = engine_->deck(d);
        if (!deck.isLoaded.load()) {
            continue;
        }
        std::filesystem::path file;
        file = deck.info() ? deck.info()->fileName : deck.trackFile();
        defaults_.setString(streamFileKey(d), file.string());
        defaults_.setInteger(streamCrateKey(d), deck.crateIndex.load());
    }
}

// ---- screens --------------------------------------------------------------------------------

void DuovexAppDelegate::showLoadFile(int deck) {
    sideToLoad_ = deck & 1;
    if (!loadFile_) {
        loadFile_ = std::make_unique<LoadFile>(engine_.get(), db_.get(), defaults_, loop_,
                                               [this] { loadFileDidHide(); });
        loadFile_->setImportHandler([this] { startImport(*loadFile_); });
        loadFile_->setImportDoneHandler([this] { importDidEnd(); });
        loadFile_->setMessageHandler([this](const std::string& message) { showMessage(message); });
    }
    loadFile_->setSideToLoad(sideToLoad_);
    loadFile_->viewWillAppear();
    loadFileShown_ = true;
}

std::optional<ScreenRect> DuovexAppDelegate::loadFileAnchor() const {
    if (!tablet_) {
        return std::nullopt;
    }
    return ScreenRect{sideToLoad_ == 0 ? 384.0 : 0.0, 0.0, 384.0, 64.0};
}

std::optional<ScreenRect> DuovexAppDelegate::settingsAnchor() const {
    if (!tablet_) {
        return std::nullopt;
    }
    return ScreenRect{320.0, 550.0, 290.0, 124.0};
}

std::string DuovexAppDelegate::splashImage() const {
    return tablet_ ? "Default-Portrait~ipad.png" : "Default.png";
}

std::string DuovexAppDelegate::mixingScreenLayout() const {
    return tablet_ ? "SampleTest-iPad" : "SampleTest";
}

std::string DuovexAppDelegate::mainMenuLayout() const {
    return tablet_ ? "MainMenu-iPad" : "MainMenu";
}

void DuovexAppDelegate::startImport(iTunesImporterDelegate& starter) {
    if (importer_ && importer_->importing()) {
        return;
    }
    importer_ =
        std::make_unique<iTunesImporter>(loop_, paths_.documents(), &defaults_, alerts_, &starter);
    importer_->showMediaPicker();
}

void DuovexAppDelegate::importDidEnd() {
    notifications_.post("importDone");
}

void DuovexAppDelegate::loadFileDidHide() {
    loadFileShown_ = false;
    playPendingAutoPlay();
    if (!testCnt_) {
        return;
    }
    testCnt_->setTouchesEnabled(true);
    refreshScreenSoon();
}

void DuovexAppDelegate::decoderFirstPass() {
    if (!loadFileShown_) {
        loadFileDidHide();
        return;
    }
    // A load the browser did not ask for (the other deck's crate continuation, party mode, the
    // start-up restore) while the user is choosing: the browser stays open and the mixing
    // screen's touches stay as the browser left them.
    playPendingAutoPlay();
    if (testCnt_) {
        refreshScreenSoon();
    }
}

void DuovexAppDelegate::playPendingAutoPlay() {
    if (needAutoPlay_) {
        needAutoPlay_ = false;
        playDeck(autoPlayIndex_);
    }
}

void DuovexAppDelegate::refreshScreenSoon() {
    namesTimer_.invalidate();
    slidersTimer_.invalidate();
    namesTimer_ = loop_.after(kUpdateNamesDelay, [this] { testCnt_->updateNames(); });
    slidersTimer_ = loop_.after(kUpdateSlidersDelay, [this] { testCnt_->updateSliders(); });
}

void DuovexAppDelegate::showMessage(const std::string& message) {
    if (alerts_) {
        alerts_->showAlert(kAlertTitle, message, kAlertButton);
    }
}

void DuovexAppDelegate::showMainMenu() {
    if (engine_ && !mainMenu_) {
        mainMenu_ = std::make_unique<MainMenu>(*engine_, db_.get(), defaults_, notifications_,
                                               loop_, paths_.documents(), *this);
    }
    mainMenuShown_ = true;
    redrawInterval_ = kMenuRedrawInterval;
    if (mainMenu_) {
        mainMenu_->viewWillAppear();
    }
}

void DuovexAppDelegate::mainMenuDidHide() {
    if (mainMenu_) {
        mainMenu_->viewDidDisappear();
    }
    mainMenuShown_ = false;
    helpShown_ = false;
    if (testCnt_) {
        testCnt_->setMenuOn(false);
        testCnt_->setTouchesEnabled(true);
    }
    redrawInterval_ = kRedrawInterval;
}

void DuovexAppDelegate::hideMenu() {
    mainMenuDidHide();
}

void DuovexAppDelegate::showSettings() {
    // The screen's controls start from the values in force now.
    settingsFlags_.normalizeVolume = normalizeVolume_;
    settingsFlags_.stopProofLock = defaults_.boolForKey(kStopProofLock, false);
    settingsFlags_.randomSong = defaults_.boolForKey(kRandonSong, false);
    settingsFlags_.hideBundled = defaults_.boolForKey(kHideBundled, false);
    settingsFlags_.snapCueToBeat = defaults_.boolForKey(kSnapCueToBeat, true);
    settingsFlags_.dontMarkEvenBeat = defaults_.boolForKey(kDontMarkEvenBeat, false);
    settingsFlags_.pitchStep = defaults_.doubleForKey(kPitchStep, 0.001);
    settingsFlags_.fadeCurve = int(defaults_.integerForKey(kFadeCurve, 1));
    settingsFlags_.dipCorrection = defaults_.floatForKey(kDipCorrection, 1.0f);
    settingsFlags_.xFadeTime = defaults_.doubleForKey(kXFadeTime, 4.5);
    settingsFlags_.songPartInAutoPlay = defaults_.floatForKey(kSongPartInAutoPlay, 0.5f);
    if (!settings_) {
        settings_ = std::make_unique<SettingsController>(defaults_, settingsFlags_, *this);
    }
    settings_->viewWillAppear();
    if (!audioOutput_) {
        audioOutput_ = std::make_unique<AudioOutputSettings>(defaults_, device_, engine_.get());
    }
    audioOutput_->viewWillAppear();
    settingsShown_ = true;
}

void DuovexAppDelegate::readSettings() {
    pitchStep_ = defaults_.doubleForKey(kPitchStep, 0.001);
    hideBundled_ = defaults_.boolForKey(kHideBundled, false);
    stopProofLock_ = defaults_.boolForKey(kStopProofLock, false);
    snapCueToBeat_ = defaults_.boolForKey(kSnapCueToBeat, true);
    dontMarkEvenBeat_ = defaults_.boolForKey(kDontMarkEvenBeat, false);
    songPartInAutoPlay_ = defaults_.floatForKey(kSongPartInAutoPlay, 0.5f);
    if (!(songPartInAutoPlay_ > 0.0f)) {
        songPartInAutoPlay_ = 0.5f;
        defaults_.setFloat(kSongPartInAutoPlay, songPartInAutoPlay_);
    }
}

void DuovexAppDelegate::settingChanged(const std::string& key) {
    readSettings();
    // Every control writes its key at once, the normalisation switch included.
    normalizeVolume_ = defaults_.boolForKey(kNormalizeVolume, true);
    dipCorrection_ = defaults_.floatForKey(kDipCorrection, 1.0f);
    if (loadFile_) {
        loadFile_->readSettings();
        if (loadFileShown_) {
            loadFile_->updateData(); // the open list shows or hides the built-in tracks now
        }
    }
    notifications_.postNow("settingChanged", key);
}

void DuovexAppDelegate::settingsDidHide() {
    settingsShown_ = false;
    if (testCnt_) {
        testCnt_->setTouchesEnabled(true);
    }
}

// ---- crate continuation -----------------------------------------------------------------

void DuovexAppDelegate::nextLoad(int deck) {
    deck &= 1;
    nextLoadTimer_[size_t(deck)].invalidate();
    nextLoadTimer_[size_t(deck)] =
        loop_.after(kNextLoadDelay, [this, deck] { continueCrate(deck); });
}

void DuovexAppDelegate::continueCrate(int d) {
    if (!engine_ || !engine_->initialized() || !db_) {
        return;
    }
    audioStream& deck = engine_->deck(d);
    std::shared_ptr<VXAudioFileInfo> current;
    current = deck.info();
    const int crate = deck.crateIndex.load();
    if (!current || crate < 0) {
        return;
    }
    const auto list = db_->getListForCrate(crate);
    if (!list || list->empty()) {
        return;
    }
    if (list->size() == 1) {
        playDeck(d);
        return;
    }
    // The entry after the current track; a track no longer in the crate continues with the
    // first entry.
    size_t next = 0;
    for (size_t i = 0; i < list->size(); ++i) {
        const VXAudioFileInfo& entry = *(*list)[i];
        if (entry.hash == current->hash && entry.fileGroup == current->fileGroup) {
            next = (i + 1) % list->size();
            break;
        }
    }
    const std::shared_ptr<VXAudioFileInfo>& candidate = (*list)[next];
    if (!candidate->peakFileExists()) {
        // Never analysed: the continuation stops after the current track.
        return;
    }
    needAutoPlay_ = true;
    autoPlayIndex_ = d;
    engine_->runDecode(d, candidate->fileName);
}

void DuovexAppDelegate::playDeck(int deck) {
    if (testCnt_) {
        testCnt_->play(deck);
    } else if (engine_ && engine_->initialized()) {
        deckPlay(engine_->deck(deck));
    }
}

} // namespace vx
