#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/directory.h"
#include "platform/samr/samr_client.h"

namespace qm {

// A computer as the WinNT side reaches it. Without an account domain (the local computer where no
// SMB server runs) it has no users.
class WinNtComputer : public Computer {
public:
    WinNtComputer(std::string name, std::shared_ptr<samr::AccountDomain> accounts)
        : name_(std::move(name)), accounts_(std::move(accounts)) {}

    const std::string& name() const override { return name_; }
    std::vector<HeldAccount> users() override;

private:
    std::string name_;
    std::shared_ptr<samr::AccountDomain> accounts_;
};

// One local user account. Its logon hours are read on first use.
class WinNtAccount : public Account {
public:
    WinNtAccount(std::shared_ptr<samr::AccountDomain> accounts, std::string computer,
                 std::string name, std::uint32_t rid);

    // Raised when the hours are stored in units other than hours.
    std::optional<Bytes> logonHours() override;
    void setLogonHours(const Bytes& hours) override;
    void clearLogonHours() override;

private:
    void readLogonHours();
    std::string describe() const { return "user " + name_ + " on computer " + computer_; }

    std::shared_ptr<samr::AccountDomain> accounts_;
    std::string computer_;
    std::string name_;
    std::uint32_t rid_;
    std::optional<samr::LogonHours> hours_;
};

}  // namespace qm
