#include "setting/restore_sheet.h"

#include <ctime>
#include <filesystem>

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
    if (!accounts_.insert(lowerAscii(name + '\n' + container + '\n' + domain)).second) {
        return;
    }
    if (!file_) {
        file_.emplace(path_, CsvSheetWriter::Kind::DurableNew);
        file_->writeHeader();
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

void RestoreSheet::close() {
    if (file_) {
        file_->close();
        file_.reset();
    }
}

}  // namespace qm
