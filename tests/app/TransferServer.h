#pragma once
// `velvox-cli serve` as a child process on a test home, listening on 127.0.0.1 on a port the
// system picks, plus the raw-socket and multipart helpers the transfer tests share.

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <csignal>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace vx::test {

class TransferServer {
public:
    // Starts serve on `home` with `extra` arguments; fails the test if no address is printed.
    TransferServer(const std::filesystem::path& home, std::vector<std::string> extra = {}) {
        int out[2];
        if (::pipe(out) != 0) {
            ADD_FAILURE() << "pipe";
            return;
        }
        std::vector<std::string> args = {VX_CLI_PATH, "--home", home.string(), "serve",
                                         "--port",    "0",      "--bind",      "127.0.0.1"};
        args.insert(args.end(), extra.begin(), extra.end());
        // A client writing into a connection the server has closed gets an error, not a signal.
        std::signal(SIGPIPE, SIG_IGN);
        pid_ = ::fork();
        if (pid_ == 0) {
            ::prctl(PR_SET_PDEATHSIG, SIGTERM); // never outlive a test that died
            ::dup2(out[1], 1);
            ::close(out[0]);
            ::close(out[1]);
            std::vector<char*> argv;
            for (auto& a : args) {
                argv.push_back(a.data());
            }
            argv.push_back(nullptr);
            ::execv(argv[0], argv.data());
            ::_exit(127);
        }
        ::close(out[1]);
        out_ = out[0];
        const std::string marker = "Server started: http://127.0.0.1:";
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
        while (output_.find('\n', output_.find(marker)) == std::string::npos &&
               std::chrono::steady_clock::now() < deadline) {
            if (!readSome(200)) {
                break;
            }
        }
        const size_t at = output_.find(marker);
        if (at == std::string::npos) {
            ADD_FAILURE() << "serve printed no address: " << output_;
            return;
        }
        port_ = std::stoi(output_.substr(at + marker.size()));
        const size_t end = output_.find('\n', at);
        url_ = output_.substr(at + 16, end - at - 16);
    }
    ~TransferServer() {
        if (pid_ > 0) {
            stop();
        }
        if (out_ >= 0) {
            ::close(out_);
        }
    }

    int port() const { return port_; }
    // The printed address ("http://127.0.0.1:PORT" and whatever follows it on the line).
    const std::string& url() const { return url_; }
    // Peak resident memory of the server process so far, in kB.
    long peakResidentKb() const {
        std::ifstream status("/proc/" + std::to_string(pid_) + "/status");
        std::string line;
        while (std::getline(status, line)) {
            if (line.rfind("VmHWM:", 0) == 0) {
                return std::stol(line.substr(6));
            }
        }
        return -1;
    }
    // Sends SIGTERM and waits; returns the exit code (-1 if it did not exit normally).
    int stop() {
        ::kill(pid_, SIGTERM);
        return wait();
    }
    // Waits for the process to end by itself; returns the exit code.
    int wait() {
        int status = 0;
        ::waitpid(pid_, &status, 0);
        pid_ = -1;
        while (readSome(100)) {
        }
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    const std::string& output() const { return output_; }

private:
    bool readSome(int timeoutMs) {
        pollfd p{out_, POLLIN, 0};
        if (::poll(&p, 1, timeoutMs) <= 0) {
            return pid_ > 0; // nothing yet: keep waiting while it runs
        }
        char buffer[4096];
        const ssize_t got = ::read(out_, buffer, sizeof buffer);
        if (got <= 0) {
            return false;
        }
        output_.append(buffer, size_t(got));
        return true;
    }

    pid_t pid_ = -1;
    int out_ = -1;
    int port_ = 0;
    std::string url_;
    std::string output_;
};

// A new connection to 127.0.0.1:port (-1 on failure).
inline int openConnection(int port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(uint16_t(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

inline void sendAll(int fd, const std::string& data) {
    size_t sent = 0;
    while (sent < data.size()) {
        const ssize_t n = ::send(fd, data.data() + sent, data.size() - sent, MSG_NOSIGNAL);
        if (n <= 0) {
            break;
        }
        sent += size_t(n);
    }
}

// Sends `data` on a new connection to 127.0.0.1:port and returns the whole answer.
inline std::string rawExchange(int port, const std::string& data) {
    const int fd = openConnection(port);
    if (fd < 0) {
        return {};
    }
    sendAll(fd, data);
    std::string answer;
    timeval timeout{10, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
    char buffer[4096];
    for (ssize_t n; (n = ::recv(fd, buffer, sizeof buffer, 0)) > 0;) {
        answer.append(buffer, size_t(n));
    }
    ::close(fd);
    return answer;
}

inline const std::string kBoundary = "vxTestBoundary7MA4YWxkTrZu0gW";

// One multipart body with a "newfile" part named `fileName` holding `content`.
inline std::string multipartBody(const std::string& fileName, const std::string& content) {
    return "--" + kBoundary + "\r\nContent-Disposition: form-data; name=\"newfile\"; filename=\"" +
           fileName + "\"\r\nContent-Type: application/octet-stream\r\n\r\n" + content + "\r\n--" +
           kBoundary + "--\r\n";
}

// The head of a POST of a multipart body of `length` bytes to /files.
inline std::string uploadHead(int port, size_t length) {
    return "POST /files HTTP/1.1\r\nHost: 127.0.0.1:" + std::to_string(port) +
           "\r\nContent-Type: multipart/form-data; boundary=" + kBoundary +
           "\r\nContent-Length: " + std::to_string(length) + "\r\n\r\n";
}

inline std::string readFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

} // namespace vx::test
