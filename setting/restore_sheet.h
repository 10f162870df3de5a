#pragma once

#include <optional>
#include <set>
#include <string>

#include "logonhours/logon_hours.h"
#include "platform/textfile/csv_sheet.h"

namespace qm {

// The logon hours each user held before a Set run overwrote them, as a comma-delimited sheet that
// Set reads back: feeding it to Set restores everyone. Each entry is on disk before the user's new
// value is put. Written in UTF-8 with a byte-order mark, so that any name survives.
class RestoreSheet {
public:
    RestoreSheet(std::string path, const LogonHours& logonHours)
        : path_(std::move(path)), logonHours_(logonHours) {}

    const std::string& path() const { return path_; }

    // The file is created with the first entry, so a run that changes nobody leaves none. Only
    // the first value of an account counts: a sheet that names it twice (in other case, say)
    // has overwritten it once already when the second row comes.
    void append(const std::string& name, const std::string& container, const std::string& domain,
                const Variant& currentValue);
    void close();

    // "<folder>/Quillmark-restore-YYYYMMDD-HHMMSS.csv" for a run started now.
    static std::string pathFor(const std::string& folder);

private:
    std::string path_;
    const LogonHours& logonHours_;
    std::optional<CsvSheetWriter> file_;
    std::set<std::string> accounts_;  // the accounts entered, in lower case
};

}  // namespace qm
