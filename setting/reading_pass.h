#pragma once

#include <optional>
#include <string>

#include "logonhours/logon_hours.h"
#include "setting/restore_sheet.h"
#include "setting/set_preview.h"
#include "setting/sheet_accounts.h"
#include "setting/sheet_reader.h"

namespace qm {

// What a row asks for: a value to write, or none to remove the value; not valid when a day string
// is invalid.
struct SheetValue {
    bool valid = false;
    std::optional<Bytes> hours;
};
SheetValue valueOf(const UserRow& row, const LogonHours& logonHours);

// The account a row names, as the log writes it: "DOMAIN\name" for a computer's account, the
// distinguished name of a domain user.
std::string accountLabel(const UserRow& row);

// The reading pass, between the counting pass and the confirmation: finds every account the sheet
// names (signing in where needed), then tells the preview what each row will do and lists each
// account's present value in the restore sheet. Nothing is written to any account.
void readSheetAccounts(SheetRows& rows, const RowState& state, SheetAccounts& accounts,
                       SetPreview& preview, RestoreSheet& restore, const LogonHours& logonHours);

}  // namespace qm
