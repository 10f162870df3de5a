#include "document/sheet_writer.h"

#include "logonhours/sheet_layout.h"
#include "platform/core/app_identity.h"

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
        trap_.step("3");
        try {
            application_ = services_.spreadsheets.createApplication();
        } catch (const RunTimeError&) {
            showCritical(
                "Excel cannot be initialized.\r\nExcel must be installed on this computer\r\nto "
                "document logon hours in a spreadsheet.");
            return false;
        }
        trap_.step("4");
        application_->WorkbooksAdd();
        workbookCreated_ = true;
        trap_.step("5");
        worksheet_ = &application_->ActiveWorkbook().Worksheets(1);
        trap_.step("6");
        worksheet_->setName(sheet::kWorksheetName);
        worksheet_->setCellValue(sheet::kVersionRow, sheet::kColumnLabel, kVersionLabel);
        row_ = sheet::kVersionRow;
        return true;
    }

    trap_.step("7");
    try {
        csv_.emplace(fileName_, CsvSheetWriter::Kind::Replacing);
    } catch (const RunTimeError&) {
        showCritical("CSV file " + fileName_ + " cannot be opened.");
        return false;
    }
    trap_.step("8");
    csv_->writeHeader();
    return true;
}

void SheetWriter::WriteUserEntry(Source source, const std::string& commonName,
                                 const std::string& logonName, const std::string& container,
                                 const std::string& domain, const Variant& logonHours) {
    if (workbook_) {
        writeBlock(source, commonName, logonName, container, domain, logonHours);
    } else {
        writeLine(source, commonName, container, domain, logonHours);
    }
}

DayStrings SheetWriter::dayStrings(const Variant& logonHours, const char* nullMarker,
                                   const char* decodeMarker) {
    if (logonHours.isNull()) {
        trap_.step(nullMarker);
        DayStrings allowed;
        allowed.fill(kAllHoursAllowed);
        return allowed;
    }
    trap_.step(decodeMarker);
    services_.logonHours.DecodeLogonHours(logonHours.bytes(), days_);
    return days_;
}

void SheetWriter::writeBlock(Source source, const std::string& commonName,
                             const std::string& logonName, const std::string& container,
                             const std::string& domain, const Variant& logonHours) {
    const EntryMarkers& markers = markersFor(source);
    Worksheet& sheet = *worksheet_;
    trap_.step(markers.cells);
    row_ += 2;
    const Int32 r = row_;
    auto set = [&](Int32 offset, int column, const std::string& text) {
        sheet.setCellValue((r + offset).value(), column, text);
    };
    set(0, sheet::kColumnLabel, sheet::kCommonNameLabel);
    set(0, sheet::kColumnValue, commonName);
    set(0, sheet::kColumnDayLabel, sheet::kLogonHoursLabel);
    set(0, sheet::kColumnDay, sheet::kHoursHeading);
    set(1, sheet::kColumnLabel, sheet::kLogonNameLabel);
    set(1, sheet::kColumnValue, logonName);
    set(1, sheet::kColumnDayLabel, sheet::kDayNames[0]);
    set(2, sheet::kColumnLabel, sheet::kContainerLabel);
    set(2, sheet::kColumnValue, container);
    set(2, sheet::kColumnDayLabel, sheet::kDayNames[1]);
    set(3, sheet::kColumnLabel, sheet::kDomainLabel);
    set(3, sheet::kColumnValue, domain);
    set(3, sheet::kColumnDayLabel, sheet::kDayNames[2]);
    for (int day = 3; day < 7; ++day) {
        set(day + 1, sheet::kColumnDayLabel, sheet::kDayNames[day]);
    }

    const DayStrings days = dayStrings(logonHours, markers.nullValue, markers.decode);
    if (!logonHours.isNull()) {
        trap_.step(markers.dayCells);
    }
    for (int day = 0; day < 7; ++day) {
        set(day + 1, sheet::kColumnDay, days[day]);
    }
    trap_.step(markers.blockEnd);
    row_ += sheet::kBlockRows - 1;
}

void SheetWriter::writeLine(Source source, const std::string& commonName,
                            const std::string& container, const std::string& domain,
                            const Variant& logonHours) {
    const EntryMarkers& markers = markersFor(source);
    const DayStrings days = dayStrings(logonHours, markers.lineNullValue, markers.lineDecode);
    if (!logonHours.isNull()) {
        trap_.step(markers.line);
    }
    csv_->writeUser(commonName, container, domain, days);
}

bool SheetWriter::FinishSheet() {
    if (!workbook_) {
        trap_.step("44");
        csv_->close();
        return true;
    }
    trap_.step("41");
    worksheet_->setColumnsFontName(sheet::kColumnsRange, sheet::kFontName);
    worksheet_->setColumnsFontSize(sheet::kColumnsRange, sheet::kFontSize);
    for (int column = 1; column <= 4; ++column) {
        application_->setColumnWidth(column, sheet::kColumnWidths[column - 1]);
    }

    trap_.step("42");
    bool saved = true;
    try {
        application_->ActiveWorkbook().SaveAs(fileName_);
    } catch (const RunTimeError&) {
        showCritical("Unable to save spreadsheet " + fileName_);
        saved = false;
    }
    application_->ActiveWorkbook().Close();
    trap_.step("43");
    application_->Quit();
    workbookCreated_ = false;
    return saved;
}

void SheetWriter::AbandonSheet() {
    if (workbookCreated_) {
        ignoringErrors([&] { application_->ActiveWorkbook().SaveAs(fileName_); });
        ignoringErrors([&] { application_->ActiveWorkbook().Close(); });
        ignoringErrors([&] { application_->Quit(); });
        workbookCreated_ = false;
    }
    if (csv_) {
        ignoringErrors([&] { csv_->close(); });
    }
}

}  // namespace qm
