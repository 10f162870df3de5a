#include "logonhours/sheet_layout.h"

namespace qm::sheet {

std::string formatCsvRecord(const std::vector<std::string>& fields) {
    std::string record;
    for (std::size_t i = 0; i < fields.size(); ++i) {
        if (i > 0) {
            record += ',';
        }
        record += '"';
        record += fields[i];
        record += '"';
    }
    return record;
}

}  // namespace qm::sheet
