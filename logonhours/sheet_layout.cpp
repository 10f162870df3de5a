#include "logonhours/sheet_layout.h"

namespace qm::sheet {

std::string formatCsvRecord(const std::vector<std::string>& fields) {
    std::string record;
    for (std::size_t i = 0; i < fields.size(); ++i) {
        if (i > 0) {
            record += ',';
        }
        record += '"';
        // A quote inside is doubled, which the line parser reads back as one.
        for (char ch : fields[i]) {
            record += ch;
            if (ch == '"') {
                record += '"';
            }
        }
        record += '"';
    }
    return record;
}

}  // namespace qm::sheet
