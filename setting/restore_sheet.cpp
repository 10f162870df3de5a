#include "setting/restore_sheet.h"

#include <ctime>
#include <filesystem>

#include "logonhours/sheet_layout.h"

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
    if (!file_) {
        file_.emplace(path_, TextFileMode::CreateNew, TextEncoding::Utf8WithBom);
        file_->writeLine(
            sheet::formatCsvRecord({sheet::kHeaderFields.begin(), sheet::kHeaderFields.end()}));
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
    std::vector<std::string> fields = {name, container, domain};
    fields.insert(fields.end(), days.begin(), days.end());
    file_->writeLine(sheet::formatCsvRecord(fields));
    file_->flushToDisk();
}

void RestoreSheet::close() {
    if (file_) {
        file_->close();
        file_.reset();
    }
}

}  // namespace qm
