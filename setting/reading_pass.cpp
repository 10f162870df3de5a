#include "setting/reading_pass.h"

#include "logonhours/sheet_layout.h"
#include "setting/name_escape.h"

namespace qm {

namespace {

// Every step of the reading pass shows as the step before the confirmation.
constexpr RowReadMarkers kReadingMarkers = {{"14", "14", "14"}, "14", "14", "14", "14", "14", "14"};

}  // namespace

SheetValue valueOf(const UserRow& row, const LogonHours& logonHours) {
    if (sheet::holdsNoValue(row.days)) {
        return {true, std::nullopt};
    }
    Bytes value;
    if (!logonHours.EncodeLogonHours(row.days, value)) {
        return {};
    }
    return {true, std::move(value)};
}

std::string accountLabel(const UserRow& row) {
    if (SheetAccounts::isComputerRow(row)) {
        return row.domain + "\\" + row.name;
    }
    return "CN=" + EscapeName(row.rawCommonName) + "," + SheetAccounts::parentOf(row);
}

void readSheetAccounts(SheetRows& rows, const RowState& state, SheetAccounts& accounts,
                       SetPreview& preview, RestoreSheet& restore, const LogonHours& logonHours) {
    const UserRow& row = state.row;
    rows.forEach(kReadingMarkers, [&](bool invalidLine) {
        if (!invalidLine && valueOf(row, logonHours).valid) {
            accounts.note(row);
        }
    });
    accounts.read();
    rows.forEach(kReadingMarkers, [&](bool invalidLine) {
        if (invalidLine) {
            preview.invalidLine();
            return;
        }
        const SheetValue value = valueOf(row, logonHours);
        SheetAccounts::Found* found = value.valid ? accounts.find(row) : nullptr;
        if (!value.valid) {
            preview.invalidDays();
        } else if (found == nullptr) {
            preview.notFound();
        } else {
            const std::optional<Bytes>& current = found->current;
            preview.account(accountLabel(row), found->relativeId, current, value.hours);
            if (!found->listed) {
                const bool computer = SheetAccounts::isComputerRow(row);
                restore.append(computer ? row.name : row.rawCommonName, row.container, row.domain,
                               current);
                found->listed = true;
            }
        }
    });
    for (const SheetAccounts::Unreached& place : accounts.unreached()) {
        preview.unreached(place.place, place.reason);
    }
}

}  // namespace qm
