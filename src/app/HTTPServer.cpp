#include "app/HTTPServer.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <httplib.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <map>

#include "platform/Log.h"
#include "platform/SafeFiles.h"

#if defined(VX_TSAN_BUILD)
// cpp-httplib comes from the system, built without ThreadSanitizer. Its function-local statics
// (the regular expressions of its parsers) are published by code TSan cannot see, so the first
// worker's construction and a second worker's read look like a race in the memcpy/memcmp calls
// the library makes. Only calls made from that library's own code are ignored; everything our
// handlers do stays checked. PulseAudio's client libraries (behind ALSA's default device, which
// the sound-card path opens) are in the same position: their mutexes are made and taken in code
// TSan cannot see. Both live here, in an object velvox-cli always links (the program whose
// sound-card path the tests run).
extern "C" const char* __tsan_default_suppressions() {
    return "called_from_lib:libcpp-httplib.so\n"
           "called_from_lib:libpulse.so\n"
           "called_from_lib:libpulsecommon\n";
}
#endif

namespace vx {

namespace fs = std::filesystem;

namespace {

constexpr size_t kFormFieldLimit = 64 * 1024; // a urlencoded form, or one plain multipart field
constexpr size_t kChunk = 64 * 1024;          // download and upload write size

char lower(char c) {
    return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c;
}

bool equalsNoCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(),
                                              [](char x, char y) { return lower(x) == lower(y); });
}

// The request target split the way the file resource sees it.
struct Target {
    std::string_view path;           // raw, without the query
    bool files = false;              // the first component, up to its first '.', is "files"
    bool hasName = false;            // something follows "/files/"
    std::optional<std::string> name; // the decoded name (nothing: a bad escape)
};

Target splitTarget(std::string_view target) {
    Target t;
    t.path = target.substr(0, target.find('?'));
    std::string_view rest = t.path;
    if (!rest.empty() && rest.front() == '/') {
        rest.remove_prefix(1);
    }
    const size_t slash = rest.find('/');
    const std::string_view first = rest.substr(0, slash);
    t.files = equalsNoCase(first.substr(0, first.find('.')), "files");
    if (t.files && slash != std::string_view::npos && slash + 1 < rest.size()) {
        t.hasName = true;
        t.name = HTTPServer::percentDecode(rest.substr(slash + 1), false);
    }
    return t;
}

std::map<std::string, std::string> parseForm(std::string_view body) {
    std::map<std::string, std::string> fields;
    while (!body.empty()) {
        const size_t amp = body.find('&');
        const std::string_view pair = body.substr(0, amp);
        const size_t eq = pair.find('=');
        const auto key = HTTPServer::percentDecode(pair.substr(0, eq), true);
        const auto value = HTTPServer::percentDecode(
            eq == std::string_view::npos ? std::string_view() : pair.substr(eq + 1), true);
        if (key && value) {
            fields.emplace(*key, *value);
        }
        body = amp == std::string_view::npos ? std::string_view() : body.substr(amp + 1);
    }
    return fields;
}

// "scheme://authority/..." → authority, lower-cased; nothing when it is not that shape.
std::optional<std::string> authorityOf(const std::string& url) {
    const size_t scheme = url.find("://");
    if (scheme == std::string::npos) {
        return std::nullopt;
    }
    const size_t start = scheme + 3;
    std::string authority = url.substr(start, url.find_first_of("/?#", start) - start);
    std::transform(authority.begin(), authority.end(), authority.begin(), lower);
    return authority;
}

// Whether the Host header names this machine on the local network: an address literal,
// "localhost", a multicast DNS name ("….local") or the machine's own name (a port may follow).
bool isLocalHostName(std::string host) {
    std::transform(host.begin(), host.end(), host.begin(), lower);
    if (!host.empty() && host.front() == '[') { // "[v6 address]:port"
        const size_t close = host.find(']');
        if (close == std::string::npos) {
            return false;
        }
        in6_addr v6{};
        return ::inet_pton(AF_INET6, host.substr(1, close - 1).c_str(), &v6) == 1;
    }
    host = host.substr(0, host.find(':'));
    in_addr v4{};
    if (::inet_pton(AF_INET, host.c_str(), &v4) == 1 || host == "localhost") {
        return true;
    }
    if (host.size() > 6 && host.compare(host.size() - 6, 6, ".local") == 0) {
        return true;
    }
    char own[256] = {};
    if (::gethostname(own, sizeof own - 1) == 0 && own[0] != '\0') {
        std::string name = own;
        std::transform(name.begin(), name.end(), name.begin(), lower);
        return host == name;
    }
    return false;
}

void setText(httplib::Response& res, int status, const std::string& text) {
    res.status = status;
    res.set_content(text, "text/plain; charset=utf-8");
}

std::string contentTypeFor(const fs::path& path) {
    static const std::map<std::string, std::string> types = {
        {".html", "text/html; charset=utf-8"},
        {".js", "text/javascript; charset=utf-8"},
        {".css", "text/css; charset=utf-8"},
        {".svg", "image/svg+xml"},
        {".png", "image/png"},
        {".ico", "image/x-icon"},
        {".txt", "text/plain; charset=utf-8"},
    };
    const auto it = types.find(path.extension().string());
    return it == types.end() ? "application/octet-stream" : it->second;
}

// Percent-encodes everything but unreserved characters (RFC 5987 for filename*).
std::string encodeForHeader(std::string_view text) {
    static const char* hex = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : text) {
        if (std::isalnum(c) || c == '-' || c == '.' || c == '_' || c == '~') {
            out += char(c);
        } else {
            out += '%';
            out += hex[c >> 4];
            out += hex[c & 15];
        }
    }
    return out;
}

// cpp-httplib listens with a backlog of 5: a browser opening a few connections at once while
// others upload overflows it, and the system then drops connections. Once bound, the listening
// socket gets a longer queue (listen() on a listening socket only changes its backlog).
class Listener final : public httplib::Server {
public:
    void widenBacklog(int backlog) { ::listen(svr_sock_.load(), backlog); }
};
constexpr int kBacklog = 128;

// A name the browser may use: one safe file name that is not hidden (hidden files, the upload
// folder among them, are not in the list and not the browser's to touch).
bool usableName(const std::optional<std::string>& name) {
    return name && isSafeFileName(*name) && name->front() != '.';
}

// 404 for a database file (as if it were not there), 400 for any other unusable name.
int refusedNameStatus(const std::optional<std::string>& name) {
    return name && checkFileName(*name) == FileNameCheck::Database ? 404 : 400;
}

} // namespace

// One multipart upload request in progress: the part being received and what became of the
// parts before it. Lives on the worker thread that reads the request.
struct HTTPServer::Upload {
    HTTPServer& server;
    FileResourceDelegate& delegate;
    uint64_t limit;
    uint64_t received = 0;
    int status = 0; // first refusal (HTTP status); 0 while all is well
    std::string message;
    std::string lastName;
    TransferResult lastResult = TransferResult::Done;
    bool sawResult = false;
    std::map<std::string, std::string> fields;
    // The part being read.
    std::string fieldName;
    std::string fileName;
    bool isFile = false;
    bool skip = false;
    int fd = -1;
    fs::path temporary;

    Upload(HTTPServer& s, FileResourceDelegate& d, uint64_t l) : server(s), delegate(d), limit(l) {}
    ~Upload() { abandon(); }

    void refuse(int code, std::string text) {
        if (status == 0) {
            status = code;
            message = std::move(text);
        }
    }

    bool deleting() const {
        const auto it = fields.find("_method");
        return it != fields.end() && equalsNoCase(it->second, "delete");
    }

    // Drops the part being written, leaving nothing behind.
    void abandon() {
        if (fd >= 0) {
            ::close(fd);
            fd = -1;
            std::error_code ec;
            fs::remove(temporary, ec);
        }
    }

    // The part being read ended whole: a file part goes to the delegate.
    bool finishPart() {
        if (fd < 0) {
            return true;
        }
        const bool flushed = ::fsync(fd) == 0;
        const bool closed = ::close(fd) == 0;
        fd = -1;
        if (!flushed || !closed) {
            std::error_code ec;
            fs::remove(temporary, ec);
            refuse(500, "Could not store " + fileName + ": " + std::strerror(errno));
            return false;
        }
        const TransferResult result = delegate.newFileDidUpload(fileName, temporary);
        // Moved: the name is free again and may already be another upload's. Otherwise the
        // delegate removed the file, or never ran (shutting down): make sure it is gone.
        if (result != TransferResult::Done) {
            std::error_code ec;
            fs::remove(temporary, ec);
        }
        if (!sawResult || result != TransferResult::Done) {
            lastName = fileName;
            lastResult = result;
            sawResult = true;
        }
        return result != TransferResult::Unavailable;
    }

    bool beginPart(const httplib::MultipartFormData& part) {
        if (!finishPart()) {
            return false;
        }
        fieldName = part.name;
        fileName = part.filename;
        isFile = !part.filename.empty();
        skip = false;
        if (!isFile) {
            fields[fieldName].clear();
            return true;
        }
        // Only the "newfile" field uploads, and not in a request that deletes.
        if (fieldName != "newfile" || deleting()) {
            skip = true;
            return true;
        }
        if (!usableName(fileName)) {
            refuse(400, "Refused: \"" + fileName + "\" is not a usable file name.");
            return false;
        }
        const fs::path folder = server.settings_.documents / kUploadFolder;
        std::string pattern = (folder / "XXXXXXXXXX").string();
        fd = ::mkostemp(pattern.data(), O_CLOEXEC);
        if (fd < 0) {
            refuse(500, "Could not store " + fileName + ": " + std::strerror(errno));
            return false;
        }
        temporary = pattern;
        delegate.uploadingStarted(fileName);
        return true;
    }

    bool write(const char* data, size_t size) {
        if (server.stopping_.load()) {
            refuse(503, "The server stopped.");
            return false;
        }
        received += size;
        if (received > limit) {
            refuse(413, "Refused: the upload is larger than the free space allows (" +
                            std::to_string(limit >> 20) + " MB).");
            return false;
        }
        if (!isFile) {
            std::string& value = fields[fieldName];
            if (value.size() + size > kFormFieldLimit) {
                refuse(400, "Refused: a form field is too long.");
                return false;
            }
            value.append(data, size);
            return true;
        }
        if (skip) {
            return true;
        }
        if (!writeAll(fd, data, size)) {
            const int error = errno;
            refuse(error == ENOSPC ? 413 : 500,
                   "Could not store " + fileName + ": " + std::strerror(error));
            return false;
        }
        return true;
    }
};

HTTPServer::HTTPServer(HTTPServerSettings settings) : settings_(std::move(settings)) {}

HTTPServer::~HTTPServer() {
    stop();
}

std::optional<std::string> HTTPServer::percentDecode(std::string_view text, bool plusIsSpace) {
    const auto hexValue = [](char c) -> int {
        if (c >= '0' && c <= '9') {
            return c - '0';
        }
        c = lower(c);
        return (c >= 'a' && c <= 'f') ? c - 'a' + 10 : -1;
    };
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '%') {
            if (i + 2 >= text.size()) {
                return std::nullopt;
            }
            const int high = hexValue(text[i + 1]);
            const int low = hexValue(text[i + 2]);
            if (high < 0 || low < 0) {
                return std::nullopt;
            }
            out += char(high * 16 + low);
            i += 2;
        } else if (c == '+' && plusIsSpace) {
            out += ' ';
        } else {
            out += c;
        }
    }
    return out;
}

std::string HTTPServer::listText(const std::vector<std::string>& names) {
    if (names.empty()) {
        return "[]";
    }
    static const char* hex = "0123456789abcdef";
    std::string text = "[";
    for (size_t i = 0; i < names.size(); ++i) {
        text += "{'name':'";
        for (const char c : names[i]) {
            const auto u = static_cast<unsigned char>(c);
            if (c == '\'' || c == '\\') {
                text += '\\';
                text += c;
            } else if (c == '\n') {
                text += "\\n";
            } else if (c == '\r') {
                text += "\\r";
            } else if (c == '\t') {
                text += "\\t";
            } else if (u < 0x20 || u == 0x7f) {
                text += "\\u00";
                text += hex[u >> 4];
                text += hex[u & 15];
            } else {
                text += c;
            }
        }
        text += "', 'id':" + std::to_string(i) + "},";
    }
    text.back() = ']';
    return text;
}

bool HTTPServer::isLocalClient(const std::string& address) {
    in_addr v4{};
    if (::inet_pton(AF_INET, address.c_str(), &v4) == 1) {
        const uint32_t a = ntohl(v4.s_addr);
        return (a >> 24) == 127 || (a >> 24) == 10 || (a >> 20) == (172u << 4 | 1) ||
               (a >> 16) == (192u << 8 | 168) || (a >> 16) == (169u << 8 | 254);
    }
    in6_addr v6{};
    if (::inet_pton(AF_INET6, address.c_str(), &v6) != 1) {
        return false;
    }
    const uint8_t* b = v6.s6_addr;
    if (IN6_IS_ADDR_V4MAPPED(&v6)) {
        char text[INET_ADDRSTRLEN];
        ::inet_ntop(AF_INET, b + 12, text, sizeof text);
        return isLocalClient(text);
    }
    return IN6_IS_ADDR_LOOPBACK(&v6) || (b[0] == 0xfe && (b[1] & 0xc0) == 0x80) || // link-local
           (b[0] & 0xfe) == 0xfc;                                                  // unique local
}

uint64_t HTTPServer::uploadLimit() const {
    std::error_code ec;
    const fs::space_info space = fs::space(settings_.documents, ec);
    uint64_t limit = settings_.maxUploadBytes;
    if (!ec) {
        const uint64_t free = space.available > settings_.freeSpaceMargin
                                  ? space.available - settings_.freeSpaceMargin
                                  : 0;
        limit = std::min(limit, free);
    }
    return limit;
}

std::optional<std::pair<int, std::string>> HTTPServer::refusal(const httplib::Request& req) const {
    if (!isLocalClient(req.remote_addr)) {
        return std::pair{403, std::string("Only clients on the local network are answered.")};
    }
    if (!settings_.accessCode.empty()) {
        std::string given = req.get_param_value("code");
        if (given.empty()) {
            const std::string cookies = req.get_header_value("Cookie");
            const std::string key = std::string(kCodeCookie) + "=";
            for (size_t at = cookies.find(key); at != std::string::npos;
                 at = cookies.find(key, at + 1)) {
                if (at == 0 || cookies[at - 1] == ' ' || cookies[at - 1] == ';') {
                    const size_t start = at + key.size();
                    given = cookies.substr(start, cookies.find(';', start) - start);
                    break;
                }
            }
        }
        // Compare without stopping at the first difference.
        const std::string& code = settings_.accessCode;
        unsigned difference = given.size() == code.size() ? 0 : 1;
        for (size_t i = 0; i < given.size() && i < code.size(); ++i) {
            difference |= unsigned(given[i] ^ code[i]);
        }
        if (difference != 0) {
            return std::pair{403, std::string("This server asks for its access code: open the "
                                              "address shown on the device.")};
        }
    }
    // A name that is not this host's (a site's own name rebound to this address) must not
    // make the browser treat this server as that site.
    if (!isLocalHostName(req.get_header_value("Host"))) {
        return std::pair{403, std::string("Refused: unknown host name.")};
    }
    if (req.method == "POST") {
        const std::string host = [&] {
            std::string h = req.get_header_value("Host");
            std::transform(h.begin(), h.end(), h.begin(), lower);
            return h;
        }();
        const std::string source = req.has_header("Origin") ? req.get_header_value("Origin")
                                                            : req.get_header_value("Referer");
        if (!source.empty() && authorityOf(source) != host) {
            return std::pair{403, std::string("Refused: the request comes from another site.")};
        }
    }
    return std::nullopt;
}

void HTTPServer::configure(httplib::Server& server) {
    // One request per connection: a refused body is never read, and must not be taken for the
    // next request.
    server.set_keep_alive_max_count(1);
    server.set_read_timeout(30, 0);
    server.set_write_timeout(30, 0);
    server.set_default_headers({
        {"X-Content-Type-Options", "nosniff"},
        {"X-Frame-Options", "DENY"},
        {"Referrer-Policy", "same-origin"},
        {"Cache-Control", "no-store"},
        {"Content-Security-Policy", "default-src 'self'; img-src 'self' data:; "
                                    "frame-ancestors 'none'; form-action 'self'"},
    });
    server.set_pre_routing_handler([this](const httplib::Request& req, httplib::Response& res) {
        if (const auto refused = refusal(req)) {
            setText(res, refused->first, refused->second);
            return httplib::Server::HandlerResponse::Handled;
        }
        if (!settings_.accessCode.empty() && req.has_param("code")) {
            res.set_header("Set-Cookie", std::string(kCodeCookie) + "=" + settings_.accessCode +
                                             "; Path=/; HttpOnly; SameSite=Strict");
        }
        return httplib::Server::HandlerResponse::Unhandled;
    });
    // A client that waits for "100 Continue" learns of a refusal before it sends the body.
    server.set_expect_100_continue_handler(
        [this](const httplib::Request& req, httplib::Response& res) {
            if (const auto refused = refusal(req)) {
                setText(res, refused->first, refused->second);
                return refused->first;
            }
            if (req.has_header("Content-Length") &&
                req.get_header_value<uint64_t>("Content-Length") > uploadLimit()) {
                setText(res, 413, "Refused: the upload is larger than the free space allows.");
                return 413;
            }
            return 100;
        });
    const std::string everything = "[\\s\\S]*";
    server.Get(everything, [this](const httplib::Request& req, httplib::Response& res) {
        handleGet(req, res);
    });
    server.Post(everything,
                [this](const httplib::Request& req, httplib::Response& res,
                       const httplib::ContentReader& reader) { handlePost(req, res, reader); });
}

bool HTTPServer::start(std::string* error) {
    if (running_.load()) {
        return true;
    }
    // An upload cut off by a crash left its part here; the folder is ours alone.
    const fs::path uploads = settings_.documents / kUploadFolder;
    std::error_code ec;
    fs::remove_all(uploads, ec);
    fs::create_directories(uploads, ec);
    fs::permissions(uploads, fs::perms::owner_all, ec);

    auto listener = std::make_unique<Listener>();
    Listener& socket = *listener;
    server_ = std::move(listener);
    configure(*server_);
    errno = 0;
    int port = settings_.port;
    if (port == 0) {
        port = server_->bind_to_any_port(settings_.bindAddress);
    } else if (!server_->bind_to_port(settings_.bindAddress, port)) {
        port = -1;
    }
    if (port <= 0) {
        const int reason = errno;
        if (error) {
            *error = "Could not listen on " + settings_.bindAddress + " port " +
                     std::to_string(settings_.port) + ": " +
                     (reason ? std::strerror(reason) : "the address cannot be bound");
        }
        server_.reset();
        return false;
    }
    socket.widenBacklog(kBacklog);
    port_.store(port);
    stopping_.store(false);
    listenerDone_.store(false);
    running_.store(true);
    thread_ = std::thread([this] {
        server_->listen_after_bind();
        listenerDone_.store(true);
    });
    // cpp-httplib's stop() only reaches a server that has begun listening: wait for that, so a
    // stop right after the start is never lost.
    while (!server_->is_running() && !listenerDone_.load()) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

void HTTPServer::stop(const std::function<void()>& whileWaiting) {
    if (!server_) {
        return;
    }
    stopping_.store(true);
    running_.store(false);
    server_->stop();
    // The listener ends once its workers have answered their requests; some of them may be
    // waiting for the owner thread, which whileWaiting lets run.
    while (!listenerDone_.load()) {
        if (whileWaiting) {
            whileWaiting();
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    thread_.join();
    server_.reset();
    port_.store(0);
}

void HTTPServer::handleGet(const httplib::Request& req, httplib::Response& res) {
    const Target target = splitTarget(req.target);
    if (!target.files) {
        serveDocroot(target.path, res);
        return;
    }
    FileResourceDelegate* delegate = delegate_.load();
    if (!delegate) {
        setText(res, 404, "Not found.");
        return;
    }
    if (!target.hasName) {
        // Only "/files" itself lists; "/files/" or "/files.json" name no file.
        if (!equalsNoCase(target.path, "/files")) {
            setText(res, 404, "Not found.");
            return;
        }
        const auto names = delegate->fileNames();
        if (!names) {
            setText(res, 503, "The application is not answering.");
            return;
        }
        setText(res, 200, listText(*names));
        res.set_header("X-Upload-Limit", std::to_string(uploadLimit()));
        return;
    }
    if (!usableName(target.name)) {
        setText(res, refusedNameStatus(target.name),
                "Refused: not a file of the documents folder.");
        return;
    }
    const auto path = delegate->filePathForFileName(*target.name);
    if (!path) {
        setText(res, 503, "The application is not answering.");
        return;
    }
    serveFile(*path, true, res);
}

void HTTPServer::serveFile(const fs::path& path, bool download, httplib::Response& res) {
    // Never through a symbolic link: the name must be the file itself.
    const int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    struct stat info {};
    if (fd < 0 || ::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        if (fd >= 0) {
            ::close(fd);
        }
        setText(res, 404, "Not found.");
        return;
    }
    auto handle = std::shared_ptr<int>(new int(fd), [](int* f) {
        ::close(*f);
        delete f;
    });
    res.status = 200;
    if (download) {
        const std::string name = path.filename().string();
        std::string ascii;
        for (const char c : name) {
            ascii += (c >= 0x20 && c < 0x7f && c != '"' && c != '\\') ? c : '_';
        }
        res.set_header("Content-Disposition", "attachment; filename=\"" + ascii +
                                                  "\"; filename*=UTF-8''" + encodeForHeader(name));
    }
    // Streamed from the open file a chunk at a time: a large file never sits in memory.
    res.set_content_provider(
        size_t(info.st_size), download ? "application/octet-stream" : contentTypeFor(path),
        [handle](size_t offset, size_t length, httplib::DataSink& sink) {
            char buffer[kChunk];
            const ssize_t got = ::pread(*handle, buffer, std::min(length, kChunk), off_t(offset));
            if (got <= 0) {
                return false;
            }
            return sink.write(buffer, size_t(got));
        },
        [handle](bool) {});
}

void HTTPServer::serveDocroot(std::string_view rawPath, httplib::Response& res) {
    fs::path file = settings_.docroot;
    std::string_view rest = rawPath;
    size_t components = 0;
    while (!rest.empty()) {
        if (rest.front() == '/') {
            rest.remove_prefix(1);
            continue;
        }
        const size_t slash = rest.find('/');
        const auto part = percentDecode(rest.substr(0, slash), false);
        if (!part || !isSafeFileName(*part) || part->front() == '.') {
            setText(res, 404, "Not found.");
            return;
        }
        file /= *part;
        ++components;
        rest = slash == std::string_view::npos ? std::string_view() : rest.substr(slash);
    }
    if (components == 0) {
        file /= "index.html";
    }
    // The document root itself may be a link (to the resources); what it holds is read as is.
    std::error_code ec;
    const fs::path root = fs::canonical(settings_.docroot, ec);
    const fs::path real = fs::canonical(file, ec);
    if (ec || !fs::is_regular_file(real, ec) || real.string().rfind(root.string() + "/", 0) != 0) {
        setText(res, 404, "Not found.");
        return;
    }
    serveFile(real, false, res);
}

void HTTPServer::answerResult(TransferResult result, const std::string& name,
                              httplib::Response& res) {
    switch (result) {
    case TransferResult::Done:
        res.set_redirect("/");
        return;
    case TransferResult::BadName:
        setText(res, 400, "Refused: \"" + name + "\" is not a usable file name.");
        return;
    case TransferResult::NotFound:
        setText(res, 404, "There is no file \"" + name + "\".");
        return;
    case TransferResult::Exists:
        setText(res, 409, "A file named \"" + name + "\" exists already; it was kept.");
        return;
    case TransferResult::Busy:
        setText(res, 409, "\"" + name + "\" is in use (recording, on a deck or under analysis).");
        return;
    case TransferResult::Failed:
        setText(res, 500, "\"" + name + "\" could not be stored or removed.");
        return;
    case TransferResult::Unavailable:
        setText(res, 503, "The application is not answering.");
        return;
    }
}

void HTTPServer::handlePost(const httplib::Request& req, httplib::Response& res,
                            const httplib::ContentReader& reader) {
    const Target target = splitTarget(req.target);
    if (!target.files) {
        setText(res, 404, "Not found.");
        return;
    }
    FileResourceDelegate* delegate = delegate_.load();
    if (!delegate) {
        setText(res, 503, "The server has no application behind it.");
        return;
    }
    const uint64_t limit = uploadLimit();
    if (req.has_header("Content-Length") &&
        req.get_header_value<uint64_t>("Content-Length") > limit) {
        setText(res, 413,
                "Refused: the upload is larger than the free space allows (" +
                    std::to_string(limit >> 20) + " MB).");
        return;
    }
    Upload upload(*this, *delegate, limit);
    bool complete = false;
    if (req.is_multipart_form_data()) {
        complete =
            reader([&](const httplib::MultipartFormData& part) { return upload.beginPart(part); },
                   [&](const char* data, size_t size) { return upload.write(data, size); });
        // A part is known to be whole only once the body ended well.
        if (complete) {
            complete = upload.finishPart();
        } else {
            upload.abandon();
        }
    } else {
        std::string body;
        complete = reader([&](const char* data, size_t size) {
            if (body.size() + size > kFormFieldLimit) {
                upload.refuse(413, "Refused: the form is too long.");
                return false;
            }
            body.append(data, size);
            return true;
        });
        upload.fields = parseForm(body);
    }
    if (upload.status != 0) {
        setText(res, upload.status, upload.message);
        return;
    }
    if (!complete) {
        setText(res, 400, "The upload was cut off; nothing of it was kept.");
        return;
    }
    if (upload.deleting()) {
        if (!target.hasName) {
            res.set_redirect("/"); // no name: nothing to delete
            return;
        }
        if (!usableName(target.name)) {
            setText(res, refusedNameStatus(target.name),
                    "Refused: not a file of the documents folder.");
            return;
        }
        answerResult(delegate->fileShouldDelete(*target.name), *target.name, res);
        return;
    }
    if (upload.sawResult) {
        answerResult(upload.lastResult, upload.lastName, res);
        return;
    }
    res.set_redirect("/"); // a new file without one: nothing happens
}

} // namespace vx
