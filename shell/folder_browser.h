#pragma once

#include <string>

#include "platform/dialogs.h"

namespace qm {

// The first screen's Open File dialog. It keeps InitDir, FileName, DialogTitle and Filter between
// uses, so a cancelled dialog still holds the name chosen last time.
struct CommonDialog {
    std::string InitDir;
    std::string FileName;
    std::string DialogTitle;
    std::string Filter;

    // Returns when the person closes the dialog; Cancel is no error and leaves FileName as it was.
    void ShowOpen(Dialogs& dialogs);
};

inline constexpr const char* kFolderBrowserTitle = "Select folder to save output";
inline constexpr const char* kExcelInputTitle = "Select the input Excel spreadsheet file";
inline constexpr const char* kExcelInputFilter = "Excel Spreadsheet (*.xls;*.xlsx)|*.xls;*.xlsx";
inline constexpr const char* kCsvInputTitle = "Select the input CSV file";
inline constexpr const char* kCsvInputFilter = "Comma Delimited File (*.csv;*.txt)|*.csv;*.txt";

}  // namespace qm
