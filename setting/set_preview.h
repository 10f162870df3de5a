#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "logonhours/logon_hours.h"

namespace qm {

// What a confirmed Set run will do, told before the administrator answers: each account that
// changes with its days old -> new, the accounts a domain depends on first, and the counts of the
// rest. Built row by row from what the reading pass found; the list of changes is cut short so
// that a sheet of any size opens at once.
class SetPreview {
public:
    static constexpr int kMostChangesListed = 1000;

    explicit SetPreview(const LogonHours& logonHours) : logonHours_(logonHours) {}

    void invalidLine() { ++invalidLines_; }
    void invalidDays() { ++invalidDays_; }
    void notFound() { ++notFound_; }
    // An account found, with the value it holds and the value the sheet gives it (none: the
    // sheet removes the value).
    void account(const std::string& who, std::uint32_t relativeId,
                 const std::optional<Bytes>& current, const std::optional<Bytes>& next);
    void unreached(const std::string& place, const std::string& reason);

    // The text under the details button; the last line names the offset the hours are read in.
    std::string details(const std::string& offsetLine) const;

private:
    void daysOf(const std::optional<Bytes>& value, DayStrings& days) const;

    const LogonHours& logonHours_;
    std::string builtIns_;
    std::string changes_;
    std::string unreached_;
    int changed_ = 0;
    int unchanged_ = 0;
    int withoutValue_ = 0;
    int invalidLines_ = 0;
    int invalidDays_ = 0;
    int notFound_ = 0;
};

}  // namespace qm
