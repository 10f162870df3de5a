#include "platform/samr/winnt_objects.h"

#include "platform/samr/winnt_errors.h"
#include "platform/samr/winnt_path.h"

namespace qm {

namespace {

constexpr std::uint16_t kHoursPerWeek = 168;
constexpr std::size_t kLogonHoursBytes = 21;

RunTimeError propertyNotFound(const std::string& property, const std::string& object) {
    return winNtError(kPropertyNotFound, "The property " + property + " of " + object +
                                             " cannot be found: the WinNT provider reads "
                                             "LoginHours of a user only.");
}

RunTimeError propertyNotSupported(const std::string& property, const std::string& object) {
    return winNtError(kPropertyNotSupported, "The property " + property + " of " + object +
                                                 " cannot be written: the WinNT provider writes "
                                                 "loginHours of a user only.");
}

}  // namespace

WinNtComputer::WinNtComputer(std::string name, std::shared_ptr<samr::AccountDomain> accounts)
    : name_(std::move(name)), accounts_(std::move(accounts)) {}

Variant WinNtComputer::Get(const std::string& property) {
    throw propertyNotFound(property, "computer " + name_);
}

void WinNtComputer::setFilter(const std::vector<std::string>& classNames) {
    listsUsers_ = classNames.empty();
    for (const std::string& className : classNames) {
        listsUsers_ = listsUsers_ || equalsIgnoringCase(className, "user");
    }
}

std::vector<std::unique_ptr<DirectoryObject>> WinNtComputer::children() {
    std::vector<std::unique_ptr<DirectoryObject>> users;
    if (!listsUsers_ || accounts_ == nullptr) {
        return users;
    }
    try {
        for (const samr::Account& account : accounts_->users()) {
            users.push_back(
                std::make_unique<WinNtUser>(accounts_, name_, account.name, account.rid));
        }
    } catch (const samr::Failure& failure) {
        throw samrError(failure.status(), "Cannot list the local users of computer " + name_);
    }
    return users;
}

void WinNtComputer::Put(const std::string& property, const Variant&) {
    throw propertyNotSupported(property, "computer " + name_);
}

void WinNtComputer::SetInfo() {}

WinNtUser::WinNtUser(std::shared_ptr<samr::AccountDomain> accounts, std::string computer,
                     std::string name, std::uint32_t rid)
    : accounts_(std::move(accounts)),
      computer_(std::move(computer)),
      name_(std::move(name)),
      rid_(rid) {}

void WinNtUser::readLogonHours() {
    try {
        hours_ = accounts_->logonHours(rid_);
    } catch (const samr::Failure& failure) {
        throw samrError(failure.status(), "Cannot read the logon hours of " + describe());
    }
}

Variant WinNtUser::Get(const std::string& property) {
    if (!equalsIgnoringCase(property, "LoginHours")) {
        throw propertyNotFound(property, describe());
    }
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
    return Variant(hours_->bits);
}

void WinNtUser::Put(const std::string& property, const Variant& value) {
    if (!equalsIgnoringCase(property, "loginHours")) {
        throw propertyNotSupported(property, describe());
    }
    if (value.type() != Variant::Type::Bytes || value.bytes().size() != kLogonHoursBytes) {
        const std::string given = value.type() == Variant::Type::Bytes
                                      ? std::to_string(value.bytes().size()) + " bytes"
                                      : "a value of type " + value.typeName();
        throw winNtError(hresultFromWin32(win32::InvalidParameter),
                         "The logon hours of " + describe() +
                             " must be 21 bytes (168 hours), not " + given + ".");
    }
    staged_ = value.bytes();
}

void WinNtUser::SetInfo() {
    if (!staged_) {
        return;
    }
    const samr::LogonHours hours{kHoursPerWeek, *staged_};
    try {
        accounts_->setLogonHours(rid_, hours);
    } catch (const samr::Failure& failure) {
        throw samrError(failure.status(), "Cannot write the logon hours of " + describe());
    }
    hours_ = hours;
    staged_.reset();
}

}  // namespace qm
