#include "app/WiFiTransfer.h"

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>

#include <algorithm>
#include <random>
#include <system_error>

#include "analysis/peakFileData.h"
#include "library/DBController.h"
#include "library/TrackHash.h"
#include "library/TrackLocation.h"
#include "library/VXAudioFileInfo.h"
#include "platform/Alerts.h"
#include "platform/Log.h"
#include "platform/NotificationCenter.h"
#include "platform/RunLoop.h"
#include "platform/SafeFiles.h"

namespace vx {

namespace fs = std::filesystem;

namespace {

std::string lowerExtension(const fs::path& path) {
    std::string ext = path.extension().string();
    std::transform(ext.begin(), ext.end(), ext.begin(),
                   [](unsigned char c) { return char(std::tolower(c)); });
    return ext;
}

bool isTrackName(const std::string& name) {
    const std::string ext = lowerExtension(name);
    return ext == ".mp3" || ext == ".m4a";
}

bool isWildcardAddress(const std::string& address) {
    return address.empty() || address == "0.0.0.0" || address == "::";
}

} // namespace

class WiFiTransfer::Bridge final : public FileResourceDelegate {
public:
    explicit Bridge(WiFiTransfer& owner) : owner_(owner) {}

    std::optional<std::vector<std::string>> fileNames() override {
        std::optional<std::vector<std::string>> names;
        owner_.loop_.invokeAndWait([&] { names = owner_.fileList_; });
        return names;
    }
    std::optional<fs::path> filePathForFileName(const std::string& name) override {
        std::optional<fs::path> path;
        owner_.loop_.invokeAndWait([&] { path = owner_.filePathForFileName(name); });
        return path;
    }
    TransferResult newFileDidUpload(const std::string& name,
                                    const fs::path& temporaryPath) override {
        TransferResult result = TransferResult::Unavailable;
        owner_.loop_.invokeAndWait([&] { result = owner_.newFileDidUpload(name, temporaryPath); });
        return result;
    }
    TransferResult fileShouldDelete(const std::string& name) override {
        TransferResult result = TransferResult::Unavailable;
        owner_.loop_.invokeAndWait([&] { result = owner_.fileShouldDelete(name); });
        return result;
    }
    void uploadingStarted(const std::string& name) override {
        owner_.notifications_.post("UploadingStarted", name);
    }

private:
    WiFiTransfer& owner_;
};

WiFiTransfer::WiFiTransfer(Paths paths, RunLoop& loop, NotificationCenter& notifications,
                           std::shared_ptr<DBController> db, Alerts* alerts)
    : paths_(std::move(paths)), loop_(loop), notifications_(notifications), db_(std::move(db)),
      alerts_(alerts), bridge_(std::make_unique<Bridge>(*this)) {}

WiFiTransfer::~WiFiTransfer() {
    if (server_) {
        server_->setDelegate(nullptr);
        server_->stop([this] { loop_.runPosted(); });
    }
}

std::string WiFiTransfer::firstInterfaceAddress() {
    ifaddrs* list = nullptr;
    if (::getifaddrs(&list) != 0) {
        return {};
    }
    std::string address;
    for (const ifaddrs* entry = list; entry; entry = entry->ifa_next) {
        if (!entry->ifa_addr || entry->ifa_addr->sa_family != AF_INET ||
            !(entry->ifa_flags & IFF_UP) || (entry->ifa_flags & IFF_LOOPBACK)) {
            continue;
        }
        char text[INET_ADDRSTRLEN] = {};
        const auto* in = reinterpret_cast<const sockaddr_in*>(entry->ifa_addr);
        if (::inet_ntop(AF_INET, &in->sin_addr, text, sizeof text)) {
            address = text;
            break;
        }
    }
    ::freeifaddrs(list);
    return address;
}

void WiFiTransfer::makeServer() {
    // The page is served from "<temporary>/docroot", a link to the resources' page, as the
    // handheld application did; a folder that cannot be linked serves the resources directly.
    const fs::path link = paths_.temporary() / "docroot";
    std::error_code ec;
    fs::create_directories(paths_.temporary(), ec);
    if (fs::symlink_status(link, ec).type() != fs::file_type::not_found) {
        fs::remove(link, ec);
        if (ec) {
            logLine("Can not remove old docroot: %s", ec.message().c_str());
        }
    }
    fs::create_directory_symlink(paths_.docroot(), link, ec);
    HTTPServerSettings settings;
    settings.documents = paths_.documents();
    settings.docroot = ec ? paths_.docroot() : link;
    server_ = std::make_unique<HTTPServer>(settings);
    server_->setDelegate(bridge_.get());
}

void WiFiTransfer::showAlert(const std::string& title, const std::string& message,
                             const std::string& button, int tag) {
    alertTag_ = tag;
    if (alerts_) {
        // The button's press reaches alertButtonPressed (a tag-100 alert stops the server). No
        // button is the cancel one: a presenter that cannot ask leaves the server running until
        // it is stopped another way.
        AlertRequest request;
        request.title = title;
        request.message = message;
        request.buttons = {button};
        request.cancelButton = -1;
        request.tag = tag;
        request.answer = [self = std::weak_ptr<WiFiTransfer*>(self_)](int pressed, int,
                                                                      const std::string&) {
            if (const auto alive = self.lock(); alive && pressed >= 0) {
                (*alive)->alertButtonPressed();
            }
        };
        alerts_->ask(std::move(request));
    } else {
        logLine("%s: %s", title.c_str(), message.c_str());
    }
}

void WiFiTransfer::startServerAction(ServerCaller* caller) {
    if (!server_) {
        makeServer();
    }
    caller_ = caller;
    rebuildFileList();
    if (const auto error = startServer()) {
        showAlert("Server error", *error, "OK", kServerAlertTag);
        return;
    }
    if (hostName_.empty()) {
        showAlert("Error!", "You have to be connected to Wi-Fi network.", "Return", 0);
        stopServer();
        return;
    }
    showAlert("Server started", addressText(), "Stop", kServerAlertTag);
}

std::optional<std::string> WiFiTransfer::startServer() {
    if (!server_) {
        makeServer();
    }
    rebuildFileList();
    if (server_->isRunning()) {
        return std::nullopt;
    }
    HTTPServerSettings settings = server_->settings();
    settings.port = options_.port;
    settings.bindAddress = options_.bindAddress;
    settings.maxUploadBytes = options_.maxUploadBytes;
    accessCode_.clear();
    if (options_.accessCode) {
        std::random_device random;
        accessCode_ = std::to_string(100000 + random() % 900000);
    }
    settings.accessCode = accessCode_;
    server_->setSettings(settings);
    std::string error;
    if (!server_->start(&error)) {
        logLine("Error starting HTTP Server: %s", error.c_str());
        urlString_.clear();
        hostName_.clear();
        return error;
    }
    // The address a browser reaches: the one listened on, or with every address the host's
    // first network interface. None means no network: the caller says so and stops.
    hostName_ =
        isWildcardAddress(options_.bindAddress) ? firstInterfaceAddress() : options_.bindAddress;
    const int port = server_->port();
    const std::string code = accessCode_.empty() ? "" : "/?code=" + accessCode_;
    urlString_ = hostName_.empty() ? "" : "http://" + hostName_ + ":" + std::to_string(port) + code;
    if (!hostName_.empty() && isWildcardAddress(options_.bindAddress)) {
        discovery_.publish(kServiceName, kServiceType, kServiceDomain, port);
    } else if (!hostName_.empty()) {
        logLine("WiFiTransfer: listening on %s only; the service is not announced",
                hostName_.c_str());
    }
    logLine("Started HTTP Server on port %d", port);
    return std::nullopt;
}

std::string WiFiTransfer::addressText() const {
    std::string text = urlString_;
    const std::string host = discovery_.hostName();
    if (!host.empty() && server_) {
        text += "\nhttp://" + host + ":" + std::to_string(server_->port()) +
                (accessCode_.empty() ? "" : "/?code=" + accessCode_);
    }
    return text;
}

void WiFiTransfer::stopServer() {
    alertTag_ = 0;
    if (caller_) {
        caller_->serverStoped();
    }
    discovery_.withdraw();
    if (server_) {
        // Requests in flight may be waiting for this thread: let them run while waiting.
        server_->stop([this] { loop_.runPosted(); });
    }
    urlString_.clear();
}

void WiFiTransfer::alertButtonPressed() {
    if (alertTag_ == kServerAlertTag) {
        stopServer();
    }
    alertTag_ = 0;
}

void WiFiTransfer::rebuildFileList() {
    struct Entry {
        std::string ext, stem, name;
    };
    std::vector<Entry> entries;
    std::error_code ec;
    for (fs::directory_iterator it(paths_.documents(), ec), end; !ec && it != end;
         it.increment(ec)) {
        // Plain files only: no folders, no links (which could point outside the folder).
        if (it->symlink_status(ec).type() != fs::file_type::regular) {
            continue;
        }
        const fs::path path = it->path().filename();
        const std::string name = path.string();
        if (name.front() == '.' || lowerExtension(path) == ".sqlite" ||
            checkFileName(name) == FileNameCheck::Database) {
            continue;
        }
        entries.push_back({path.extension().string(), path.stem().string(), name});
    }
    std::sort(entries.begin(), entries.end(), [](const Entry& a, const Entry& b) {
        return a.ext != b.ext ? a.ext < b.ext : a.stem < b.stem;
    });
    fileList_.clear();
    for (Entry& e : entries) {
        fileList_.push_back(std::move(e.name));
    }
}

fs::path WiFiTransfer::filePathForFileName(const std::string& name) const {
    return paths_.documents() / name;
}

TransferResult WiFiTransfer::newFileDidUpload(const std::string& name,
                                              const fs::path& temporaryPath) {
    if (name.empty() || temporaryPath.empty()) {
        return TransferResult::BadName;
    }
    const fs::path target = filePathForFileName(name);
    const SafeMoveResult moved = safeMoveIntoFolder(temporaryPath, paths_.documents(), name);
    if (moved != SafeMoveResult::Moved) {
        const char* why = moved == SafeMoveResult::Exists          ? "the file exists"
                          : moved == SafeMoveResult::BadName       ? "the name is not usable"
                          : moved == SafeMoveResult::SourceMissing ? "the upload is missing"
                                                                   : "the move failed";
        logLine("can not move %s to %s because: %s", temporaryPath.c_str(), target.c_str(), why);
        std::error_code ec;
        fs::remove(temporaryPath, ec);
        return moved == SafeMoveResult::Exists    ? TransferResult::Exists
               : moved == SafeMoveResult::BadName ? TransferResult::BadName
                                                  : TransferResult::Failed;
    }
    if (isTrackName(name) && db_) {
        const auto info = VXAudioFileInfo::initWithFile(target, paths_);
        db_->addFileToDB(*info, 0);
    }
    rebuildFileList();
    return TransferResult::Done;
}

TransferResult WiFiTransfer::fileShouldDelete(const std::string& name) {
    if (!isSafeFileName(name)) {
        return TransferResult::BadName;
    }
    if (busyCheck_) {
        if (const auto why = busyCheck_(name)) {
            logLine("%s can not be removed because:%s", name.c_str(), why->c_str());
            return TransferResult::Busy;
        }
    }
    const fs::path path = filePathForFileName(name);
    std::error_code ec;
    // Only plain files of the folder: a folder of that name is not the browser's to remove.
    const fs::file_type type = fs::symlink_status(path, ec).type();
    if (type != fs::file_type::regular && type != fs::file_type::symlink) {
        logLine("%s can not be removed because:%s", name.c_str(), "there is no such file");
        return TransferResult::NotFound;
    }
    const fs::path peaks = peakFilePath(path); // named while the track is still there
    if (!fs::remove(path, ec) || ec) {
        logLine("%s can not be removed because:%s", name.c_str(),
                ec ? ec.message().c_str() : "it is gone");
        return TransferResult::Failed;
    }
    if (isTrackName(name)) {
        if (db_) {
            db_->removeFileFromDB(trackHash(name), kUserLocation);
        }
        fs::remove(peaks, ec);
    }
    rebuildFileList();
    return TransferResult::Done;
}

} // namespace vx
