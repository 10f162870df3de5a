#pragma once

#include <memory>
#include <string>
#include <vector>

#include "logonhours/logon_hours.h"
#include "platform/sheet.h"

namespace qm {

// Writes the comma-delimited logon-hours sheet: the header row, then one line per user. The
// Document run's sheet and the Set run's restore sheet are both written by it.
class CsvSheetWriter {
public:
    enum class Kind {
        // The Document run's sheet: built under a temporary name beside the target and renamed
        // over it when closed or abandoned, so a run killed half-way leaves the previous sheet
        // as it was. Written in Windows-1252 while every character fits; the first one that does
        // not turns the whole file into UTF-8 with a byte-order mark, so no name is ever lost.
        Replacing,
        // The restore sheet: created under its own name (an existing file is an error), in
        // UTF-8 with a byte-order mark; each line is on the disk before the caller goes on.
        DurableNew,
    };

    // Opens the file; a failure is the file's RunTimeError and leaves nothing behind.
    CsvSheetWriter(std::string path, Kind kind);
    ~CsvSheetWriter();  // drops an unfinished temporary file
    CsvSheetWriter(const CsvSheetWriter&) = delete;
    CsvSheetWriter& operator=(const CsvSheetWriter&) = delete;

    void writeHeader();
    void writeUser(const std::string& name, const std::string& container, const std::string& domain,
                   const DayStrings& days);
    // Completes the file under its name.
    void close();

private:
    void writeRecord(const std::vector<std::string>& fields);
    void writeBytes(std::string_view bytes);
    void switchToUtf8();

    std::string path_;
    Kind kind_;
    std::string temporary_;  // Replacing only, until closed
    int fd_ = -1;
    bool utf8_ = false;
};

// The Document run's comma-delimited sheet (Kind::Replacing): its entries are lines, it has no
// logon name, and abandoning it keeps the lines written so far under its name.
std::unique_ptr<SheetSink> createCsvSheet(const std::string& fileName);

}  // namespace qm
