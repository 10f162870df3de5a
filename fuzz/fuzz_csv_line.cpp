#include <cstdlib>

#include "fuzz/fuzz_trap.h"
#include "logonhours/sheet_layout.h"
#include "setting/csv_line.h"

// Any line parses without a fired trap, and any record the writer makes reads back as written.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzTrapServices services;
    const std::string line(reinterpret_cast<const char*>(data), size);
    try {
        (void)qm::ParseCsvLine(line, services);

        std::vector<std::string> fields;
        std::string field;
        for (char ch : line) {
            if (ch == '\n') {
                fields.push_back(field);
                field.clear();
            } else {
                field += ch;
            }
        }
        fields.push_back(field);
        if (qm::ParseCsvLine(qm::sheet::formatCsvRecord(fields), services) != fields) {
            std::abort();
        }
    } catch (const TrapFired&) {
        std::abort();
    }
    return 0;
}
