// The delegate's part in the crate manager and the playlist editor: it makes their
// controllers on first use and gives them what they ask of the application (the import, the
// Wi-Fi transfer, which files are in use, closing).

#include "app/DuovexAppDelegate.h"

#include "platform/Log.h"

namespace vx {

namespace {

CrateScreenHooks hooksFor(DuovexAppDelegate& app, std::function<void()> didHide) {
    CrateScreenHooks hooks;
    hooks.startImport = [&app](iTunesImporterDelegate& starter) { app.startImport(starter); };
    hooks.startServer = [&app](ServerCaller* caller) { app.startServerAction(caller); };
    hooks.fileInUse = [&app](const std::string& name) { return app.fileInUse(name); };
    hooks.didHide = std::move(didHide);
    hooks.tablet = app.isTablet();
    return hooks;
}

} // namespace

CrateManager* DuovexAppDelegate::showCrateManager() {
    if (!db_) {
        logLine("crate manager not available");
        return nullptr;
    }
    if (!crateManager_) {
        crateManager_ = std::make_unique<CrateManager>(
            *db_, defaults_, notifications_, loop_, preview_, alerts_,
            hooksFor(*this, [this] { crateManagerDidHide(); }));
    }
    crateManager_->viewWillAppear();
    crateManagerShown_ = true;
    return crateManager_.get();
}

void DuovexAppDelegate::crateManagerDidHide() {
    crateManagerShown_ = false;
    if (mainMenu_) {
        mainMenu_->updateLables();
    }
}

PlaylistManager* DuovexAppDelegate::showPlaylistManager() {
    if (!db_) {
        logLine("playlist editor not available");
        return nullptr;
    }
    if (!playlistManager_) {
        playlistManager_ = std::make_unique<PlaylistManager>(
            *db_, defaults_, hooksFor(*this, [this] { playlistManagerDidHide(); }));
    }
    playlistManager_->viewWillAppear();
    playlistManagerShown_ = true;
    return playlistManager_.get();
}

void DuovexAppDelegate::playlistManagerDidHide() {
    playlistManagerShown_ = false;
    if (mainMenu_) {
        mainMenu_->updateLables();
    }
}

} // namespace vx
