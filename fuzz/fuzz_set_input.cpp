#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "fuzz/fuzz_child.h"
#include "fuzz/fuzz_trap.h"
#include "logonhours/logon_hours.h"
#include "logonhours/sheet_layout.h"
#include "platform/textfile/csv_sheet.h"
#include "platform/workbook/workbook_application.h"
#include "setting/name_escape.h"
#include "setting/sheet_reader.h"

// The Set run's input stage: a file's bytes, read as the run reads the sheet it is given (a
// workbook when they start as one, else a CSV sheet), up to the user rows and their logon-hours
// values. Any file gives rows or a run-time error under the trap, never a crash or a hang.
namespace {

void useRow(qm::DayStrings days, const qm::LogonHours& hours) {
    qm::Bytes value;
    (void)hours.EncodeLogonHours(days, value);
}

void readWorkbook(const std::string& path, qm::ErrorTrap& trap, const qm::LogonHours& hours) {
    const auto spreadsheet = qm::makeSpreadsheetFactory()->start();
    const auto source = spreadsheet->openWorkbook(path);
    qm::WorkbookScan scan(*source, trap);
    (void)scan.countBlocks();
    scan.forEachBlock("18", [&](qm::Int32 r) {
        (void)qm::EscapeName(scan.cellText(r, qm::sheet::kColumnValue));
        qm::DayStrings days;
        for (int day = 0; day < 7; ++day) {
            days[day] = scan.cellText(r + 1 + day, qm::sheet::kColumnDay);
        }
        useRow(days, hours);
    });
}

void readCsv(const std::string& path, qm::ErrorTrap& trap, qm::TrapServices& services,
             const qm::LogonHours& hours) {
    qm::CsvScan scan(qm::openCsvSheet(path), trap, services);
    (void)scan.countRows();
    scan.forEachLine({"31", "32", "33"}, [&](const qm::CsvScan::Fields& fields) {
        if (fields.size() == qm::sheet::kUserLineFields) {
            (void)qm::EscapeName(fields[0]);
            qm::DayStrings days;
            std::copy(fields.begin() + 3, fields.end(), days.begin());
            useRow(days, hours);
        }
    });
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    quietReaderChildren();
    static const std::string path = "/tmp/qm-fuzz-set-" + std::to_string(getpid());
    FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) {
        std::abort();
    }
    std::fwrite(data, 1, size, file);
    std::fclose(file);
    const std::string head(reinterpret_cast<const char*>(data), size < 2 ? size : 2);
    const bool workbook = head == "PK" || head == "\xD0\xCF";
    FuzzTrapServices services;
    const qm::LogonHours hours(services, 1);
    qm::ErrorTrap trap("QMK18", services);
    try {
        trap.run([&] {
            workbook ? readWorkbook(path, trap, hours) : readCsv(path, trap, services, hours);
        });
    } catch (const TrapFired&) {
    }
    return 0;
}
