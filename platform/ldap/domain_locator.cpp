#include "platform/ldap/domain_locator.h"

#include <arpa/nameser.h>
#include <krb5.h>
#include <ldap.h>
#include <netinet/in.h>
#include <resolv.h>

#include <algorithm>
#include <array>
#include <vector>

#include "platform/core/text.h"

namespace qm {

namespace {

std::string clientConfigurationUri() {
    char* uri = nullptr;
    if (ldap_get_option(nullptr, LDAP_OPT_URI, &uri) != LDAP_OPT_SUCCESS || uri == nullptr) {
        return {};
    }
    std::string text(uri);
    ldap_memfree(uri);
    return text;
}

std::string kerberosDefaultRealm() {
    krb5_context context = nullptr;
    if (krb5_init_context(&context) != 0) {
        return {};
    }
    std::string realm;
    char* name = nullptr;
    if (krb5_get_default_realm(context, &name) == 0) {
        realm = name;
        krb5_free_default_realm(context, name);
    }
    krb5_free_context(context);
    return realm;
}

struct SrvTarget {
    unsigned priority;
    unsigned weight;
    unsigned port;
    std::string host;
};

std::vector<SrvTarget> srvTargets(const std::string& name) {
    std::array<unsigned char, 8192> answer{};
    const int length = res_query(name.c_str(), ns_c_in, ns_t_srv, answer.data(), answer.size());
    ns_msg message;
    if (length < 0 || ns_initparse(answer.data(), length, &message) != 0) {
        return {};
    }
    std::vector<SrvTarget> targets;
    for (int i = 0; i < ns_msg_count(message, ns_s_an); ++i) {
        ns_rr record;
        if (ns_parserr(&message, ns_s_an, i, &record) != 0 || ns_rr_type(record) != ns_t_srv ||
            ns_rr_rdlen(record) < 7) {
            continue;
        }
        const unsigned char* data = ns_rr_rdata(record);
        std::array<char, NS_MAXDNAME> host{};
        if (dn_expand(ns_msg_base(message), ns_msg_end(message), data + 6, host.data(),
                      host.size()) < 0) {
            continue;
        }
        targets.push_back({ns_get16(data), ns_get16(data + 2), ns_get16(data + 4), host.data()});
    }
    std::stable_sort(targets.begin(), targets.end(), [](const SrvTarget& a, const SrvTarget& b) {
        return a.priority != b.priority ? a.priority < b.priority : a.weight > b.weight;
    });
    return targets;
}

}  // namespace

std::string configuredServerUris() {
    const std::string uri = clientConfigurationUri();
    // With no URI configured libldap reports its built-in default, a server on localhost: the
    // Kerberos realm's SRV records come first then, and localhost only when there are none.
    if (!uri.empty() && uri.rfind("ldap://localhost", 0) != 0) {
        return uri;
    }
    const std::string realm = kerberosDefaultRealm();
    const std::string located = realm.empty() ? std::string() : srvServerUris(lowerAscii(realm));
    return located.empty() ? uri : located;
}

std::string srvServerUris(const std::string& dnsDomain) {
    std::string uris;
    for (const SrvTarget& target : srvTargets("_ldap._tcp." + dnsDomain)) {
        if (target.host.empty() || target.host == ".") {
            continue;  // "service not offered here"
        }
        uris += (uris.empty() ? "" : " ") + std::string("ldap://") + target.host;
        if (target.port != 389) {
            uris += ":" + std::to_string(target.port);
        }
    }
    return uris;
}

}  // namespace qm
