// How an LdapSession reaches its server and signs in: every step bounded in time, the password
// sent only over TLS and typed where the sign-in happens.
#include <sasl/sasl.h>
#include <sys/socket.h>

#include <chrono>
#include <condition_variable>
#include <csignal>
#include <mutex>
#include <thread>

#include "platform/ldap/domain_locator.h"
#include "platform/ldap/ldap_error.h"
#include "platform/ldap/ldap_session.h"

namespace qm {

namespace {

using Clock = std::chrono::steady_clock;

// GSSAPI asks for nothing but an optional authorization name; the default (none) is right.
int answerSaslDefaults(LDAP*, unsigned, void*, void* prompts) {
    for (auto* prompt = static_cast<sasl_interact_t*>(prompts); prompt->id != SASL_CB_LIST_END;
         ++prompt) {
        prompt->result = prompt->defresult != nullptr ? prompt->defresult : "";
        prompt->len = static_cast<unsigned>(
            std::char_traits<char>::length(static_cast<const char*>(prompt->result)));
    }
    return LDAP_SUCCESS;
}

std::string noAnswerWithin(int seconds) {
    return "no answer within " + std::to_string(seconds) + " seconds";
}

bool tookAtLeast(Clock::time_point start, int seconds) {
    return Clock::now() - start >= std::chrono::seconds(seconds);
}

// A name alone is an account of the domain it was typed for, as Windows reads it.
std::string qualifiedUser(const Login& login) {
    const bool bare = login.user.find_first_of("@\\") == std::string::npos;
    const bool typedForDomain = login.typedFor.find('.') != std::string::npos;
    return bare && typedForDomain ? login.user + "@" + login.typedFor : login.user;
}

}  // namespace

void setSessionOptions(LDAP* ld) {
    // A server that closes the connection (or a deadline that ends it) while a request is written
    // must give an error, not end the program with SIGPIPE.
    std::signal(SIGPIPE, SIG_IGN);
    const int version = LDAP_VERSION3;
    ldap_set_option(ld, LDAP_OPT_PROTOCOL_VERSION, &version);
    ldap_set_option(ld, LDAP_OPT_REFERRALS, LDAP_OPT_OFF);
    const timeval connectTimeout{LdapSession::kConnectTimeoutSeconds, 0};
    ldap_set_option(ld, LDAP_OPT_NETWORK_TIMEOUT, &connectTimeout);
    // Bounds the waits inside libldap's synchronous calls (the SASL exchange).
    const timeval operationTimeout{LdapSession::kOperationTimeoutSeconds, 0};
    ldap_set_option(ld, LDAP_OPT_TIMEOUT, &operationTimeout);
}

CallDeadline::CallDeadline(LDAP* ld, int seconds) {
    int fd = -1;
    if (ldap_get_option(ld, LDAP_OPT_DESC, &fd) != LDAP_OPT_SUCCESS || fd < 0) {
        return;
    }
    watcher_ = std::thread([this, fd, seconds] {
        std::unique_lock lock(mutex_);
        if (!returned_.wait_for(lock, std::chrono::seconds(seconds), [this] { return done_; })) {
            expired_ = true;
            // The call still owns the socket; ending it makes the blocked read return.
            shutdown(fd, SHUT_RDWR);
        }
    });
}

CallDeadline::~CallDeadline() {
    {
        std::lock_guard lock(mutex_);
        done_ = true;
    }
    returned_.notify_all();
    if (watcher_.joinable()) {
        watcher_.join();
    }
}

bool CallDeadline::expired() {
    std::lock_guard lock(mutex_);
    return expired_;
}

LDAP* LdapSession::handle(const Operation& operation) {
    if (dead_) {
        fail(dead_->code, operation, dead_->diagnostic);
    }
    if (ld_ == nullptr) {
        try {
            connect(operation);
        } catch (...) {
            drop();
            throw;
        }
        // The one reconnect after a timeout worked: the server answers again.
        suspect_ = false;
    }
    return ld_;
}

void LdapSession::open(const Operation& operation) {
    const int rc = ldap_initialize(&ld_, uris_.c_str());
    if (rc != LDAP_SUCCESS) {
        fail(rc, operation, "the server address is not a valid LDAP URI");
    }
    setSessionOptions(ld_);
    const auto start = Clock::now();
    if (const int connected = ldap_connect(ld_); connected != LDAP_SUCCESS) {
        // A host that drops packets is a silent server, not a refusing one.
        if (tookAtLeast(start, kConnectTimeoutSeconds)) {
            fail(LDAP_TIMEOUT, operation,
                 "no connection within " + std::to_string(kConnectTimeoutSeconds) + " seconds");
        }
        fail(connected, operation, diagnosticMessage());
    }
}

void LdapSession::connect(const Operation& operation) {
    open(operation);
    if (credentials_.hasKerberosTicket()) {
        if (signInWithKerberos(operation)) {
            return;
        }
        // The ticket is of no use here (another realm, no such service name): sign in with a
        // password on a fresh connection.
        drop();
        open(operation);
    }
    signInWithPassword(operation);
}

bool LdapSession::signInWithKerberos(const Operation& operation) {
    ldap_set_option(ld_, LDAP_OPT_X_SASL_NOCANON, LDAP_OPT_ON);
    CallDeadline deadline(ld_, kOperationTimeoutSeconds);
    const int rc = ldap_sasl_interactive_bind_s(ld_, nullptr, "GSSAPI", nullptr, nullptr,
                                                LDAP_SASL_QUIET, answerSaslDefaults, nullptr);
    if (rc == LDAP_TIMEOUT || (rc != LDAP_SUCCESS && deadline.expired())) {
        fail(LDAP_TIMEOUT, operation, noAnswerWithin(kOperationTimeoutSeconds));
    }
    if (isConnectionLost(rc)) {
        fail(rc, operation, diagnosticMessage());
    }
    return rc == LDAP_SUCCESS;
}

// Asked and installed step by step, so that a server that accepts StartTLS and then falls silent
// is given up after the answer timeout like any other.
void LdapSession::startTls(const Operation& operation) {
    const Operation secure{operation.what +
                               ": no secure connection (StartTLS) could be made, so "
                               "no password was sent",
                           operation.source};
    int messageId = 0;
    const int sent = ldap_start_tls(ld_, nullptr, nullptr, &messageId);
    ldap_msgfree(awaitSuccess(sent, messageId, secure));
    CallDeadline deadline(ld_, kOperationTimeoutSeconds);
    if (const int rc = ldap_install_tls(ld_); rc != LDAP_SUCCESS) {
        if (deadline.expired()) {
            fail(LDAP_TIMEOUT, secure, noAnswerWithin(kOperationTimeoutSeconds));
        }
        fail(rc, secure, diagnosticMessage());
    }
}

bool LdapSession::tryPassword(const Login& login, const Operation& operation,
                              std::optional<RunTimeError>& refusal) {
    const std::string user = qualifiedUser(login);
    // The bind reads the password where it lies; libldap encodes it once into the request.
    berval secret{static_cast<ber_len_t>(login.password.text().size()),
                  const_cast<char*>(login.password.text().data())};
    int messageId = 0;
    const int sent =
        ldap_sasl_bind(ld_, user.c_str(), LDAP_SASL_SIMPLE, &secret, nullptr, nullptr, &messageId);
    if (sent != LDAP_SUCCESS) {
        fail(sent, operation, diagnosticMessage());
    }
    LDAPMessage* answer = await(messageId, operation);
    std::string diagnostic;
    const int rc = parseResult(answer, diagnostic, nullptr);
    ldap_msgfree(answer);
    if (rc == LDAP_INVALID_CREDENTIALS) {
        refusal = ldapError(
            rc, operation.what + ": " + target_ + " refused the user name or password of " + user,
            uris_, diagnostic, operation.source);
        return false;
    }
    if (rc != LDAP_SUCCESS) {
        fail(rc, operation, diagnostic);
    }
    return true;
}

void LdapSession::signInWithPassword(const Operation& operation) {
    if (ldap_tls_inplace(ld_) == 0) {
        startTls(operation);
    }
    std::optional<RunTimeError> refusal;
    const auto outcome = credentials_.signIn({target_, false}, [&](const Login& login) {
        return tryPassword(login, operation, refusal);
    });
    if (outcome == Credentials::Outcome::SignedIn) {
        return;
    }
    if (outcome == Credentials::Outcome::Refused) {
        throw *refusal;
    }
    throw RunTimeError(hresult::Cancelled,
                       operation.what + ": signing in to " + target_ + " was cancelled",
                       operation.source);
}

}  // namespace qm
