#include "setting/restore_sheet.h"

#include <ctime>
#include <filesystem>

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
                          const std::string& domain, const Variant& currentValue) {
    if (!file_ || !accounts_.insert(lowerAscii(name + '\n' + container + '\n' + domain)).second) {
        return;
    }
    DayStrings days;
    if (currentValue.isNull()) {
        days.fill(kAllHoursAllowed);  // no value means every hour allowed
    } else {
        // Only the 21 bytes the conversions know are kept; a longer value cannot be restored
        // through the sheet anyway.
        Bytes value = currentValue.bytes();
        value.resize(std::min<std::size_t>(value.size(), kLogonHoursBytes));
        logonHours_.DecodeLogonHours(value, days);
    }
    file_->writeUser(name, container, domain, days);
}

bool RestoreSheet::openOrAsk(Dialogs& dialogs) {
    try {
        file_.emplace(path_, CsvSheetWriter::Kind::DurableNew);
        file_->writeHeader();
        return true;
    } catch (const RunTimeError& error) {
        if (file_) {  // created, but its header could not be written (a full disk, say)
            file_.reset();
            std::error_code ignored;
            std::filesystem::remove(path_, ignored);
        }
        return dialogs.messageBox(kAppTitle,
                                  "The restore sheet " + path_ + " cannot be written:\r\n" +
                                      error.description() +
                                      "\r\nWithout it this run cannot be undone from a "
                                      "sheet.\r\nSet the users all the same?",
                                  MessageStyle::Question) == Answer::Yes;
    }
}

void RestoreSheet::close() {
    if (!file_) {
        return;
    }
    try {
        file_->close();
    } catch (...) {
        file_.reset();
        throw;
    }
    file_.reset();
    if (accounts_.empty()) {
        std::filesystem::remove(path_);
    }
}

}  // namespace qm
