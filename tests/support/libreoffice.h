#pragma once

// LibreOffice as an independent reader and writer of workbooks: soffice converts files headless,
// with a profile of its own in the test's folder.

#include <array>

#include "support/workbook_files.h"

namespace qm::testing {

// Converts the files (names inside the folder, separated by spaces) into outdir, relative to the
// folder. format is soffice's --convert-to argument; infilter names the import filter when
// guessing it from the content could go wrong.
inline void convertWithLibreOffice(const std::filesystem::path& folder, const std::string& format,
                                   const std::string& inputs, const std::string& outdir = ".",
                                   const std::string& infilter = "") {
    runCommand("cd '" + folder.string() + "' && timeout 180 soffice -env:UserInstallation=file://" +
               (folder / "profile").string() + " --headless --norestore" +
               (infilter.empty() ? "" : " --infilter='" + infilter + "'") + " --convert-to '" +
               format + "' --outdir '" + outdir + "' " + inputs +
               " >soffice.out 2>&1 || { cat soffice.out; false; }");
}

using Week = std::array<std::string, 7>;  // Sunday first

// One user of a sheet: the name is a directory user's common name or a local account's name.
struct SheetRow {
    std::string name, logonName, container, domain;
    Week days = {};
};

inline std::string csvLines(const std::vector<SheetRow>& rows) {
    std::string lines;
    for (const auto& [name, logonName, container, domain, days] : rows) {
        lines += csvRecord({name, container, domain, days[0], days[1], days[2], days[3], days[4],
                            days[5], days[6]});
    }
    return lines;
}

// A workbook's cells by (row, column), empty ones left out: a title, then a block per user.
inline CellGrid workbookCells(const std::vector<SheetRow>& rows, const std::string& offset) {
    CellGrid cells{{{1, 1}, "Quillmark Version 2.0"},
                   {{1, 4}, "Hours in " + offset + " (standard time)"}};
    const char* const dayNames[] = {"Sunday",   "Monday", "Tuesday", "Wednesday",
                                    "Thursday", "Friday", "Saturday"};
    int r = 3;
    for (const SheetRow& row : rows) {
        const std::string names[][2] = {{"Common Name", row.name},
                                        {"Pre-Windows 2000 Logon Name", row.logonName},
                                        {"Organizational Unit or Container", row.container},
                                        {"Domain", row.domain}};
        for (int k = 0; k < 4; ++k) {
            cells[{r + k, 1}] = names[k][0];
            if (!names[k][1].empty()) {
                cells[{r + k, 2}] = names[k][1];
            }
        }
        cells[{r, 3}] = "Logon Hours";
        cells[{r, 4}] = "M-3 3-6 6-9 9-N N-3 3-6 6-9 9-M";
        for (int day = 0; day < 7; ++day) {
            cells[{r + 1 + day, 3}] = dayNames[day];
            cells[{r + 1 + day, 4}] = row.days[day];
        }
        r += 9;
    }
    return cells;
}

// The first sheet as UTF-8 CSV with every text quoted.
inline const char* const kUtf8CsvFilter = "csv:Text - txt - csv (StarCalc):44,34,76,1";

// Splits CSV text as LibreOffice writes it: quoted fields with doubled quotes, LF line ends.
inline CellGrid parseLibreOfficeCsv(const std::string& text) {
    CellGrid cells;
    int row = 1, column = 1;
    std::string field;
    bool quoted = false;
    char previous = 0;
    for (const char ch : text) {
        if (ch == '"') {
            quoted = !quoted;
            if (quoted && previous == '"') {
                field += '"';  // a doubled quote inside a quoted field
            }
        } else if (!quoted && (ch == ',' || ch == '\n')) {
            if (!field.empty()) {
                cells[{row, column}] = field;
            }
            field.clear();
            ch == ',' ? ++column : (++row, column = 1);
        } else if (quoted || ch != '\r') {
            field += ch;
        }
        previous = ch;
    }
    return cells;
}

}  // namespace qm::testing
