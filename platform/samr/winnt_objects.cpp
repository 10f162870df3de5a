#include "platform/samr/winnt_objects.h"

#include "logonhours/logon_hours.h"
#include "platform/samr/winnt_errors.h"

namespace qm {

std::vector<HeldAccount> WinNtComputer::users() {
    std::vector<HeldAccount> users;
    if (accounts_ == nullptr) {
        return users;
    }
    try {
        for (const samr::Account& account : accounts_->users()) {
            users.push_back(
                {account.name, account.rid,
                 std::make_unique<WinNtAccount>(accounts_, name_, account.name, account.rid)});
        }
    } catch (const samr::Failure& failure) {
        throw samrError(failure.status(), "Cannot list the local users of computer " + name_);
    }
    return users;
}

WinNtAccount::WinNtAccount(std::shared_ptr<samr::AccountDomain> accounts, std::string computer,
                           std::string name, std::uint32_t rid)
    : accounts_(std::move(accounts)),
      computer_(std::move(computer)),
      name_(std::move(name)),
      rid_(rid) {}

void WinNtAccount::readLogonHours() {
    try {
        hours_ = accounts_->logonHours(rid_);
    } catch (const samr::Failure& failure) {
        throw samrError(failure.status(), "Cannot read the logon hours of " + describe());
    }
}

std::optional<Bytes> WinNtAccount::logonHours() {
    if (!hours_) {
        readLogonHours();
    }
    // Other units (minutes, days) are legal in the account database but cannot be shown as hours
    // without changing them, so they are reported rather than converted.
    if (hours_->unitsPerWeek != kHoursPerWeek || hours_->bits.size() != kLogonHoursBytes) {
        throw winNtError(hresultFromWin32(win32::InvalidData),
                         "The logon hours of " + describe() + " are stored in " +
                             std::to_string(hours_->unitsPerWeek) +
                             " units per week; only 168 units (one per hour) can be read. "
                             "Logon hours written by Quillmark are stored in hours.");
    }
    return hours_->bits;
}

void WinNtAccount::setLogonHours(const Bytes& hours) {
    if (hours.size() != kLogonHoursBytes) {
        throw winNtError(hresultFromWin32(win32::InvalidParameter),
                         "The logon hours of " + describe() +
                             " must be 21 bytes (168 hours), not " + std::to_string(hours.size()) +
                             " bytes.");
    }
    const samr::LogonHours value{kHoursPerWeek, hours};
    try {
        accounts_->setLogonHours(rid_, value);
    } catch (const samr::Failure& failure) {
        throw samrError(failure.status(), "Cannot write the logon hours of " + describe());
    }
    hours_ = value;
}

void WinNtAccount::clearLogonHours() {
    setLogonHours(Bytes(kLogonHoursBytes, 0xFF));
}

}  // namespace qm
