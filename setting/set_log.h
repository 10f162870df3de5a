#pragma once

#include <optional>
#include <string>

#include "platform/core/run_time_error.h"
#include "platform/textfile/text_file.h"

namespace qm {

// The log of the Set runs: each run that gets past the confirmation appends one section. Every
// line stays one line of plain text. The lines reach the disk in groups, each within 100 lines or
// 250 ms, and all of them at the end of an error block and at close.
class SetLog {
public:
    // Appends to the file, creating it when missing; a failure is the file's RunTimeError.
    void open(const std::string& path);
    bool isOpen() const { return file_.has_value(); }

    void writeHeader(const std::string& fileName, const std::string& groupedCount,
                     const std::string& now);
    void write(const std::string& line);
    // The error block of the run's trap; the row's fields only when a row was in progress.
    struct RowFields {
        const std::string& domain;
        const std::string& container;
        const std::string& name;
        const std::string& commonName;
    };
    void writeErrorBlock(const std::string& marker, const RunTimeError& error,
                         const std::optional<RowFields>& row);
    void close();

    // The text as one line of the log: a line break becomes a space (servers end their
    // diagnostics with one, and a cell may hold several lines), any other control character
    // a '?'.
    static std::string asOneLine(std::string text);

private:
    std::optional<TextFileWriter> file_;
};

}  // namespace qm
