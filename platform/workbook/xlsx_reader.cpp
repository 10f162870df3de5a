#include "platform/workbook/xlsx_reader.h"

#include <charconv>
#include <optional>
#include <tuple>

#include "platform/workbook/cell_reference.h"
#include "platform/workbook/cell_text.h"
#include "platform/workbook/shared_strings.h"
#include "platform/workbook/spreadsheet_error.h"
#include "platform/workbook/xml_part.h"

namespace qm {

namespace {

struct Relationship {
    std::string id;
    std::string type;
    std::string target;  // a part name inside the zip
};

std::string utf8(QStringView text) {
    return text.toString().toStdString();
}

bool endsWith(const std::string& text, std::string_view suffix) {
    return std::string_view(text).ends_with(suffix);
}

std::string folderOf(const std::string& partName) {
    const auto slash = partName.rfind('/');
    return slash == std::string::npos ? std::string() : partName.substr(0, slash + 1);
}

// A relationship's target as a part name: absolute ("/xl/...") or relative to the source's folder,
// with "." and ".." resolved.
std::string resolveTarget(const std::string& sourceFolder, const std::string& target) {
    const std::string joined = target.starts_with('/') ? target.substr(1) : sourceFolder + target;
    std::vector<std::string> segments;
    std::size_t start = 0;
    while (start <= joined.size()) {
        const std::size_t end = std::min(joined.find('/', start), joined.size());
        const std::string segment = joined.substr(start, end - start);
        if (segment == "..") {
            if (!segments.empty()) {
                segments.pop_back();
            }
        } else if (!segment.empty() && segment != ".") {
            segments.push_back(segment);
        }
        start = end + 1;
    }
    std::string part;
    for (const auto& segment : segments) {
        part += (part.empty() ? "" : "/") + segment;
    }
    return part;
}

std::string relationshipsPartOf(const std::string& partName) {
    const std::string folder = folderOf(partName);
    return folder + "_rels/" + partName.substr(folder.size()) + ".rels";
}

std::vector<Relationship> readRelationships(ZipArchive& archive, const std::string& sourcePart,
                                            const ReaderLimits& limits,
                                            DecompressionBudget& budget) {
    std::vector<Relationship> relationships;
    const std::string relsPart = relationshipsPartOf(sourcePart);
    if (!archive.has(relsPart)) {
        return relationships;
    }
    XmlPart xml(archive, relsPart, limits.otherPartBytes, budget);
    while (xml.next()) {
        if (xml.isStart(QLatin1StringView("Relationship")) &&
            xml.attribute(QLatin1StringView("TargetMode")) != QLatin1StringView("External")) {
            relationships.push_back(
                {utf8(xml.attribute(QLatin1StringView("Id"))),
                 utf8(xml.attribute(QLatin1StringView("Type"))),
                 resolveTarget(folderOf(sourcePart),
                               utf8(xml.attribute(QLatin1StringView("Target"))))});
        }
    }
    return relationships;
}

std::optional<Relationship> firstOfType(const std::vector<Relationship>& relationships,
                                        std::string_view typeSuffix) {
    for (const auto& relationship : relationships) {
        if (endsWith(relationship.type, typeSuffix)) {
            return relationship;
        }
    }
    return std::nullopt;
}

[[noreturn]] void throwNotAWorkbook(const std::string& name, const std::string& why) {
    throw spreadsheetError("The file " + name + " is not a workbook (" + why + ")");
}

// The part and name of the workbook's first <sheet> whose relationship makes it a worksheet (not
// a chart sheet); an empty part when there is none.
std::pair<std::string, std::string> firstWorksheet(XmlPart& xml,
                                                   const std::vector<Relationship>& relationships,
                                                   const std::string& displayName) {
    bool rootSeen = false;
    while (xml.next()) {
        if (!rootSeen && xml.isStart()) {
            if (xml.name() != QLatin1StringView("workbook")) {
                throwNotAWorkbook(displayName, "its main part is no workbook");
            }
            rootSeen = true;
        } else if (xml.isStart(QLatin1StringView("sheet"))) {
            const std::string id = utf8(xml.namespacedAttribute(QLatin1StringView("id")));
            for (const auto& relationship : relationships) {
                if (relationship.id == id && endsWith(relationship.type, "/worksheet")) {
                    return {relationship.target, utf8(xml.attribute(QLatin1StringView("name")))};
                }
            }
        }
    }
    return {};
}

}  // namespace

// --- Opening ----------------------------------------------------------------------------------

XlsxCellReader::XlsxCellReader(ZipArchive archive, const ReaderLimits& limits)
    : archive_(std::move(archive)), limits_(limits), budget_{limits.totalBytes} {
    locateFirstWorksheet();
    startSheetPass();
}

XlsxCellReader::~XlsxCellReader() = default;

void XlsxCellReader::locateFirstWorksheet() {
    const auto packageRelationships = readRelationships(archive_, "", limits_, budget_);
    std::string workbookPart = "xl/workbook.xml";
    if (auto office = firstOfType(packageRelationships, "/officeDocument")) {
        workbookPart = office->target;
    }
    if (!archive_.has(workbookPart)) {
        throwNotAWorkbook(archive_.displayName(), "it is a zip file without a workbook part");
    }
    const auto relationships = readRelationships(archive_, workbookPart, limits_, budget_);

    XmlPart workbook(archive_, workbookPart, limits_.otherPartBytes, budget_);
    std::tie(sheetPart_, sheetName_) =
        firstWorksheet(workbook, relationships, archive_.displayName());
    if (sheetPart_.empty()) {
        throwDamaged(archive_.displayName(), "it has no worksheet");
    }
    if (auto strings = firstOfType(relationships, "/sharedStrings")) {
        sharedStrings_ =
            std::make_unique<SharedStrings>(archive_, strings->target, limits_, budget_);
    }
}

// Opens the worksheet part and moves to its cells; a later call starts again from the top.
void XlsxCellReader::startSheetPass() {
    if (sheet_) {
        budget_.used -= sheet_->bytesRead();
    }
    sheet_.reset();
    sheet_ = std::make_unique<XmlPart>(archive_, sheetPart_, limits_.sheetBytes, budget_);
    rows_.clear();
    heldBytes_ = 0;
    lastRowRead_ = 0;
    firstHeldRow_ = 1;
    sheetEnded_ = true;
    if (!sheet_->next() || !sheet_->isStart(QLatin1StringView("worksheet"))) {
        sheet_->damaged("its first sheet is no worksheet");
    }
    while (sheet_->next()) {
        if (sheet_->isStart(QLatin1StringView("sheetData"))) {
            sheetEnded_ = false;
            return;
        }
        if (sheet_->isStart()) {
            sheet_->skipElement();
        }
    }
}

// --- Reading ----------------------------------------------------------------------------------

Variant XlsxCellReader::cellValue(std::int32_t row, std::int32_t column) {
    if (!isInsideWorksheet(row, column)) {
        throw spreadsheetError("Cells(" + std::to_string(row) + ", " + std::to_string(column) +
                               ") is outside the worksheet");
    }
    if (row < firstHeldRow_) {
        startSheetPass();
    }
    while (!sheetEnded_ && lastRowRead_ <= row) {
        sheetEnded_ = !readNextRow();
        dropRowsBelow(row - kHistoryRows);
        keepHeldRowsSmall(row);
    }
    dropRowsBelow(row - kHistoryRows);
    for (const auto& held : rows_) {
        if (held.number != row) {
            continue;
        }
        for (auto cell = held.cells.rbegin(); cell != held.cells.rend(); ++cell) {
            if (cell->column == column) {
                return valueOf(*cell, row);
            }
        }
    }
    return Variant();
}

Variant XlsxCellReader::valueOf(const Cell& cell, std::int32_t row) const {
    switch (cell.kind) {
        case Kind::SharedString:
            return Variant(sharedStrings_->text(cell.sharedIndex));
        case Kind::Error:
            throw RunTimeError(err::TypeMismatch,
                               "Type mismatch (cell " + cellName(row, cell.column) +
                                   " holds the error value " + cell.text + ", not a text)",
                               kSpreadsheetSource);
        case Kind::Text:
            break;
    }
    return Variant(cell.text);
}

void XlsxCellReader::dropRowsBelow(std::int32_t row) {
    while (!rows_.empty() && rows_.front().number < row) {
        heldBytes_ -= rows_.front().bytes;
        rows_.pop_front();
    }
    firstHeldRow_ = std::max(firstHeldRow_, row);
}

// Lets go of the oldest rows above the one asked for while the held rows are too large.
void XlsxCellReader::keepHeldRowsSmall(std::int32_t row) {
    while (heldBytes_ > kMaxHeldBytes && !rows_.empty() && rows_.front().number < row) {
        dropRowsBelow(rows_.front().number + 1);
    }
}

bool XlsxCellReader::readNextRow() {
    while (sheet_->next()) {
        if (sheet_->isStart(QLatin1StringView("row"))) {
            Row row;
            readRow(row);
            if (!row.cells.empty()) {
                heldBytes_ += row.bytes;
                rows_.push_back(std::move(row));
            }
            return true;
        }
        if (sheet_->isEnd(QLatin1StringView("sheetData"))) {
            return false;
        }
        if (sheet_->isStart()) {
            sheet_->skipElement();
        }
    }
    sheet_->damaged("its worksheet ends inside the cells");
}

void XlsxCellReader::readRow(Row& row) {
    const QString number = sheet_->attribute(QLatin1StringView("r"));
    if (number.isEmpty()) {
        row.number = lastRowRead_ + 1;
    } else {
        bool ok = false;
        row.number = number.toInt(&ok);
        if (!ok || row.number < 1 || row.number > kMaxRows) {
            sheet_->damaged("its worksheet has a row numbered " + number.toStdString());
        }
    }
    if (row.number <= lastRowRead_ || row.number > kMaxRows) {
        sheet_->damaged("its worksheet rows are out of order at row " + std::to_string(row.number));
    }
    lastRowRead_ = row.number;
    while (sheet_->next() && !sheet_->isEnd(QLatin1StringView("row"))) {
        if (sheet_->isStart(QLatin1StringView("c"))) {
            if (row.cells.size() == static_cast<std::size_t>(kMaxColumns)) {
                sheet_->damaged("its row " + std::to_string(row.number) + " has too many cells");
            }
            readCell(row);
            if (row.bytes > kMaxHeldBytes) {
                sheet_->damaged("its row " + std::to_string(row.number) + " holds more than " +
                                std::to_string(kMaxHeldBytes >> 20) + " MB");
            }
        } else if (sheet_->isStart()) {
            sheet_->skipElement();
        }
    }
}

void XlsxCellReader::readCell(Row& row) {
    std::int32_t column = row.cells.empty() ? 1 : row.cells.back().column + 1;
    const std::string reference = utf8(sheet_->attribute(QLatin1StringView("r")));
    if (!reference.empty()) {
        const auto position = parseCellReference(reference);
        if (!position) {
            sheet_->damaged("its worksheet has a cell reference " + reference.substr(0, 20) +
                            " outside the worksheet");
        }
        column = position->column;
    }
    if (column > kMaxColumns) {
        sheet_->damaged("its worksheet has a cell beyond column XFD");
    }
    const std::string type = utf8(sheet_->attribute(QLatin1StringView("t")));
    std::optional<std::string> value;
    while (sheet_->next() && !sheet_->isEnd(QLatin1StringView("c"))) {
        if (sheet_->isStart(QLatin1StringView("v"))) {
            value = sheet_->elementText(qsizetype{cell_text::kMaxCharacters}).toStdString();
        } else if (sheet_->isStart(QLatin1StringView("is"))) {
            value = richText(*sheet_);
        } else if (sheet_->isStart()) {
            sheet_->skipElement();
        }
    }
    const bool blankNumber = (type.empty() || type == "n") && value && value->empty();
    if (value && !blankNumber) {
        row.cells.push_back(makeCell(type, *value, column));
        row.bytes += sizeof(Cell) + row.cells.back().text.size();
    }
}

// The value of a cell as its type says: a shared string, an inline or formula text, a boolean,
// an error value or a number.
XlsxCellReader::Cell XlsxCellReader::makeCell(const std::string& type, const std::string& value,
                                              std::int32_t column) const {
    if (type == "s") {
        const auto index = sharedStrings_ ? sharedStrings_->indexOf(value) : std::nullopt;
        if (!index) {
            sheet_->damaged("column " + columnName(column) + " of row " +
                            std::to_string(lastRowRead_) + " names a missing shared string");
        }
        return {column, Kind::SharedString, *index, {}};
    }
    return {column, type == "e" ? Kind::Error : Kind::Text, 0, cellText(type, value, column)};
}

std::string XlsxCellReader::cellText(const std::string& type, const std::string& value,
                                     std::int32_t column) const {
    if (type == "inlineStr" || type == "e" || type == "d") {
        return value;
    }
    if (type == "str") {
        return cell_text::decodeOoxml(value);
    }
    if (type == "b") {
        return value == "1" || value == "true" ? "TRUE" : "FALSE";
    }
    double number = 0;
    const auto first = value.find_first_not_of(" \t\r\n");
    const auto last = value.find_last_not_of(" \t\r\n");
    const char* begin = value.data() + (first == std::string::npos ? value.size() : first);
    const char* end = value.data() + (last == std::string::npos ? value.size() : last + 1);
    const auto [stop, error] = std::from_chars(begin, end, number);
    if (error != std::errc() || stop != end) {
        sheet_->damaged("cell " + cellName(lastRowRead_, column) + " holds \"" +
                        value.substr(0, 40) + "\", which is no number");
    }
    return cell_text::formatNumber(number);
}

}  // namespace qm
