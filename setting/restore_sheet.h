#pragma once

#include <optional>
#include <string>

#include "logonhours/logon_hours.h"
#include "platform/core/run_time_error.h"
#include "platform/dialogs.h"
#include "platform/textfile/csv_sheet.h"

namespace qm {

// The logon hours each account held before a Set run, as a comma-delimited sheet that Set reads
// back: feeding it to Set restores everyone. An account that had no value is written with "none"
// for every day, which Set reads as "remove the value". The sheet is written whole from what the
// reading pass found and is on the disk, under its name, before the first account is changed.
class RestoreSheet {
public:
    RestoreSheet(std::string path, const LogonHours& logonHours)
        : path_(std::move(path)), logonHours_(logonHours) {}

    const std::string& path() const { return path_; }

    // The caller lists each account once, with the value it holds now. A failure to write is kept
    // for finishOrAsk.
    void append(const std::string& name, const std::string& container, const std::string& domain,
                const std::optional<Bytes>& currentValue);
    // Completes the sheet; a sheet that lists nobody is not made. The sheet is this program's own
    // promise, not part of the run: when it cannot be written, that is said while the
    // administrator can still choose. False when they choose to stop.
    bool finishOrAsk(Dialogs& dialogs);
    // Removes the finished sheet of a run that was not confirmed.
    void discard();

    // "<folder>/Quillmark-restore-YYYYMMDD-HHMMSS.csv" for a run started now.
    static std::string pathFor(const std::string& folder);

private:
    std::string path_;
    const LogonHours& logonHours_;
    std::optional<CsvSheetWriter> file_;
    std::optional<RunTimeError> failure_;
    bool finished_ = false;
};

}  // namespace qm
