#pragma once

#include <string>

#include "platform/dialogs.h"

namespace qm {

// Who the person running Quillmark is, for the directory and the computers: their Kerberos ticket
// when they hold one (the counterpart of running under their Windows account), otherwise a user
// name and password asked once per program run. Credentials live in memory only: never logged,
// never written anywhere.
class Credentials {
public:
    explicit Credentials(Dialogs& dialogs) : dialogs_(dialogs) {}
    virtual ~Credentials() = default;

    // True when the default credential cache holds a ticket-granting ticket that has not expired.
    virtual bool hasKerberosTicket() const;

    struct Password {
        std::string user;  // as typed: "name", "name@corp.test" or "CORP\name"
        std::string password;
    };
    // Asks in two input boxes titled "Quillmark" the first time (the password masked) and returns
    // the same answer afterwards. An empty user name means the person cancelled.
    virtual const Password& password();
    // After a refused sign-in the next password() asks again.
    void forgetPassword() { asked_ = false; }

private:
    Dialogs& dialogs_;
    Password password_;
    bool asked_ = false;
};

}  // namespace qm
