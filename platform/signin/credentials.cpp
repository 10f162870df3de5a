#include "platform/signin/credentials.h"

#include <krb5.h>

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

}  // namespace

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

const Credentials::Password& Credentials::password() {
    if (!asked_) {
        password_.user = dialogs_.inputBox(
            kAppTitle, "Enter user name for the directory (name@domain or DOMAIN\\name)");
        password_.password.clear();
        if (!password_.user.empty()) {
            password_.password =
                dialogs_.inputBox(kAppTitle, "Enter password for " + password_.user, true);
        }
        asked_ = true;
    }
    return password_;
}

}  // namespace qm
