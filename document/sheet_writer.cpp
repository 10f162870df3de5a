#include "document/sheet_writer.h"

#include "platform/core/app_identity.h"
#include "platform/textfile/csv_sheet.h"

namespace qm {

namespace {

// The step markers of an entry: a computer's user first, a directory user second.
struct EntryMarkers {
    const char* cells;
    const char* nullValue;
    const char* decode;
    const char* dayCells;
    const char* blockEnd;
    const char* lineNullValue;
    const char* lineDecode;
    const char* line;
};
constexpr EntryMarkers kComputerMarkers = {"18", "19", "20", "21", "22", "23", "24", "25"};
constexpr EntryMarkers kDirectoryMarkers = {"31", "32", "33", "34", "35", "36", "37", "38"};

const EntryMarkers& markersFor(SheetWriter::Source source) {
    return source == SheetWriter::Source::Computer ? kComputerMarkers : kDirectoryMarkers;
}

}  // namespace

SheetWriter::SheetWriter(ErrorTrap& trap, DocumentServices& services, bool workbook,
                         std::string fileName)
    : trap_(trap), services_(services), workbook_(workbook), fileName_(std::move(fileName)) {}

void SheetWriter::showCritical(const std::string& text) {
    services_.dialogs.messageBox(kAppTitle, text, MessageStyle::Critical);
}

bool SheetWriter::BeginSheet() {
    if (workbook_) {
        return beginWorkbook();
    }
    trap_.step("7");
    try {
        sink_ = createCsvSheet(fileName_);
    } catch (const RunTimeError&) {
        showCritical("CSV file " + fileName_ + " cannot be opened.");
        return false;
    }
    trap_.step("8");
    sink_->begin(services_.logonHours.biasHours().value());
    return true;
}

bool SheetWriter::beginWorkbook() {
    trap_.step("3");
    try {
        spreadsheet_ = services_.spreadsheets.start();
    } catch (const RunTimeError&) {
        showCritical(
            "Excel cannot be initialized.\r\nExcel must be installed on this computer\r\nto "
            "document logon hours in a spreadsheet.");
        return false;
    }
    trap_.step("4");
    sink_ = spreadsheet_->newWorkbook(fileName_);
    trap_.step("5");  // the new workbook's one worksheet is the sheet
    trap_.step("6");
    sink_->begin(services_.logonHours.biasHours().value());
    return true;
}

DayStrings SheetWriter::dayStrings(const Variant& logonHours, const char* nullMarker,
                                   const char* decodeMarker, const char* daysMarker) {
    DayStrings days;
    if (logonHours.isNull()) {
        trap_.step(nullMarker);
        days.fill(kAllHoursAllowed);
        return days;
    }
    trap_.step(decodeMarker);
    services_.logonHours.DecodeLogonHours(logonHours.bytes(), days);
    trap_.step(daysMarker);
    return days;
}

void SheetWriter::WriteUserEntry(Source source, const std::string& commonName,
                                 const std::string& logonName, const std::string& container,
                                 const std::string& domain, const Variant& logonHours) {
    const EntryMarkers& markers = markersFor(source);
    const UserEntryNames names{commonName, logonName, container, domain};
    if (!workbook_) {
        const DayStrings days =
            dayStrings(logonHours, markers.lineNullValue, markers.lineDecode, markers.line);
        sink_->writeNames(names);
        sink_->writeDays(days);
        return;
    }
    trap_.step(markers.cells);
    sink_->writeNames(names);
    sink_->writeDays(dayStrings(logonHours, markers.nullValue, markers.decode, markers.dayCells));
    trap_.step(markers.blockEnd);
}

bool SheetWriter::FinishSheet() {
    if (!workbook_) {
        trap_.step("44");
        sink_->finish();
        sink_.reset();
        return true;
    }
    return finishWorkbook();
}

bool SheetWriter::finishWorkbook() {
    trap_.step("41");
    trap_.step("42");
    bool saved = true;
    try {
        sink_->finish();
    } catch (const RunTimeError&) {
        showCritical("Unable to save spreadsheet " + fileName_);
        saved = false;
    }
    sink_.reset();
    trap_.step("43");
    spreadsheet_->quit();
    return saved;
}

void SheetWriter::AbandonSheet() {
    if (sink_) {
        sink_->abandon();
        sink_.reset();
    }
    if (spreadsheet_) {
        ignoringErrors([&] { spreadsheet_->quit(); });
    }
}

}  // namespace qm
