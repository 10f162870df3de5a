#include "setting/restore_sheet.h"

#include <algorithm>
#include <ctime>
#include <filesystem>

#include "logonhours/sheet_layout.h"
#include "platform/core/app_identity.h"
#include "platform/core/text.h"

namespace qm {

std::string RestoreSheet::pathFor(const std::string& folder) {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char stamp[32];
    std::strftime(stamp, sizeof stamp, "%Y%m%d-%H%M%S", &local);
    const std::string base = folder + "/Quillmark-restore-" + stamp;
    // Two runs in one second must not share a sheet.
    std::string path = base + ".csv";
    for (int run = 2; std::filesystem::exists(path); ++run) {
        path = base + "-" + std::to_string(run) + ".csv";
    }
    return path;
}

void RestoreSheet::append(const std::string& name, const std::string& container,
                          const std::string& domain, const std::optional<Bytes>& currentValue) {
    if (failure_) {
        return;
    }
    DayStrings days;
    if (!currentValue) {
        days.fill(sheet::kNoValueDay);
    } else {
        // Only the 21 bytes the conversions know are kept; a longer value cannot be restored
        // through the sheet anyway.
        Bytes value = *currentValue;
        value.resize(std::min<std::size_t>(value.size(), kLogonHoursBytes));
        logonHours_.DecodeLogonHours(value, days);
    }
    try {
        if (!file_) {
            file_.emplace(path_);
            file_->writeHeader();
        }
        file_->writeUser(name, container, domain, days);
    } catch (const RunTimeError& error) {
        failure_ = error;
        file_.reset();  // drops the temporary file: nothing appears under the sheet's name
    }
}

bool RestoreSheet::finishOrAsk(Dialogs& dialogs) {
    if (file_ && !failure_) {
        try {
            file_->close();
            finished_ = true;
        } catch (const RunTimeError& error) {
            failure_ = error;
        }
        file_.reset();
    }
    if (!failure_) {
        return true;
    }
    return dialogs.messageBox(kAppTitle,
                              "The restore sheet " + path_ + " cannot be written:\r\n" +
                                  failure_->description() +
                                  "\r\nWithout it this run cannot be undone from a "
                                  "sheet.\r\nSet the users all the same?",
                              MessageStyle::Question) == Answer::Yes;
}

void RestoreSheet::discard() {
    file_.reset();
    if (finished_) {
        std::error_code ignored;
        std::filesystem::remove(path_, ignored);
        finished_ = false;
    }
}

}  // namespace qm
