#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <string>
#include <vector>

namespace qm::testing {

// A TCP port on a loopback address that never accepts. Answering, connects complete in the kernel's
// backlog; silent, the backlog is filled by connections of its own, so further connects go
// unanswered, as they do to a host that drops packets.
class LoopbackListener {
public:
    enum class Mode { Answering, Silent };

    explicit LoopbackListener(Mode mode, const std::string& address = "127.0.0.1", int port = 0) {
        address_.sin_family = AF_INET;
        address_.sin_port = htons(port);
        inet_pton(AF_INET, address.c_str(), &address_.sin_addr);
        listener_ = socket(AF_INET, SOCK_STREAM, 0);
        const int yes = 1;
        setsockopt(listener_, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
        ok_ = bind(listener_, reinterpret_cast<sockaddr*>(&address_), sizeof address_) == 0 &&
              listen(listener_, mode == Mode::Silent ? 0 : 16) == 0;
        socklen_t length = sizeof address_;
        getsockname(listener_, reinterpret_cast<sockaddr*>(&address_), &length);
        for (int i = 0; ok_ && mode == Mode::Silent && i < 4; ++i) {
            const int filler = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0);
            connect(filler, reinterpret_cast<sockaddr*>(&address_), sizeof address_);
            fillers_.push_back(filler);
        }
    }
    ~LoopbackListener() {
        for (int filler : fillers_) {
            close(filler);
        }
        close(listener_);
    }
    LoopbackListener(const LoopbackListener&) = delete;
    LoopbackListener& operator=(const LoopbackListener&) = delete;

    bool listening() const { return ok_; }
    int port() const { return ntohs(address_.sin_port); }

private:
    sockaddr_in address_{};
    int listener_ = -1;
    bool ok_ = false;
    std::vector<int> fillers_;
};

}  // namespace qm::testing
