#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/directory.h"
#include "platform/samr/samr_client.h"

namespace qm {

// A computer as the WinNT provider binds it. Without an account domain (the local computer where no
// SMB server runs) it has no users.
class WinNtComputer : public DirectoryObject {
public:
    WinNtComputer(std::string name, std::shared_ptr<samr::AccountDomain> accounts);

    std::string ADsPath() const override { return "WinNT://" + name_; }
    std::string Name() const override { return name_; }
    Variant Get(const std::string& property) override;
    void setFilter(const std::vector<std::string>& classNames) override;
    std::vector<std::unique_ptr<DirectoryObject>> children() override;
    void Put(const std::string& property, const Variant& value) override;
    void SetInfo() override;

private:
    std::string name_;
    std::shared_ptr<samr::AccountDomain> accounts_;
    bool listsUsers_ = true;
};

// One local user account. Its logon hours are read on first use (at once when bound by path, so
// that reading them later costs no round trip) and written by SetInfo.
class WinNtUser : public DirectoryObject {
public:
    WinNtUser(std::shared_ptr<samr::AccountDomain> accounts, std::string computer, std::string name,
              std::uint32_t rid);

    std::string ADsPath() const override { return "WinNT://" + computer_ + "/" + name_; }
    std::string Name() const override { return name_; }
    Variant Get(const std::string& property) override;
    void setFilter(const std::vector<std::string>&) override {}
    std::vector<std::unique_ptr<DirectoryObject>> children() override { return {}; }
    void Put(const std::string& property, const Variant& value) override;
    void SetInfo() override;

    void readLogonHours();

private:
    std::string describe() const { return "user " + name_ + " on computer " + computer_; }

    std::shared_ptr<samr::AccountDomain> accounts_;
    std::string computer_;
    std::string name_;
    std::uint32_t rid_;
    std::optional<samr::LogonHours> hours_;
    std::optional<Bytes> staged_;
};

}  // namespace qm
