#include "platform/ldap/directory_services.h"

#include "platform/ldap/ldap_error.h"
#include "platform/ldap/ldap_object.h"
#include "platform/ldap/ldap_query.h"
#include "platform/ldap/ldap_session.h"

#include "platform/samr/winnt_provider.h"

namespace qm {

namespace {

bool startsWith(const std::string& text, const char* prefix) {
    return text.rfind(prefix, 0) == 0;
}

class PlatformDirectoryServices : public DirectoryServices {
public:
    explicit PlatformDirectoryServices(Credentials& credentials)
        : credentials_(credentials), sessions_(std::make_shared<SessionPool>(credentials)) {}

    std::unique_ptr<DirectoryObject> bind(const std::string& path) override {
        if (startsWith(path, "LDAP:")) {
            return LdapObject::bind(sessions_, path);
        }
        if (startsWith(path, "WinNT:")) {
            return bindWinNt(path, credentials_);
        }
        // What Windows' GetObject answers for a path of no known provider.
        throw RunTimeError(
            static_cast<std::int32_t>(0x800401E4),
            "Invalid syntax: " + path + " names no directory provider (LDAP: or WinNT:)",
            kLdapSource);
    }

    std::unique_ptr<Connection> newConnection() override {
        return std::make_unique<LdapConnection>(sessions_);
    }

private:
    Credentials& credentials_;
    std::shared_ptr<SessionPool> sessions_;
};

}  // namespace

std::unique_ptr<DirectoryServices> makeDirectoryServices(Credentials& credentials) {
    return std::make_unique<PlatformDirectoryServices>(credentials);
}

}  // namespace qm
