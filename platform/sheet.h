#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "logonhours/logon_hours.h"

namespace qm {

// The logon-hours sheet as the runs see it: the Document run writes user entries to a sink, the
// Set run reads a workbook's cells or a comma-delimited sheet's lines.
// Every failure is a RunTimeError.

// Who one user entry is about.
struct UserEntryNames {
    std::string commonName;
    std::string logonName;  // written to the workbook form only
    std::string container;
    std::string domain;
};

// Where the Document run's sheet writer puts its user entries: a comma-delimited file or a
// workbook.
class SheetSink {
public:
    virtual ~SheetSink() = default;
    // The header row, or the worksheet's name, version label and the standard offset the hours
    // are written in (a comma-delimited sheet has no room for the offset).
    virtual void begin(int biasHours) = 0;
    // One user entry in two halves, as the run learns them: its names, then its seven days.
    virtual void writeNames(const UserEntryNames& names) = 0;
    virtual void writeDays(const DayStrings& days) = 0;
    // Completes the file under its name: a workbook is formatted and saved (a failure to save is
    // an error, and the workbook is closed all the same).
    virtual void finish() = 0;
    // From a run's error trap: keeps what was written so far under the file's name. Never fails.
    virtual void abandon() noexcept = 0;
};

// A comma-delimited sheet the Set run opened, line by line. It is read from a private copy taken
// when it was opened, so every pass reads the lines the first one counted, whatever happens to the
// file meanwhile.
class CsvSource {
public:
    virtual ~CsvSource() = default;
    // Starts a pass at the first line.
    virtual void rewind() = 0;
    // The next line as UTF-8 without its end; false after the last.
    virtual bool readLine(std::string& line) = 0;
};

// The first worksheet of a workbook the Set run opened.
class WorkbookSource {
public:
    virtual ~WorkbookSource() = default;
    // The text a person sees in the cell, empty for a blank one; a cell holding an error value
    // has none (run-time error 13).
    virtual std::string cellText(std::int32_t row, int column) = 0;
    virtual void close() = 0;
};

// The spreadsheet component, started for one run and quit at its end.
class Spreadsheet {
public:
    virtual ~Spreadsheet() = default;
    virtual std::unique_ptr<SheetSink> newWorkbook(const std::string& fileName) = 0;
    // Opening fails for a file that is missing, not a workbook, damaged or not a regular file.
    virtual std::unique_ptr<WorkbookSource> openWorkbook(const std::string& fileName) = 0;
    virtual void quit() = 0;
};

class SpreadsheetFactory {
public:
    virtual ~SpreadsheetFactory() = default;
    // Fails when there is no spreadsheet component to start.
    virtual std::unique_ptr<Spreadsheet> start() = 0;
};

}  // namespace qm
