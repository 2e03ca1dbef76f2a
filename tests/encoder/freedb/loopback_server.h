#pragma once
// A CD database stand-in for tests: an HTTP server thread on 127.0.0.1 that records every
// request and answers each with a reply the test chooses: sent whole or in pieces with pauses,
// the connection closed afterwards or held open until the client goes.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace orvane::test {

struct LoopbackReply {
    std::vector<std::string> pieces;  // sent one after another
    int pauseMs = 0;                  // between the pieces
    bool holdOpen = false;            // keep the connection until the client closes it
};

// An HTTP/1.0 reply with a CDDB body.
inline LoopbackReply HttpReply(const std::string& body, bool holdOpen = false) {
    return {{"HTTP/1.0 200 OK\r\nContent-Type: text/plain\r\n\r\n" + body}, 0, holdOpen};
}

class LoopbackServer {
public:
    using Handler = std::function<LoopbackReply(const std::string& request)>;

    explicit LoopbackServer(Handler handler) : handler_(std::move(handler)) {
        fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::bind(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a);
        ::listen(fd_, 16);
        socklen_t len = sizeof a;
        ::getsockname(fd_, reinterpret_cast<sockaddr*>(&a), &len);
        port_ = ntohs(a.sin_port);
        thread_ = std::thread([this] { Run(); });
    }
    ~LoopbackServer() {
        stop_ = true;
        thread_.join();
        ::close(fd_);
    }

    int Port() const { return port_; }
    std::string Address() const { return "127.0.0.1:" + std::to_string(port_); }
    std::vector<std::string> Requests() const {
        std::lock_guard<std::mutex> lock(mutex_);
        return requests_;
    }
    std::size_t RequestCount() const { return Requests().size(); }

private:
    void Run() {
        while (!stop_) {
            pollfd p{fd_, POLLIN, 0};
            if (::poll(&p, 1, 20) <= 0) continue;
            int c = ::accept(fd_, nullptr, nullptr);
            if (c < 0) continue;
            Serve(c);
            ::close(c);
        }
    }

    // Waits for the client's data or its close; false once the server stops.
    bool Readable(int c, int ms) {
        pollfd p{c, POLLIN, 0};
        for (int waited = 0; waited < ms && !stop_; waited += 20) {
            if (::poll(&p, 1, 20) > 0) return true;
        }
        return false;
    }

    void Serve(int c) {
        std::string request;
        char buf[4096];
        while (request.find("\r\n\r\n") == std::string::npos) {
            if (!Readable(c, 5000)) return;
            ssize_t n = ::recv(c, buf, sizeof buf, 0);
            if (n <= 0) return;
            request.append(buf, static_cast<std::size_t>(n));
        }
        {
            std::lock_guard<std::mutex> lock(mutex_);
            requests_.push_back(request);
        }
        LoopbackReply reply = handler_(request);
        for (std::size_t i = 0; i < reply.pieces.size(); ++i) {
            if (i && reply.pauseMs) {
                std::this_thread::sleep_for(std::chrono::milliseconds(reply.pauseMs));
            }
            const std::string& piece = reply.pieces[i];
            std::size_t sent = 0;
            while (sent < piece.size()) {
                ssize_t n = ::send(c, piece.data() + sent, piece.size() - sent, MSG_NOSIGNAL);
                if (n <= 0) return;
                sent += static_cast<std::size_t>(n);
            }
        }
        // Held open: until the client closes its end (or the server stops).
        while (reply.holdOpen && Readable(c, 60000)) {
            if (::recv(c, buf, sizeof buf, 0) <= 0) break;
        }
    }

    Handler handler_;
    int fd_ = -1;
    int port_ = 0;
    std::atomic<bool> stop_{false};
    mutable std::mutex mutex_;
    std::vector<std::string> requests_;
    std::thread thread_;
};

// The value of "cmd=" in a request line, '+' kept.
inline std::string CommandOf(const std::string& request) {
    std::size_t at = request.find("cmd=");
    if (at == std::string::npos) return {};
    std::size_t end = request.find('&', at);
    return request.substr(at + 4, end == std::string::npos ? std::string::npos : end - at - 4);
}

}  // namespace orvane::test
