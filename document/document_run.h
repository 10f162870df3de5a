#pragma once

#include <string>

#include "logonhours/logon_hours.h"
#include "platform/controls.h"
#include "platform/core/checked_int.h"
#include "platform/core/error_trap.h"
#include "platform/dialogs.h"
#include "platform/directory.h"
#include "platform/sheet.h"
#include "platform/system.h"

namespace qm {

// One node of the container tree as the run reads it.
struct TreeNodeState {
    bool checked = false;
    std::string tag;   // "Local Computer", "Domain" or "Domain Container"
    std::string text;  // a computer node's Text is the computer's name
    std::string key;   // a directory node's Key is its "LDAP://" path
};

// What the Document run reads from, and moves on, the two screens.
class DocumentScreen {
public:
    virtual ~DocumentScreen() = default;
    virtual std::string countCaption() = 0;  // lblCount, with digit grouping
    virtual Int16 nodeCount() = 0;
    virtual TreeNodeState node(Int16 index) = 0;  // 1-based, in order of addition
    virtual ProgressBar& progressBar() = 0;       // pbrUsers
    virtual bool workbookChosen() = 0;            // the first screen's optXL
    virtual std::string fileName() = 0;           // the first screen's txtFile
};

// The platform services the run works through.
struct DocumentServices {
    DirectoryServices& directory;
    Connection* connection;  // DirectoryConnection; null when start-up found no domain
    SpreadsheetFactory& spreadsheets;
    Dialogs& dialogs;
    TrapServices& trap;
    const LogonHours& logonHours;
    System& system;
};

// The Document button's run: every user directly in the checked nodes, one entry each, into the
// logon-hours sheet. Runs under trap QMK3.
void cmdOK_Click(DocumentScreen& screen, DocumentServices& services);

}  // namespace qm
