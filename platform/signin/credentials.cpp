#include "platform/signin/credentials.h"

#include <krb5.h>
#include <string.h>
#include <sys/prctl.h>
#include <sys/resource.h>

#include <ctime>

#include "platform/core/app_identity.h"

namespace qm {

namespace {

// Whether the cache holds a TGT of the principal's own realm that is still valid.
bool cacheHasValidTgt(krb5_context context, krb5_ccache cache) {
    krb5_principal client = nullptr;
    if (krb5_cc_get_principal(context, cache, &client) != 0) {
        return false;
    }
    krb5_cc_cursor cursor;
    bool found = false;
    if (krb5_cc_start_seq_get(context, cache, &cursor) == 0) {
        krb5_creds creds;
        while (!found && krb5_cc_next_cred(context, cache, &cursor, &creds) == 0) {
            const krb5_data* service = krb5_princ_component(context, creds.server, 0);
            const bool isTgt = service != nullptr && service->length == 6 &&
                               std::string(service->data, service->length) == "krbtgt";
            found = isTgt && creds.times.endtime > std::time(nullptr);
            krb5_free_cred_contents(context, &creds);
        }
        krb5_cc_end_seq_get(context, cache, &cursor);
    }
    krb5_free_principal(context, client);
    return found;
}

std::string userPrompt(const SignInTarget& target, int refusals) {
    std::string prompt;
    if (refusals > 0) {
        prompt = target.name + " refused the user name or password (try " +
                 std::to_string(refusals + 1) + " of " + std::to_string(Credentials::kTries) +
                 ").\n";
    }
    const std::string kind = target.isComputer ? "computer " : "domain ";
    return prompt + "Sign in to " + kind + target.name +
           ": enter a user name as name, name@domain or DOMAIN\\name (a name alone is an "
           "account of " +
           target.name + ")";
}

}  // namespace

void wipeText(std::string& text) {
    explicit_bzero(text.data(), text.size());
    text.clear();
}

Secret::Secret(std::string& text) : text_(text) {
    wipeText(text);
}

Secret::Secret(Secret&& other) noexcept {
    *this = std::move(other);
}

Secret& Secret::operator=(Secret&& other) noexcept {
    if (this != &other) {
        wipe();
        // Copied, not moved: a short text lives inside the string object, which a move would
        // leave behind unwiped.
        text_.assign(other.text_);
        other.wipe();
    }
    return *this;
}

void Secret::wipe() {
    wipeText(text_);
}

void protectProcessMemory() {
    prctl(PR_SET_DUMPABLE, 0, 0, 0, 0);
    const rlimit noCore{0, 0};
    setrlimit(RLIMIT_CORE, &noCore);
}

bool Credentials::hasKerberosTicket() const {
    krb5_context context = nullptr;
    if (krb5_init_context(&context) != 0) {
        return false;
    }
    krb5_ccache cache = nullptr;
    bool valid = false;
    if (krb5_cc_default(context, &cache) == 0) {
        valid = cacheHasValidTgt(context, cache);
        krb5_cc_close(context, cache);
    }
    krb5_free_context(context);
    return valid;
}

std::optional<Login> Credentials::ask(const SignInTarget& target, int refusals) {
    std::string user = dialogs_.inputBox(kAppTitle, userPrompt(target, refusals));
    if (user.empty()) {
        return std::nullopt;
    }
    protectProcessMemory();
    std::string typed =
        dialogs_.inputBox(kAppTitle, "Enter the password of " + user + " for " + target.name, true);
    if (typed.empty()) {
        // An empty password would make an anonymous LDAP bind that succeeds and then sees
        // nothing: it counts as a cancelled sign-in.
        return std::nullopt;
    }
    return Login{user, Secret(typed), target.name};
}

Credentials::Outcome Credentials::signIn(const SignInTarget& target, const Attempt& attempt) {
    if (accepted_ && attempt(*accepted_)) {
        return Outcome::SignedIn;
    }
    Outcome outcome = Outcome::Cancelled;
    for (int refusals = 0; refusals < kTries; ++refusals) {
        std::optional<Login> login = ask(target, refusals);
        if (!login) {
            return outcome;
        }
        if (attempt(*login)) {
            accepted_ = std::move(login);
            return Outcome::SignedIn;
        }
        outcome = Outcome::Refused;
    }
    return outcome;
}

}  // namespace qm
