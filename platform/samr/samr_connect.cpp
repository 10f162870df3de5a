#include "platform/samr/samr_connect.h"

#include <map>
#include <mutex>

#include "platform/samr/winnt_path.h"

namespace qm::samr {

namespace {

// The head of Samba's composite_context, which its public headers leave opaque: its state is the
// first member, ordered INIT, IN_PROGRESS, DONE, ERROR since the type was made.
struct CompositeHead {
    int state;
};
constexpr int kCompositeDone = 2;

void markExpired(tevent_context*, tevent_timer*, timeval, void* expired) {
    *static_cast<bool*>(expired) = true;
}

// The statuses of a computer that did not answer, as opposed to one that answered with a refusal.
bool isSilence(std::uint32_t status) {
    for (const NTSTATUS silent :
         {NT_STATUS_IO_TIMEOUT, NT_STATUS_CONNECTION_DISCONNECTED, NT_STATUS_CONNECTION_RESET,
          NT_STATUS_CONNECTION_REFUSED, NT_STATUS_END_OF_FILE, NT_STATUS_HOST_UNREACHABLE,
          NT_STATUS_PIPE_BROKEN}) {
        if (NT_STATUS_V(silent) == status) {
            return true;
        }
    }
    return false;
}

struct HostState {
    bool suspect = false;
    std::uint32_t givenUp = 0;
};

std::mutex& silenceMutex() {
    static std::mutex mutex;
    return mutex;
}

std::map<std::string, HostState>& hosts() {
    static std::map<std::string, HostState> known;
    return known;
}

}  // namespace

NTSTATUS connectPipe(TALLOC_CTX* mem, dcerpc_pipe** pipe, const dcerpc_binding* binding,
                     cli_credentials* credentials, tevent_context* events,
                     loadparm_context* settings) {
    composite_context* connecting =
        dcerpc_pipe_connect_b_send(mem, binding, &ndr_table_samr, credentials, events, settings);
    if (connecting == nullptr) {
        return NT_STATUS_NO_MEMORY;
    }
    bool expired = false;
    // Owned apart: tevent frees a timer once it fired, and freeing the owner frees one that did
    // not.
    TALLOC_CTX* timerOwner = talloc_new(mem);
    tevent_add_timer(events, timerOwner, tevent_timeval_current_ofs(kAnswerTimeoutSeconds, 0),
                     markExpired, &expired);
    const auto* head = reinterpret_cast<const CompositeHead*>(connecting);
    while (!expired && head->state < kCompositeDone) {
        if (tevent_loop_once(events) != 0) {
            break;
        }
    }
    talloc_free(timerOwner);
    if (head->state < kCompositeDone) {
        // Freeing the request ends the connection it was making.
        talloc_free(connecting);
        return NT_STATUS_IO_TIMEOUT;
    }
    return dcerpc_pipe_connect_b_recv(connecting, mem, pipe);
}

std::uint32_t Silence::givenUp(const std::string& host) {
    std::lock_guard lock(silenceMutex());
    const auto known = hosts().find(upperCase(host));
    return known == hosts().end() ? 0 : known->second.givenUp;
}

void Silence::timedOut(const std::string& host) {
    std::lock_guard lock(silenceMutex());
    hosts()[upperCase(host)].suspect = true;
}

void Silence::connected(const std::string& host, std::uint32_t status) {
    std::lock_guard lock(silenceMutex());
    HostState& state = hosts()[upperCase(host)];
    if (!isSilence(status)) {
        state.suspect = false;
    } else if (state.suspect) {
        state.givenUp = status;
    } else if (status == NT_STATUS_V(NT_STATUS_IO_TIMEOUT)) {
        state.suspect = true;
    }
}

}  // namespace qm::samr
