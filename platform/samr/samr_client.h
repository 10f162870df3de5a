#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/core/variant.h"

namespace qm::samr {

// A SAMR step the computer refused or could not carry out, with the NTSTATUS it gave. The caller
// knows which computer and which account it was about and turns it into a RunTimeError.
class Failure : public std::runtime_error {
public:
    Failure(std::uint32_t status, const std::string& step)
        : std::runtime_error(step), status_(status) {}
    std::uint32_t status() const { return status_; }

private:
    std::uint32_t status_;
};

// How to sign in: the Kerberos ticket of the default credential cache, or a name and password
// (NTLM; domain may be empty, which a computer reads as its own). The password is the caller's,
// borrowed for the sign-in, not copied.
struct Login {
    bool kerberos = false;
    std::string user;
    std::string domain;
    const char* password = "";
};

struct Account {
    std::string name;
    std::uint32_t rid = 0;
};

// Logon hours as the computer stores them: unitsPerWeek bits, one per unit of the week.
struct LogonHours {
    std::uint16_t unitsPerWeek = 0;
    Bytes bits;
};

// Hours read in other units (minutes, days …) as the 168-hour week: an hour is allowed when every
// unit it overlaps is. Nothing when the bits do not hold the units they claim.
std::optional<Bytes> hourlyBits(std::uint32_t unitsPerWeek, const Bytes& bits);

// One SAMR connection to a computer, opened on its account domain (its own accounts, not
// Builtin). Closes its handles and the connection when destroyed.
class AccountDomain {
public:
    static std::shared_ptr<AccountDomain> open(const std::string& host, const Login& login);
    ~AccountDomain();
    AccountDomain(const AccountDomain&) = delete;
    AccountDomain& operator=(const AccountDomain&) = delete;

    // The name the computer gives for itself (its account domain's primary), as it spells it.
    const std::string& computerName() const;

    // Normal user accounts (no computer or trust accounts), in the computer's order.
    std::vector<Account> users();
    LogonHours logonHours(std::uint32_t rid);
    // Writes the hours alone (information level 4): the account's other settings stay as they are.
    void setLogonHours(std::uint32_t rid, const LogonHours& hours);

private:
    struct Impl;
    explicit AccountDomain(std::unique_ptr<Impl> impl);
    std::unique_ptr<Impl> impl_;
};

}  // namespace qm::samr
