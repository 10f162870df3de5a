#include "platform/samr/winnt_provider.h"

#include <unistd.h>

#include <algorithm>
#include <climits>

#include "platform/core/text.h"
#include "platform/samr/computer_signin.h"
#include "platform/samr/samr_client.h"
#include "platform/samr/tcp_probe.h"
#include "platform/samr/winnt_errors.h"
#include "platform/samr/winnt_objects.h"

namespace qm {

namespace {

using namespace std::chrono_literals;

constexpr int kSmbPort = 445;
// Long enough for a slow network, short enough that a switched-off computer does not look like a
// hung program.
constexpr auto kAnswerTimeout = 3s;
constexpr const char* kLoopback = "127.0.0.1";
constexpr const char* kReservedInComputerNames = "\\/:*?\"<>|,";

struct ReachedComputer {
    std::string name;
    std::shared_ptr<samr::AccountDomain> accounts;  // null: the local computer without SMB server
};

void requireAnswer(const std::string& name) {
    switch (probeTcp(name, kSmbPort, kAnswerTimeout)) {
        case ProbeResult::Answered:
            return;
        case ProbeResult::UnknownName:
            throw winNtError(hresultFromWin32(win32::BadNetPath),
                             "Cannot reach computer " + name +
                                 ": the name does not resolve to an address. Check the "
                                 "spelling, the hosts file and DNS.");
        case ProbeResult::NoAnswer:
            break;
    }
    throw winNtError(hresultFromWin32(win32::BadNetPath),
                     "Cannot reach computer " + name +
                         ": it did not accept a connection on TCP port 445 "
                         "(SMB) within 3 seconds. Check that it is switched on, that it "
                         "shares files and that its firewall lets port 445 through.");
}

// The name a computer gives itself, when that name leads back to it; otherwise the name it was
// reached by (an address, or a name it does not know itself by).
std::string nameToShow(const std::string& typed, const samr::AccountDomain& accounts) {
    const std::string reported = upperAscii(accounts.computerName());
    if (reported.empty()) {
        return upperAscii(typed);
    }
    if (equalsIgnoringCase(reported, typed) ||
        probeTcp(reported, kSmbPort, kAnswerTimeout) == ProbeResult::Answered) {
        return reported;
    }
    return upperAscii(typed);
}

ReachedComputer reach(const std::string& name, Credentials& credentials) {
    if (equalsIgnoringCase(name, localComputerName())) {
        ReachedComputer local{localComputerName(), nullptr};
        if (probeTcp(kLoopback, kSmbPort, kAnswerTimeout) == ProbeResult::Answered) {
            try {
                local.accounts = signInToComputer(kLoopback, local.name, credentials);
            } catch (const RunTimeError&) {
                // On Windows this bind never fails: a local server that takes no sign-in from
                // this person leaves the computer without accounts to show.
            }
        }
        return local;
    }
    requireAnswer(name);
    auto accounts = signInToComputer(name, upperAscii(name), credentials);
    return {nameToShow(name, *accounts), accounts};
}

// What a computer name cannot hold: control characters (a NUL would cut the name short in Samba
// and address another computer) and the characters Windows reserves.
void requireComputerName(const std::string& name) {
    const bool usable = !name.empty() && std::none_of(name.begin(), name.end(), [](char c) {
        return static_cast<unsigned char>(c) < 0x20 || c == 0x7F ||
               std::string_view(kReservedInComputerNames).find(c) != std::string_view::npos;
    });
    if (!usable) {
        throw winNtError(kBadPathName, "The computer name \"" + name +
                                           "\" cannot be used: it is empty or holds a character "
                                           "that such a name cannot hold.");
    }
}

}  // namespace

std::string localComputerName() {
    char host[HOST_NAME_MAX + 1] = {};
    return gethostname(host, sizeof host - 1) == 0 ? netbiosName(host) : std::string();
}

std::unique_ptr<Computer> reachComputer(const std::string& name, Credentials& credentials) {
    requireComputerName(name);
    const ReachedComputer computer = reach(name, credentials);
    return std::make_unique<WinNtComputer>(computer.name, computer.accounts);
}

}  // namespace qm
