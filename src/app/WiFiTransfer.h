#pragma once
// WiFiTransfer: the application's side of the Wi-Fi file transfer — the file-resource delegate.
//
// While the user keeps the "Server started" alert open, a browser on the local network lists,
// downloads, uploads and deletes the files of the documents folder (HTTPServer does the HTTP
// and keeps hostile requests out). This class starts and stops that server, shows the alerts,
// announces the service by DNS service discovery, keeps `fileList` (what the browser sees) and
// carries out uploads and deletions so that the track database stays in step with the folder:
// an uploaded MP3 or M4A becomes a track (location 0) at once; a deleted one loses its row, its
// crate memberships and its peak file. Files in use — the mix being recorded, a track on a deck
// or under analysis — are not deleted (the busy check says which).
//
// Threads: everything public runs on the main thread. The HTTP worker threads reach this class
// only through the FileResourceDelegate operations, each of which hands its work to the main
// thread with RunLoop::invokeAndWait and waits, so the folder, `fileList` and the database are
// only ever changed from the main thread, one operation at a time.
//
// Owns the server (made on first use, reused afterwards) and the announcement; borrows the run
// loop, the notification centre and the alert presenter, which must outlive it.

#include "app/HTTPServer.h"
#include "platform/Paths.h"
#include "platform/ServiceDiscovery.h"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace vx {

class Alerts;
class DBController;
class NotificationCenter;
class RunLoop;

// The screen that started the service; told when it stops (and reloads its list then).
class ServerCaller {
public:
    virtual ~ServerCaller() = default;
    // Main thread.
    virtual void serverStoped() = 0;
};

struct WiFiTransferOptions {
    int port = 8080;                             // 0: any free port
    std::string bindAddress = "0.0.0.0";         // listen here
    uint64_t maxUploadBytes = uint64_t(4) << 30; // largest upload taken
    bool accessCode = false;                     // ask for a code the address carries
};

class WiFiTransfer final {
public:
    static constexpr int kPort = 8080;
    static constexpr const char* kServiceType = "_http._tcp.";
    static constexpr const char* kServiceDomain = "local.";
    static constexpr const char* kServiceName = "VelvoxNexa";
    // Tag of the alerts whose button stops the server.
    static constexpr int kServerAlertTag = 100;
    // User-defaults key of the access-code setting (off at first start).
    static constexpr const char* kAccessCodeKey = "kTransferAccessCode";

    // Why the file `name` of the documents folder may not be deleted now, or nothing.
    using BusyCheck = std::function<std::optional<std::string>(const std::string& name)>;

    // Main thread. `db` and `alerts` may be null (no tracks registered / alerts only logged).
    WiFiTransfer(Paths paths, RunLoop& loop, NotificationCenter& notifications,
                 std::shared_ptr<DBController> db, Alerts* alerts);
    // Main thread: stops the server if it runs.
    ~WiFiTransfer();
    WiFiTransfer(const WiFiTransfer&) = delete;
    WiFiTransfer& operator=(const WiFiTransfer&) = delete;

    // Main thread: the options the next start uses.
    void setOptions(WiFiTransferOptions options) { options_ = std::move(options); }
    const WiFiTransferOptions& options() const { return options_; }
    void setBusyCheck(BusyCheck check) { busyCheck_ = std::move(check); }

    // --- the delegate's operations (main thread) ---------------------------------------------
    // Makes the server on first use, remembers the caller, starts it and shows the outcome:
    // "Server error" (tag 100), "Error!" without a network (the server stops again), or
    // "Server started" with the address and the button "Stop" (tag 100).
    void startServerAction(ServerCaller* caller);
    // Rebuilds fileList and starts listening; the error's description on failure (also logged
    // as "Error starting HTTP Server: …"), nothing on success (urlString is then set).
    std::optional<std::string> startServer();
    // Tells the caller serverStoped and stops the server (requests in flight finish first).
    void stopServer();
    // The button of the alert shown last was pressed: a tag-100 alert stops the server.
    void alertButtonPressed();
    size_t numberOfFiles() const { return fileList_.size(); }
    const std::string& fileNameAtIndex(size_t index) const { return fileList_.at(index); }
    std::filesystem::path filePathForFileName(const std::string& name) const;
    // Moves the stored upload into the documents folder under `name` (never replacing a file),
    // registers an MP3/M4A as a track, rebuilds fileList. The temporary file never stays.
    TransferResult newFileDidUpload(const std::string& name,
                                    const std::filesystem::path& temporaryPath);
    // Deletes `name` (unless it is in use), with its track row, crate memberships and peak file.
    TransferResult fileShouldDelete(const std::string& name);

    // --- state (main thread) -----------------------------------------------------------------
    // Regular files directly in the documents folder, without hidden files and database files,
    // sorted by extension and then by name without extension.
    const std::vector<std::string>& fileList() const { return fileList_; }
    void rebuildFileList();
    // "http://<address>:<port>" (with "/?code=…" when a code is asked); empty while stopped.
    const std::string& urlString() const { return urlString_; }
    // The address shown: urlString and, when announced, the "http://host.local:port" form.
    std::string addressText() const;
    // The access code of this run (empty without one).
    const std::string& accessCode() const { return accessCode_; }
    bool isListening() const { return server_ && server_->isRunning(); }
    int port() const { return server_ ? server_->port() : 0; }
    // Tag of the alert shown last and not yet answered (0: none).
    int alertTag() const { return alertTag_; }
    HTTPServer* server() const { return server_.get(); }

    // Any thread: the host's IPv4 address on its first up, non-loopback interface ("" if none).
    static std::string firstInterfaceAddress();

private:
    // The server's delegate: runs on the HTTP worker threads and hands every operation to the
    // main thread.
    class Bridge;

    void makeServer();
    void showAlert(const std::string& title, const std::string& message, const std::string& button,
                   int tag);

    const Paths paths_;
    RunLoop& loop_;
    NotificationCenter& notifications_;
    std::shared_ptr<DBController> db_;
    Alerts* alerts_;
    WiFiTransferOptions options_;
    BusyCheck busyCheck_;
    std::unique_ptr<HTTPServer> server_;
    ServiceDiscovery discovery_;
    ServerCaller* caller_ = nullptr;
    std::vector<std::string> fileList_;
    std::string urlString_;
    std::string hostName_;
    std::string accessCode_;
    int alertTag_ = 0;
    // Shared with the answers of the alerts still open: they do nothing once this object is gone.
    std::shared_ptr<WiFiTransfer*> self_ = std::make_shared<WiFiTransfer*>(this);
    std::unique_ptr<Bridge> bridge_;
};

} // namespace vx
