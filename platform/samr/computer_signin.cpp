#include "platform/samr/computer_signin.h"

#include <mutex>
#include <optional>
#include <set>

#include "platform/samr/winnt_errors.h"
#include "platform/samr/winnt_path.h"

namespace qm {

namespace {

samr::Login passwordLogin(const Login& typed) {
    samr::Login login;
    login.password = typed.password.text().c_str();
    const std::string& user = typed.user;
    if (const auto backslash = user.find('\\'); backslash != std::string::npos) {
        login.domain = user.substr(0, backslash);
        login.user = user.substr(backslash + 1);
    } else if (const auto at = user.rfind('@'); at != std::string::npos) {
        login.user = user.substr(0, at);
        login.domain = user.substr(at + 1);
    } else {
        // A name alone stays without a domain, which the computer reads as its own.
        login.user = user;
    }
    return login;
}

RunTimeError connectError(const samr::Failure& failure, const std::string& computer,
                          const std::string& signedInAs) {
    return samrError(failure.status(), "Cannot connect to computer " + computer + signedInAs +
                                           " (" + failure.what() + ")");
}

// Computers that refused the Kerberos ticket in this run. Each try costs a round trip to the KDC
// and a failed sign-in, which a run binding hundreds of accounts of one computer should pay once.
class KerberosRefusals {
public:
    bool contains(const std::string& host) {
        std::lock_guard lock(mutex_);
        return hosts_.count(upperCase(host)) != 0;
    }
    void add(const std::string& host) {
        std::lock_guard lock(mutex_);
        hosts_.insert(upperCase(host));
    }

private:
    std::mutex mutex_;
    std::set<std::string> hosts_;
};

KerberosRefusals& kerberosRefusals() {
    static KerberosRefusals refusals;
    return refusals;
}

std::shared_ptr<samr::AccountDomain> signInWithTicket(const std::string& host) {
    samr::Login kerberos;
    kerberos.kerberos = true;
    try {
        return samr::AccountDomain::open(host, kerberos);
    } catch (const samr::Failure&) {
        // A computer outside the realm (a workgroup server) takes a password instead.
        kerberosRefusals().add(host);
        return nullptr;
    }
}

}  // namespace

std::shared_ptr<samr::AccountDomain> signInToComputer(const std::string& host,
                                                      const std::string& computer,
                                                      Credentials& credentials) {
    if (!kerberosRefusals().contains(host) && credentials.hasKerberosTicket()) {
        if (auto accounts = signInWithTicket(host)) {
            return accounts;
        }
    }
    std::shared_ptr<samr::AccountDomain> accounts;
    std::optional<RunTimeError> refusal;
    const auto attempt = [&](const Login& typed) {
        try {
            accounts = samr::AccountDomain::open(host, passwordLogin(typed));
            return true;
        } catch (const samr::Failure& failure) {
            if (!refusesSignIn(failure.status())) {
                throw connectError(failure, computer, " as " + typed.user);
            }
            refusal = connectError(failure, computer, " as " + typed.user);
            return false;
        }
    };
    switch (credentials.signIn({computer, true}, attempt)) {
        case Credentials::Outcome::SignedIn:
            return accounts;
        case Credentials::Outcome::Refused:
            throw *refusal;
        case Credentials::Outcome::Cancelled:
            break;
    }
    throw winNtError(hresultFromWin32(win32::Cancelled),
                     "Cannot connect to computer " + computer +
                         ": signing in was cancelled (no user name was given).");
}

}  // namespace qm
