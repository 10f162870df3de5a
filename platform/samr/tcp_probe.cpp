#include "platform/samr/tcp_probe.h"

#include <fcntl.h>
#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <map>
#include <mutex>
#include <vector>

namespace qm {

namespace {

using Clock = std::chrono::steady_clock;

struct AddressList {
    addrinfo* head = nullptr;
    ~AddressList() {
        if (head != nullptr) {
            freeaddrinfo(head);
        }
    }
};

class Sockets {
public:
    ~Sockets() {
        for (const pollfd& p : fds_) {
            close(p.fd);
        }
    }
    // Starts a non-blocking connect; false when it failed at once (nothing listens there).
    bool startConnect(const addrinfo& address) {
        const int fd = socket(address.ai_family, address.ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC,
                              address.ai_protocol);
        if (fd < 0) {
            return false;
        }
        if (connect(fd, address.ai_addr, address.ai_addrlen) == 0) {
            close(fd);
            answered_ = true;
            return true;
        }
        if (errno != EINPROGRESS) {
            close(fd);
            return false;
        }
        fds_.push_back({fd, POLLOUT, 0});
        return true;
    }
    bool answered() const { return answered_; }
    bool pending() const { return !fds_.empty(); }

    // Waits for the connects in flight; a socket that became writable either connected or failed.
    void waitUntil(Clock::time_point deadline) {
        while (!answered_ && pending()) {
            const auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
            if (left.count() <= 0 || poll(fds_.data(), fds_.size(), int(left.count())) <= 0) {
                return;
            }
            collectFinished();
        }
    }

private:
    void collectFinished() {
        for (auto it = fds_.begin(); it != fds_.end();) {
            if (it->revents == 0) {
                ++it;
                continue;
            }
            int error = 0;
            socklen_t length = sizeof error;
            getsockopt(it->fd, SOL_SOCKET, SO_ERROR, &error, &length);
            answered_ = answered_ || error == 0;
            close(it->fd);
            it = fds_.erase(it);
        }
    }

    std::vector<pollfd> fds_;
    bool answered_ = false;
};

// Hosts that gave no answer in time, by "host:port", with how often in a row.
class Unanswered {
public:
    bool givenUp(const std::string& key) {
        std::lock_guard lock(mutex_);
        return misses_[key] >= 2;
    }
    void record(const std::string& key, bool silent) {
        std::lock_guard lock(mutex_);
        misses_[key] = silent ? misses_[key] + 1 : 0;
    }

private:
    std::mutex mutex_;
    std::map<std::string, int> misses_;
};

Unanswered& unanswered() {
    static Unanswered hosts;
    return hosts;
}

ProbeResult probeOnce(const std::string& host, int port, std::chrono::milliseconds timeout) {
    const auto deadline = Clock::now() + timeout;
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    AddressList addresses;
    if (getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &addresses.head) != 0) {
        return ProbeResult::UnknownName;
    }
    Sockets sockets;
    for (const addrinfo* a = addresses.head; a != nullptr && !sockets.answered(); a = a->ai_next) {
        sockets.startConnect(*a);
    }
    sockets.waitUntil(deadline);
    return sockets.answered() ? ProbeResult::Answered : ProbeResult::NoAnswer;
}

}  // namespace

ProbeResult probeTcp(const std::string& host, int port, std::chrono::milliseconds timeout) {
    const std::string key = host + ":" + std::to_string(port);
    if (unanswered().givenUp(key)) {
        return ProbeResult::NoAnswer;
    }
    const auto start = Clock::now();
    const ProbeResult result = probeOnce(host, port, timeout);
    // Only silence counts: a refused connection is an answer, and a quick one.
    const bool silent = result == ProbeResult::NoAnswer && Clock::now() - start >= timeout;
    unanswered().record(key, silent);
    return result;
}

}  // namespace qm
