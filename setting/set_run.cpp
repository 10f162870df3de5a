#include "setting/set_run.h"

#include <algorithm>
#include <memory>
#include <optional>

#include "logonhours/sheet_layout.h"
#include "platform/core/app_identity.h"
#include "setting/name_escape.h"
#include "setting/restore_sheet.h"
#include "setting/set_log.h"
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

std::string backslashJoined(const std::string& domain, const std::string& name) {
    return domain + "\\" + name;
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

    void setFromFile() {
        trap_.step("1");
        logOpen_ = rowInProgress_ = workbookOpen_ = false;
        if (!openSource()) {
            return;
        }
        const Int32 rows = workbook_ ? countBlocks() : csv_->countRows();
        trap_.step("13");
        if (!confirm(rows)) {
            return;
        }
        if (!openLog(rows)) {
            return;
        }
        if (workbook_) {
            applyWorkbook();
        } else {
            applyCsv();
        }
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
            csv_.emplace(screen_.fileName(), trap_, services_.trap);
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

    bool confirm(Int32 rows) {
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
        const Answer answer =
            services_.dialogs.messageBox(kAppTitle,
                                         "Update " + std::to_string(rows.value()) +
                                             " user logon hours per file:\r\n" + screen_.fileName(),
                                         MessageStyle::Question);
        if (answer != Answer::Yes) {
            closeWorkbook();
            return false;
        }
        return true;
    }

    bool openLog(Int32 confirmedRows) {
        trap_.step("15");
        try {
            log_.open(logPath());
        } catch (const RunTimeError&) {
            critical("Unable to open log file " + logPath());
            closeWorkbook();
            return false;
        }
        trap_.step("16");
        logOpen_ = true;
        restore_.emplace(RestoreSheet::pathFor(services_.system.ApplicationPath()),
                         services_.logonHours);
        log_.writeHeader(screen_.fileName(), services_.system.formatGrouped(confirmedRows.value()),
                         services_.system.nowText());
        rowCount_ = 0;
        updated_ = 0;
        return true;
    }

    // --- the applying pass --------------------------------------------------------------------
    void applyCsv() {
        trap_.step("30");
        csv_->forEachLine({"31", "32", "33"}, [&](const CsvScan::Fields& fields) {
            trap_.step("34");
            row_ = UserRow{};
            row_.name = fields[0];
            row_.container = fields[1];
            row_.domain = fields[2];
            rowCount_ += 1;
            trap_.step("35");
            if (fields.size() != sheet::kUserLineFields) {
                trap_.step("46");
                writeLog("### Invalid line for user: " + row_.name +
                         ", container: " + row_.container + ", domain: " + row_.domain);
                return;
            }
            std::copy(fields.begin() + 3, fields.end(), row_.days.begin());
            trap_.step("36");
            if (rowCount_ == 1 && isHeaderName(row_.name)) {
                rowCount_ = 0;
                return;
            }
            row_.rawCommonName = row_.name;
            trap_.step("37");
            rowInProgress_ = true;
            applyRow(kCsvMarkers);
        });
        trap_.step("47");
    }

    void applyWorkbook() {
        trap_.step("17");
        WorkbookScan scan(*worksheet_, trap_);
        scan.forEachBlock("18", [&](Int32 r) {
            row_ = UserRow{};
            row_.rawCommonName = scan.cellText(r, sheet::kColumnValue);
            row_.commonName = EscapeName(row_.rawCommonName);
            row_.name = scan.cellText(r + 1, sheet::kColumnValue);
            row_.container = scan.cellText(r + 2, sheet::kColumnValue);
            row_.domain = scan.cellText(r + 3, sheet::kColumnValue);
            trap_.step("19");
            rowInProgress_ = true;
            for (int day = 0; day < 7; ++day) {
                row_.days[day] = scan.cellText(r + 1 + day, sheet::kColumnDay);
            }
            applyRow(kWorkbookMarkers);
        });
        trap_.step("29");
        closeWorkbook();
    }

    void applyRow(const RowMarkers& markers) {
        trap_.step(markers.encode);
        Bytes value;
        if (!services_.logonHours.EncodeLogonHours(row_.days, value)) {
            trap_.step(markers.invalid);
            writeLog("### Invalid Logon Hours for " + backslashJoined(row_.domain, row_.name));
        } else if (row_.container == row_.domain) {
            setComputerAccount(markers, value);
        } else {
            setDomainUser(markers, value);
        }
        trap_.step(markers.done);
        rowInProgress_ = false;
        if (workbook_) {
            rowCount_ += 1;
        }
        // The applying pass may count one row more than the count confirmed (a first line that
        // looked like a header); the bar shows full rather than overflow.
        screen_.progressBar().setValue(
            Int16(std::min(rowCount_.value(), kMostRowsPerFile.value())));
    }

    void setComputerAccount(const RowMarkers& markers, const Bytes& value) {
        trap_.step(markers.bindComputer);
        const std::string account = backslashJoined(row_.domain, row_.name);
        std::unique_ptr<DirectoryObject> user =
            bindOrNull("WinNT://" + row_.domain + "/" + row_.name + ",user");
        if (!user) {
            writeLog("### Unable to bind to user " + account);
            return;
        }
        restore_->append(row_.name, row_.container, row_.domain, user->Get("LoginHours"));
        trap_.step(markers.putComputer);
        user->Put("loginHours", value);
        trap_.step(markers.saveComputer);
        save(*user, account);
    }

    void setDomainUser(const RowMarkers& markers, const Bytes& value) {
        if (!workbook_) {
            row_.name = EscapeName(row_.name);
        }
        const std::string& escaped = workbook_ ? row_.commonName : row_.name;
        // A user directly in a domain object was documented with an empty container.
        const std::string parent =
            row_.container.empty() ? row_.domain : row_.container + "," + row_.domain;
        const std::string distinguishedName = "CN=" + escaped + "," + parent;
        trap_.step(markers.bindDomain);
        std::unique_ptr<DirectoryObject> user = bindOrNull("LDAP://" + distinguishedName);
        if (!user) {
            writeLog("### Unable to bind to user " + distinguishedName);
            return;
        }
        restore_->append(row_.rawCommonName, row_.container, row_.domain, user->Get("logonHours"));
        trap_.step(markers.putDomain);
        user->Put("logonHours", value);
        trap_.step(markers.saveDomain);
        save(*user, distinguishedName);
    }

    std::unique_ptr<DirectoryObject> bindOrNull(const std::string& path) {
        try {
            return services_.directory.bind(path);
        } catch (const RunTimeError&) {
            return nullptr;
        }
    }

    void save(DirectoryObject& user, const std::string& who) {
        try {
            user.SetInfo();
        } catch (const RunTimeError& error) {
            writeLog("### Unable to update user " + who);
            writeLog("###     Error Number: " + std::to_string(error.number()) +
                     ", Description: " + error.description());
            return;
        }
        writeLog("Updated " + who);
        updated_ += 1;
    }

    void finish() {
        // The restore sheet is closed first: a failure to close it must not follow the trailer.
        restore_->close();
        writeLog("Finished at: " + services_.system.nowText());
        trap_.step("48");
        log_.close();
        logOpen_ = false;
        services_.dialogs.messageBox(kAppTitle,
                                     "Logon Hours set for " + std::to_string(updated_.value()) +
                                         " users\r\nout of " + std::to_string(rowCount_.value()) +
                                         " in file\r\n" + screen_.fileName() +
                                         ".\r\nSee log file " + logPath() + "\r\nfor details.",
                                     MessageStyle::Information);
    }

    // --- the trap's clean-up ------------------------------------------------------------------
    void onTrap(const RunTimeError& error) {
        if (logOpen_) {
            ignoringErrors([&] {
                log_.writeErrorBlock(
                    std::string(trap_.marker()), error,
                    rowInProgress_ ? std::optional<SetLog::RowFields>(
                                         {row_.domain, row_.container, row_.name, row_.commonName})
                                   : std::nullopt);
            });
        }
        if (workbookOpen_) {
            ignoringErrors([&] { worksheet_->close(); });
            ignoringErrors([&] { spreadsheet_->quit(); });
        }
        ignoringErrors([&] {
            if (restore_) {
                restore_->close();
            }
        });
        ignoringErrors([&] { log_.close(); });
    }

    // --- helpers ------------------------------------------------------------------------------
    void writeLog(const std::string& line) { log_.write(line); }

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
    bool rowInProgress_ = false;
    bool workbookOpen_ = false;

    std::unique_ptr<Spreadsheet> spreadsheet_;
    std::unique_ptr<WorkbookSource> worksheet_;
    std::optional<CsvScan> csv_;
    SetLog log_;
    std::optional<RestoreSheet> restore_;

    UserRow row_;
    Int32 rowCount_ = 0;
    Int32 updated_ = 0;
};

}  // namespace

void SetLogonHoursFromFile(SetScreen& screen, SetServices& services) {
    SetRun(screen, services).run();
}

}  // namespace qm
