#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "fuzz/fuzz_child.h"
#include "platform/core/run_time_error.h"
#include "platform/workbook/xls_reader.h"

// Any bytes, read as a legacy Excel 97-2003 workbook through freexl, give cells or a
// RunTimeError: never a crash, a hang or a runaway allocation. freexl reads only from a path.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    quietReaderChildren();
    static const std::string path = "/tmp/qm-fuzz-xls-" + std::to_string(getpid()) + ".xls";
    FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) {
        std::abort();
    }
    std::fwrite(data, 1, size, file);
    std::fclose(file);
    qm::ReaderLimits limits;
    limits.legacyFileBytes = 1 << 20;
    limits.legacyCells = 1 << 16;
    try {
        qm::XlsCellReader reader(path, limits);
        (void)reader.sheetName();
        for (std::int32_t row = 1; row <= 40; ++row) {
            for (std::int32_t column = 1; column <= 4; ++column) {
                (void)reader.cellValue(row, column);
            }
        }
        (void)reader.cellValue(65536, 256);
    } catch (const qm::RunTimeError&) {
        (void)qm::isEncryptedOoxml(path);
    }
    return 0;
}
