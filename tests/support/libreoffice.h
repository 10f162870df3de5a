#pragma once

// LibreOffice as an independent reader and writer of workbooks: soffice converts files headless,
// with a profile of its own in the test's folder.

#include <cstdlib>
#include <filesystem>
#include <map>
#include <stdexcept>
#include <string>

#include "support/workbook_files.h"

namespace qm::testing {

// Cells by (row, column), empty ones left out.
using CellGrid = std::map<std::pair<int, int>, std::string>;

// Converts the files (names inside the folder, separated by spaces) into outdir, relative to the
// folder. format is soffice's --convert-to argument; infilter names the import filter when
// guessing it from the content could go wrong.
inline void convertWithLibreOffice(const std::filesystem::path& folder, const std::string& format,
                                   const std::string& inputs, const std::string& outdir = ".",
                                   const std::string& infilter = "") {
    const std::string command =
        "cd '" + folder.string() + "' && timeout 180 soffice -env:UserInstallation=file://" +
        (folder / "profile").string() + " --headless --norestore" +
        (infilter.empty() ? "" : " --infilter='" + infilter + "'") + " --convert-to '" + format +
        "' --outdir '" + outdir + "' " + inputs + " >soffice.out 2>&1";
    if (std::system(command.c_str()) != 0) {
        throw std::runtime_error(command + "\n" + readBytes((folder / "soffice.out").string()));
    }
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
