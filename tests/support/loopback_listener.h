#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <array>
#include <string>
#include <thread>
#include <vector>

namespace qm::testing {

// A TCP port on a loopback address. Answering, connects complete in the kernel's backlog and
// nothing is read; silent, the backlog is filled by connections of its own, so further connects go
// unanswered, as they do to a host that drops packets. With a reply, the first request of the first
// connection gets it, and then nothing more.
class LoopbackListener {
public:
    enum class Mode { Answering, Silent };
    explicit LoopbackListener(Mode mode, const std::string& address = "127.0.0.1", int port = 0,
                              const std::string& reply = {}) {
        address_.sin_family = AF_INET;
        address_.sin_port = htons(port);
        inet_pton(AF_INET, address.c_str(), &address_.sin_addr);
        const int yes = 1;
        setsockopt(listener_, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
        ok_ = bind(listener_, reinterpret_cast<sockaddr*>(&address_), sizeof address_) == 0 &&
              listen(listener_, mode == Mode::Silent ? 0 : 16) == 0;
        socklen_t length = sizeof address_;
        getsockname(listener_, reinterpret_cast<sockaddr*>(&address_), &length);
        for (int i = 0; ok_ && mode == Mode::Silent && i < 4; ++i) {
            fillers_.push_back(socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0));
            connect(fillers_.back(), reinterpret_cast<sockaddr*>(&address_), sizeof address_);
        }
        if (ok_ && !reply.empty()) {
            server_ = std::thread([this, reply] { serve(reply); });
        }
    }
    ~LoopbackListener() {
        shutdown(listener_, SHUT_RDWR);
        shutdown(client_, SHUT_RDWR);
        if (server_.joinable()) {
            server_.join();
        }
        fillers_.insert(fillers_.end(), {listener_, client_});
        for (int socket : fillers_) {
            close(socket);
        }
    }

    bool listening() const { return ok_; }
    int port() const { return ntohs(address_.sin_port); }

private:
    void serve(const std::string& answer) {
        client_ = accept(listener_, nullptr, nullptr);
        std::array<char, 256> request{};
        const ssize_t size = client_ < 0 ? -1 : read(client_, request.data(), request.size());
        if (size > 0) {
            for (ssize_t n = write(client_, answer.data(), answer.size()); n > 0;) {
                n = read(client_, request.data(), request.size());
            }
        }
    }

    int listener_ = socket(AF_INET, SOCK_STREAM, 0);
    int client_ = -1;
    sockaddr_in address_{};
    bool ok_ = false;
    std::vector<int> fillers_;
    std::thread server_;
};

}  // namespace qm::testing
