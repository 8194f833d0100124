#pragma once
// HTTPServer: the web server of the Wi-Fi transfer, and the file resource under "/files".
//
// A browser on the local network lists, downloads, uploads and deletes the files of the
// documents folder through four requests on "/files" (the page in the document root makes
// them); every other GET is answered from the document root. This is the only part of the
// system that takes input from other machines, so every request passes these gates before it
// reaches a file:
// - the client's address must be on the local network (loopback, private or link-local), and
//   the request must name this host (an address, "localhost", a ".local" name or the host's
//   own name), so a site whose name is rebound to this address is not taken for this server;
// - with an access code set, the request carries it (the "code" query parameter once, then
//   the cookie that answer sets);
// - a POST whose Origin or Referer names another site is refused (a page elsewhere must not
//   make the user's browser delete files here);
// - every file name is percent-decoded exactly once and must pass checkFileName: one plain
//   name directly in the documents folder, not hidden, never a database file. Downloads open the
//   file without following a symbolic link.
// Uploads are streamed, part by part, into hidden temporary files in the folder
// "<documents>/.vxupload" (the same file system, so the move into place never copies), capped
// at the free space less a margin and at a configured maximum. A body announced larger than
// that is refused with 413 before a byte of it is written; one that grows past it, is cut off
// or is abandoned when the server stops leaves no file behind. Each connection serves one
// request, so an unread body can never be taken for a next request.
//
// What happens to the files is the delegate's work (the application's transfer service): it
// is called on the HTTP worker threads and hands each operation to the main thread. Without a
// delegate the list and downloads answer 404, deletions and uploads 503.
//
// Threads: start, stop and setDelegate from one owner thread (the main thread); the handlers
// run on cpp-httplib's worker threads. stop() waits for the requests in flight, pumping the
// owner's run loop meanwhile through the given callback, since those requests may be waiting
// for the owner thread.

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace httplib {
class Server;
struct Request;
struct Response;
class ContentReader;
} // namespace httplib

namespace vx {

// What became of a file operation the delegate carried out.
enum class TransferResult {
    Done,        // stored / deleted
    BadName,     // the name is not one usable file name
    NotFound,    // no such file
    Exists,      // a file of that name exists; nothing was replaced
    Busy,        // the file is in use (recording, loaded on a deck, under analysis)
    Failed,      // an I/O step failed; nothing changed
    Unavailable, // the application is shutting down
};

// The application's side of the file resource. Every call comes from an HTTP worker thread.
class FileResourceDelegate {
public:
    virtual ~FileResourceDelegate() = default;
    // The names of the list, in order; nothing when the application cannot answer.
    virtual std::optional<std::vector<std::string>> fileNames() = 0;
    // The full path of the file `name` (already checked with checkFileName).
    virtual std::optional<std::filesystem::path> filePathForFileName(const std::string& name) = 0;
    // A file part named `name` has been stored completely at `temporaryPath`; the delegate
    // moves it into place (or removes it).
    virtual TransferResult newFileDidUpload(const std::string& name,
                                            const std::filesystem::path& temporaryPath) = 0;
    // The browser asks to delete `name`.
    virtual TransferResult fileShouldDelete(const std::string& name) = 0;
    // The upload of a part named `name` begins.
    virtual void uploadingStarted(const std::string& name) = 0;
};

struct HTTPServerSettings {
    std::string bindAddress = "0.0.0.0";           // the address to listen on
    int port = 8080;                               // 0: any free port (see HTTPServer::port)
    std::filesystem::path documents;               // the folder "/files" serves
    std::filesystem::path docroot;                 // the static page
    uint64_t maxUploadBytes = uint64_t(4) << 30;   // largest request body taken
    uint64_t freeSpaceMargin = uint64_t(64) << 20; // free space an upload must leave
    std::string accessCode;                        // empty: no code asked
};

class HTTPServer {
public:
    // The hidden folder inside the documents folder that holds uploads while they arrive.
    static constexpr std::string_view kUploadFolder = ".vxupload";
    // The cookie that carries the access code after the first request.
    static constexpr std::string_view kCodeCookie = "vxcode";

    explicit HTTPServer(HTTPServerSettings settings);
    // Stops the server (without a pump: no request may be waiting for the owner thread).
    ~HTTPServer();
    HTTPServer(const HTTPServer&) = delete;
    HTTPServer& operator=(const HTTPServer&) = delete;

    // Owner thread: the settings the next start uses.
    void setSettings(HTTPServerSettings settings) { settings_ = std::move(settings); }
    const HTTPServerSettings& settings() const { return settings_; }
    // Any thread: the delegate requests go to (null: none).
    void setDelegate(FileResourceDelegate* delegate) { delegate_.store(delegate); }

    // Owner thread: binds and starts listening on a thread of its own. False with `*error`
    // (the system's reason) when the address cannot be bound. Leftovers of uploads cut off in
    // an earlier run are removed first.
    bool start(std::string* error);
    // Owner thread: stops listening, abandons the uploads in flight and waits for every request
    // to end, calling `whileWaiting` (if given) every few milliseconds meanwhile.
    void stop(const std::function<void()>& whileWaiting = {});
    // Any thread: true between a successful start and stop.
    bool isRunning() const { return running_.load(); }
    // Any thread: the port listened on (the chosen one when settings asked for 0); 0 when
    // stopped.
    int port() const { return port_.load(); }
    // Any thread: the largest upload body taken now (the configured maximum, or the free space
    // less the margin if that is smaller), in bytes.
    uint64_t uploadLimit() const;

    // Any thread: the list's text for `names` ("[{'name':'a.mp3', 'id':0}]", "[]" when empty).
    // Inside a name "'" and "\" are escaped with a backslash, and control characters as "\n",
    // "\r", "\t" or "\u00XX".
    static std::string listText(const std::vector<std::string>& names);
    // Any thread: whether `address` (IPv4 or IPv6 text) is loopback, private or link-local.
    static bool isLocalClient(const std::string& address);
    // Any thread: strict percent-decoding; nothing for a bad escape.
    static std::optional<std::string> percentDecode(std::string_view text, bool plusIsSpace);

private:
    struct Upload;

    void configure(httplib::Server& server);
    // Why the request is refused before anything else (status and text), or nothing.
    std::optional<std::pair<int, std::string>> refusal(const httplib::Request& req) const;
    void handleGet(const httplib::Request& req, httplib::Response& res);
    void handlePost(const httplib::Request& req, httplib::Response& res,
                    const httplib::ContentReader& reader);
    void serveFile(const std::filesystem::path& path, bool download, httplib::Response& res);
    void serveDocroot(std::string_view rawPath, httplib::Response& res);
    void answerResult(TransferResult result, const std::string& name, httplib::Response& res);

    HTTPServerSettings settings_;
    std::atomic<FileResourceDelegate*> delegate_{nullptr};
    std::unique_ptr<httplib::Server> server_;
    std::thread thread_;
    std::atomic<bool> running_{false};
    std::atomic<bool> stopping_{false};
    std::atomic<bool> listenerDone_{true};
    std::atomic<int> port_{0};
};

} // namespace vx
