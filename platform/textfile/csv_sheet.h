#pragma once

#include <sys/types.h>

#include <memory>
#include <string>
#include <vector>

#include "logonhours/logon_hours.h"
#include "platform/sheet.h"

namespace qm {

// Writes the comma-delimited logon-hours sheet: the header row, then one line per user. The
// Document run's sheet and the Set run's restore sheet are both written by it. The file is built
// under a temporary name beside the target and renamed over it when closed, so a run killed
// half-way leaves no half-written sheet under the name. It is written in Windows-1252 while every
// character fits; the first one that does not turns the whole file into UTF-8 with a byte-order
// mark, so no name is ever lost. Lines reach the file in blocks, and the disk starts taking each
// block at once, so that the sync of close() finds little left to wait for.
class CsvSheetWriter {
public:
    // Opens the file; a failure is the file's RunTimeError and leaves nothing behind.
    explicit CsvSheetWriter(std::string path);
    ~CsvSheetWriter();  // drops an unfinished temporary file
    CsvSheetWriter(const CsvSheetWriter&) = delete;
    CsvSheetWriter& operator=(const CsvSheetWriter&) = delete;

    void writeHeader();
    void writeUser(const std::string& name, const std::string& container, const std::string& domain,
                   const DayStrings& days);
    // Completes the file under its name, on the disk. When a block of lines cannot be written,
    // the file keeps the whole lines before the failure and the error is raised.
    void close();

private:
    void writeRecord(const std::vector<std::string>& fields);
    void writePending();
    void writeBytes(std::string_view bytes);
    void switchToUtf8();

    std::string path_;
    std::string temporary_;  // until closed
    int fd_ = -1;
    bool utf8_ = false;
    std::string pending_;                // whole lines, in the file's encoding
    std::vector<std::size_t> lineEnds_;  // where each of them ends in pending_
    off_t written_ = 0;                  // the file's length: whole lines only
};

// The Document run's comma-delimited sheet: its entries are lines, it has no logon name, and
// abandoning it keeps the lines written so far under its name.
std::unique_ptr<SheetSink> createCsvSheet(const std::string& fileName);

// A comma-delimited sheet for the Set run to read; a file that cannot be opened or copied is the
// file's RunTimeError.
std::unique_ptr<CsvSource> openCsvSheet(const std::string& fileName);

}  // namespace qm
