#pragma once

#include <string>

#include "logonhours/logon_hours.h"
#include "platform/controls.h"
#include "platform/core/error_trap.h"
#include "platform/dialogs.h"
#include "platform/directory.h"
#include "platform/sheet.h"
#include "platform/system.h"

namespace qm {

// What the Set run reads from, and shows on, the two screens.
class SetScreen {
public:
    virtual ~SetScreen() = default;
    virtual bool workbookChosen() = 0;   // the first screen's optXL
    virtual std::string fileName() = 0;  // the first screen's txtFile
    virtual ProgressBar& progressBar() = 0;
    virtual void showSelectionScreen() = 0;  // on screen during the run
};

struct SetServices {
    DirectoryServices& directory;
    SpreadsheetFactory& spreadsheets;
    Dialogs& dialogs;
    TrapServices& trap;
    const LogonHours& logonHours;
    System& system;
};

// The whole Set task: reads the sheet, asks for confirmation, sets every listed user's logon hours,
// logs each outcome and shows a summary. Runs under trap QMK18.
void SetLogonHoursFromFile(SetScreen& screen, SetServices& services);

}  // namespace qm
