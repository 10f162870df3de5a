#include "setting/set_run.h"

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <optional>

#include "logonhours/sheet_layout.h"
#include "platform/core/app_identity.h"
#include "platform/textfile/csv_sheet.h"
#include "setting/name_escape.h"
#include "setting/reading_pass.h"
#include "setting/restore_sheet.h"
#include "setting/row_outcomes.h"
#include "setting/set_log.h"
#include "setting/sheet_accounts.h"
#include "setting/sheet_reader.h"

namespace qm {

namespace {

constexpr Int32 kMostRowsPerFile = 32767;  // what the progress bar can be given

// The step markers of one user row: a CSV line first, a workbook block second.
struct RowMarkers {
    const char* encode;
    const char* invalid;
    const char* bindComputer;
    const char* putComputer;
    const char* saveComputer;
    const char* bindDomain;
    const char* putDomain;
    const char* saveDomain;
    const char* done;
};
constexpr RowMarkers kCsvMarkers = {"37", "38", "39", "40", "41", "42", "43", "44", "45"};
constexpr RowMarkers kWorkbookMarkers = {"20", "21", "22", "23", "24", "25", "26", "27", "28"};
constexpr RowReadMarkers kApplyingMarkers = {
    {"31", "32", "33"}, "34", "35", "46", "36", "18", "19"};

std::string backslashJoined(const std::string& domain, const std::string& name) {
    return domain + "\\" + name;
}

std::string standardTime(int biasHours) {
    return sheet::offsetText(biasHours) + " (standard time)";
}

class SetRun {
public:
    SetRun(SetScreen& screen, SetServices& services)
        : screen_(screen), services_(services), trap_("QMK18", services.trap) {}

    void run() {
        trap_.run([&] { setFromFile(); }, [&](const RunTimeError& error) { onTrap(error); });
    }

private:
    // --- the run ------------------------------------------------------------------------------
    std::string logPath() { return services_.system.ApplicationPath() + "/" + kLogFileName; }
    int biasHours() const { return services_.logonHours.biasHours().value(); }

    void setFromFile() {
        trap_.step("1");
        logOpen_ = state_.inProgress = workbookOpen_ = false;
        if (!openSource()) {
            return;
        }
        rows_.emplace(csv_ ? &*csv_ : nullptr, worksheet_.get(), trap_, state_);
        const Int32 rows = workbook_ ? countBlocks() : csv_->countRows();
        trap_.step("13");
        if (!acceptCount(rows) || !confirm(rows) || !openLog(rows)) {
            return;
        }
        applyRows();
        finish();
    }

    bool openSource() {
        workbook_ = screen_.workbookChosen();
        if (workbook_) {
            trap_.step("2");
            try {
                spreadsheet_ = services_.spreadsheets.start();
            } catch (const RunTimeError&) {
                critical(
                    "Excel cannot be initialized.\r\nExcel must be installed on this "
                    "computer\r\nto read an Excel spreadsheet.");
                return false;
            }
            trap_.step("3");
            try {
                worksheet_ = spreadsheet_->openWorkbook(screen_.fileName());
            } catch (const RunTimeError&) {
                critical("Cannot open spreadsheet " + screen_.fileName() + ".");
                return false;
            }
            workbookOpen_ = true;
            trap_.step("4");  // the sheet is the workbook's first worksheet
            return true;
        }
        trap_.step("9");
        try {
            csv_.emplace(openCsvSheet(screen_.fileName()), trap_, services_.trap);
        } catch (const RunTimeError&) {
            critical("Cannot open CSV file " + screen_.fileName() + ".");
            return false;
        }
        return true;
    }

    Int32 countBlocks() {
        const Int32 blocks = WorkbookScan(*worksheet_, trap_).countBlocks();
        trap_.step("8");
        return blocks;
    }

    bool acceptCount(Int32 rows) {
        if (rows == 0) {
            services_.dialogs.messageBox(kAppTitle, "No user logon hours information found",
                                         MessageStyle::Information);
            closeWorkbook();
            return false;
        }
        if (rows > kMostRowsPerFile) {
            critical("The file " + screen_.fileName() + " lists " + std::to_string(rows.value()) +
                     " users.\r\nQuillmark sets at most 32767 users from one file:\r\nsplit it "
                     "and set each part.");
            closeWorkbook();
            return false;
        }
        screen_.progressBar().setMaximum(Int16(rows.value()));
        trap_.step("14");
        screen_.showSelectionScreen();
        return true;
    }

    // Signs in and reads every account first, so that the administrator sees what will change,
    // and the restore sheet is on the disk, before saying Yes.
    bool confirm(Int32 rows) {
        accounts_.emplace(services_.directory);
        restore_.emplace(RestoreSheet::pathFor(services_.system.ApplicationPath()),
                         services_.logonHours);
        SetPreview preview(services_.logonHours);
        readSheetAccounts(*rows_, state_, *accounts_, preview, *restore_, services_.logonHours);
        state_.inProgress = false;
        if (!restore_->finishOrAsk(services_.dialogs)) {
            closeWorkbook();
            return false;
        }
        const auto [note, offsetLine] = timeZoneTexts();
        const Answer answer = services_.dialogs.askWithDetails(
            kAppTitle,
            "Update " + std::to_string(rows.value()) + " user logon hours per file:\r\n" +
                screen_.fileName(),
            note, preview.details(offsetLine));
        if (answer != Answer::Yes) {
            restore_->discard();
            closeWorkbook();
            return false;
        }
        return true;
    }

    // A note to show before Yes when a workbook was documented in another time zone, and the
    // details' line that says in which offset the hours are read.
    std::pair<std::string, std::string> timeZoneTexts() {
        const std::string here = standardTime(biasHours());
        if (!workbook_) {
            return {{},
                    "The day strings are read in " + here +
                        ", this computer's: a comma-delimited sheet does not record its time "
                        "zone."};
        }
        const auto recorded = sheet::biasOfNote(
            WorkbookScan(*worksheet_, trap_).cellText(sheet::kVersionRow, sheet::kColumnOffset));
        if (!recorded) {
            return {{},
                    "The workbook does not record its time zone: its day strings are read in " +
                        here + ", this computer's."};
        }
        if (*recorded == biasHours()) {
            return {{}, "The workbook was documented in " + here + ", as this computer is."};
        }
        const std::string warning =
            "This workbook was documented in " + standardTime(*recorded) +
            ", but this computer is in " + here + ": its day strings would be read as " +
            sheet::offsetText(biasHours()) + " hours, and every user's logon hours would move by " +
            std::to_string(std::abs(*recorded - biasHours())) +
            " hours. To keep them as documented, answer No and set the workbook on a computer in " +
            sheet::offsetText(*recorded) + ".";
        return {warning, warning};
    }

    bool openLog(Int32 confirmedRows) {
        trap_.step("15");
        try {
            log_.open(logPath());
        } catch (const RunTimeError&) {
            critical("Unable to open log file " + logPath());
            ignoringErrors([&] { restore_->discard(); });
            closeWorkbook();
            return false;
        }
        trap_.step("16");
        logOpen_ = true;
        outcomes_.emplace(log_);
        log_.writeHeader(screen_.fileName(), services_.system.formatGrouped(confirmedRows.value()),
                         services_.system.nowText() + " (hours in " +
                             sheet::offsetText(biasHours()) + " standard time)");
        return true;
    }

    // --- the applying pass --------------------------------------------------------------------
    void applyRows() {
        trap_.step(workbook_ ? "17" : "30");
        rows_->forEach(kApplyingMarkers, [&](bool invalidLine) {
            const UserRow& row = state_.row;
            if (invalidLine) {
                outcomes_->lines({"### Invalid line for user: " + row.name +
                                  ", container: " + row.container + ", domain: " + row.domain});
                return;
            }
            if (!workbook_) {
                trap_.step("37");
                state_.inProgress = true;
            }
            applyRow(workbook_ ? kWorkbookMarkers : kCsvMarkers);
        });
        outcomes_->settleAll();
        trap_.step(workbook_ ? "29" : "47");
        closeWorkbook();
    }

    void applyRow(const RowMarkers& markers) {
        UserRow& row = state_.row;
        trap_.step(markers.encode);
        const SheetValue value = valueOf(row, services_.logonHours);
        if (!value.valid) {
            trap_.step(markers.invalid);
            outcomes_->lines(
                {"### Invalid Logon Hours for " + backslashJoined(row.domain, row.name)});
        } else if (SheetAccounts::isComputerRow(row)) {
            setAccount(markers.bindComputer, markers.putComputer, markers.saveComputer, value.hours,
                       backslashJoined(row.domain, row.name));
        } else {
            if (!workbook_) {
                row.name = EscapeName(row.name);  // the error block shows the name as escaped
            }
            setAccount(markers.bindDomain, markers.putDomain, markers.saveDomain, value.hours,
                       accountLabel(row));
        }
        trap_.step(markers.done);
        state_.inProgress = false;
        // The applying pass may count one row more than the count confirmed (a first line that
        // looked like a header); the bar shows full rather than overflow.
        screen_.progressBar().setValue(
            Int16(std::min(rows_->count().value(), kMostRowsPerFile.value())));
    }

    // The reading pass found the account, or the row fails its bind here. The save is sent, and
    // its outcome logged when its answer comes.
    void setAccount(const char* bindMarker, const char* putMarker, const char* saveMarker,
                    const std::optional<Bytes>& value, const std::string& who) {
        trap_.step(bindMarker);
        SheetAccounts::Found* found = accounts_->find(state_.row);
        if (found == nullptr) {
            outcomes_->lines({"### Unable to bind to user " + who});
            return;
        }
        trap_.step(putMarker);
        trap_.step(saveMarker);
        std::unique_ptr<PendingSave> save;
        try {
            save = accounts_->startSave(*found, who, value);
        } catch (const RunTimeError&) {  // a DN the directory could not take
            outcomes_->lines({"### Unable to bind to user " + who});
            return;
        }
        outcomes_->save(std::move(save), who);
    }

    void finish() {
        log_.write("Finished at: " + services_.system.nowText());
        trap_.step("48");
        log_.close();
        logOpen_ = false;
        services_.dialogs.messageBox(
            kAppTitle,
            "Logon Hours set for " + std::to_string(outcomes_->updated().value()) +
                " users\r\nout of " + std::to_string(rows_->count().value()) + " in file\r\n" +
                screen_.fileName() + ".\r\nSee log file " + logPath() + "\r\nfor details.",
            MessageStyle::Information);
    }

    // --- the trap's clean-up ------------------------------------------------------------------
    void onTrap(const RunTimeError& error) {
        if (logOpen_) {
            // The saves already sent are logged as their answers come, before the error.
            ignoringErrors([&] { outcomes_->settleAll(); });
            const UserRow& row = state_.row;
            ignoringErrors([&] {
                log_.writeErrorBlock(
                    std::string(trap_.marker()), error,
                    state_.inProgress ? std::optional<SetLog::RowFields>(
                                            {row.domain, row.container, row.name, row.commonName})
                                      : std::nullopt);
            });
        }
        if (workbookOpen_) {
            ignoringErrors([&] { worksheet_->close(); });
            ignoringErrors([&] { spreadsheet_->quit(); });
        }
        ignoringErrors([&] { log_.close(); });
        restore_.reset();  // a restore sheet the reading pass had not finished leaves no file
    }

    // --- helpers ------------------------------------------------------------------------------
    void critical(const std::string& text) {
        services_.dialogs.messageBox(kAppTitle, text, MessageStyle::Critical);
    }

    void closeWorkbook() {
        if (workbookOpen_) {
            worksheet_->close();
            spreadsheet_->quit();
            workbookOpen_ = false;
        }
    }

    SetScreen& screen_;
    SetServices& services_;
    ErrorTrap trap_;

    bool workbook_ = false;
    bool logOpen_ = false;
    bool workbookOpen_ = false;

    std::unique_ptr<Spreadsheet> spreadsheet_;
    std::unique_ptr<WorkbookSource> worksheet_;
    std::optional<CsvScan> csv_;
    RowState state_;
    std::optional<SheetRows> rows_;
    std::optional<SheetAccounts> accounts_;
    std::optional<RestoreSheet> restore_;
    SetLog log_;
    std::optional<RowOutcomes> outcomes_;
};

}  // namespace

void SetLogonHoursFromFile(SetScreen& screen, SetServices& services) {
    SetRun(screen, services).run();
}

}  // namespace qm
