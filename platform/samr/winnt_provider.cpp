#include "platform/samr/winnt_provider.h"

#include <unistd.h>

#include <climits>

#include "platform/samr/computer_signin.h"
#include "platform/samr/samr_client.h"
#include "platform/samr/tcp_probe.h"
#include "platform/samr/winnt_errors.h"
#include "platform/samr/winnt_objects.h"
#include "platform/samr/winnt_path.h"

namespace qm {

namespace {

using namespace std::chrono_literals;

constexpr int kSmbPort = 445;
// Long enough for a slow network, short enough that a switched-off computer does not look like a
// hung program.
constexpr auto kAnswerTimeout = 3s;
constexpr const char* kLoopback = "127.0.0.1";

struct Computer {
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
    const std::string reported = upperCase(accounts.computerName());
    if (reported.empty()) {
        return upperCase(typed);
    }
    if (equalsIgnoringCase(reported, typed) ||
        probeTcp(reported, kSmbPort, kAnswerTimeout) == ProbeResult::Answered) {
        return reported;
    }
    return upperCase(typed);
}

Computer reachComputer(const std::string& name, Credentials& credentials) {
    if (equalsIgnoringCase(name, localComputerName())) {
        Computer local{localComputerName(), nullptr};
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
    auto accounts = signInToComputer(name, upperCase(name), credentials);
    return {nameToShow(name, *accounts), accounts};
}

std::unique_ptr<DirectoryObject> bindUser(const Computer& computer, const std::string& name) {
    const std::string notFound = "User " + name + " was not found on computer " + computer.name;
    if (computer.accounts == nullptr) {
        throw winNtError(hresultFromWin32(win32::UserNotFound),
                         notFound +
                             ": this computer runs no SMB server, so it has no local "
                             "accounts that can be reached.");
    }
    std::optional<std::uint32_t> rid;
    try {
        rid = computer.accounts->lookupUser(name);
    } catch (const samr::Failure& failure) {
        throw samrError(failure.status(),
                        "Cannot look up user " + name + " on computer " + computer.name);
    }
    if (!rid) {
        throw winNtError(hresultFromWin32(win32::UserNotFound),
                         notFound + ": the computer has no user account of that name.");
    }
    auto user = std::make_unique<WinNtUser>(computer.accounts, computer.name, name, *rid);
    user->readLogonHours();
    return user;
}

}  // namespace

std::string localComputerName() {
    char host[HOST_NAME_MAX + 1] = {};
    if (gethostname(host, sizeof host - 1) != 0) {
        return {};
    }
    std::string name(host);
    name = name.substr(0, name.find('.'));
    return upperCase(name.substr(0, 15));
}

std::unique_ptr<DirectoryObject> bindWinNt(const std::string& path, Credentials& credentials) {
    const WinNtPath parsed = parseWinNtPath(path);
    const Computer computer = reachComputer(parsed.computer, credentials);
    if (!parsed.isUser()) {
        return std::make_unique<WinNtComputer>(computer.name, computer.accounts);
    }
    return bindUser(computer, parsed.user);
}

}  // namespace qm
