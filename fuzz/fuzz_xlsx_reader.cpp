#include <cstdint>
#include <cstdlib>

#include "logonhours/sheet_layout.h"
#include "platform/core/run_time_error.h"
#include "platform/workbook/xlsx_reader.h"

// Any bytes, read as a workbook the way the Set run reads one, give cells or a RunTimeError:
// never a crash, a hang or a runaway allocation. Limits are small so a bomb costs little here.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    qm::ReaderLimits limits;
    limits.sheetBytes = 4 << 20;
    limits.sharedStringsBytes = 1 << 20;
    limits.otherPartBytes = 256 << 10;
    limits.totalBytes = 6 << 20;
    limits.sharedStrings = 10000;
    try {
        qm::XlsxCellReader reader(qm::ZipArchive::openBuffer(data, size, "fuzz.xlsx"), limits);
        for (int pass = 0; pass < 2; ++pass) {
            for (std::int32_t row = 1; row <= 300; ++row) {
                if (reader.cellValue(row, 1).toText() == qm::sheet::kCommonNameLabel) {
                    for (std::int32_t k = 0; k < 8; ++k) {
                        (void)reader.cellValue(row + k, 2);
                        (void)reader.cellValue(row + k, 4);
                    }
                }
            }
        }
        (void)reader.cellValue(1048576, 16384);
    } catch (const qm::RunTimeError&) {
    }
    return 0;
}
