#include "setting/set_preview.h"

#include <algorithm>

#include "logonhours/sheet_layout.h"

namespace qm {

namespace {

constexpr const char* kNewLine = "\r\n";

// The accounts a domain cannot do without, by their well-known relative ids.
const char* builtInName(std::uint32_t relativeId) {
    switch (relativeId) {
        case 500:
            return "the built-in Administrator";
        case 501:
            return "the built-in Guest";
        case 502:
            return "krbtgt, the key distribution service account";
        default:
            return nullptr;
    }
}

std::string padded(std::string text, std::size_t width) {
    text.resize(std::max(text.size(), width), ' ');
    return text;
}

}  // namespace

// Only the 21 bytes the conversions know are shown; a longer value changes in any case.
void SetPreview::daysOf(const std::optional<Bytes>& value, DayStrings& days) const {
    if (!value) {
        days.fill(sheet::kNoValueDay);
        return;
    }
    Bytes known = *value;
    known.resize(kLogonHoursBytes);
    logonHours_.DecodeLogonHours(known, days);
}

void SetPreview::account(const std::string& who, std::uint32_t relativeId,
                         const std::optional<Bytes>& current, const std::optional<Bytes>& next) {
    const bool changes = current != next;
    withoutValue_ += current ? 0 : 1;
    if (const char* builtIn = builtInName(relativeId)) {
        builtIns_ += "    " + who + " (" + builtIn + ")" +
                     (changes ? ": will change" : ": stays as it is") + kNewLine;
    }
    if (!changes) {
        ++unchanged_;
        return;
    }
    if (++changed_ > kMostChangesListed) {
        return;
    }
    DayStrings before;
    DayStrings after;
    daysOf(current, before);
    daysOf(next, after);
    changes_ += who + kNewLine;
    for (std::size_t day = 0; day < before.size(); ++day) {
        if (before[day] != after[day]) {
            changes_ += "    " + padded(sheet::kDayNames[day], 10) + before[day] + " -> " +
                        after[day] + kNewLine;
        }
    }
}

void SetPreview::unreached(const std::string& place, const std::string& reason) {
    unreached_ += "    " + place + ": " + reason + kNewLine;
}

std::string SetPreview::details(const std::string& offsetLine) const {
    std::string text;
    if (!builtIns_.empty()) {
        text += "Accounts a domain depends on:" + std::string(kNewLine) + builtIns_ + kNewLine;
    }
    text += std::to_string(changed_) + " users will change:" + kNewLine + changes_;
    if (changed_ > kMostChangesListed) {
        text += "    and " + std::to_string(changed_ - kMostChangesListed) + " more" + kNewLine;
    }
    const int failing = notFound_ + invalidDays_ + invalidLines_;
    text += std::string(kNewLine) + std::to_string(unchanged_) +
            " users already hold the sheet's value." + kNewLine + std::to_string(failing) +
            " rows will fail: " + std::to_string(notFound_) + " not found, " +
            std::to_string(invalidDays_) + " with invalid day strings, " +
            std::to_string(invalidLines_) + " invalid lines." + kNewLine +
            std::to_string(withoutValue_) + " users have no value today." + kNewLine;
    if (!unreached_.empty()) {
        text += "Could not be read:" + std::string(kNewLine) + unreached_;
    }
    return text + offsetLine;
}

}  // namespace qm
