#include <zip.h>

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/core/run_time_error.h"
#include "platform/workbook/xlsx_reader.h"

// The XML of one part of an otherwise sound workbook, chosen by the first byte, so mutations reach
// the XML readers instead of breaking the zip's deflate stream. Any part gives cells or a
// RunTimeError, never a crash or a hang.

namespace {

const std::array<const char*, 4> kPartNames = {"xl/worksheets/sheet1.xml", "xl/sharedStrings.xml",
                                               "xl/workbook.xml", "xl/_rels/workbook.xml.rels"};

const std::array<std::string, 4> kSoundParts = {
    R"(<worksheet xmlns="http://schemas.openxmlformats.org/spreadsheetml/2006/main"><sheetData>)"
    R"(<row r="3"><c r="A3" t="s"><v>0</v></c><c r="B3" t="inlineStr"><is><t>Jim</t></is></c>)"
    R"(</row><row r="4"><c r="D4"><v>5</v></c></row></sheetData></worksheet>)",
    R"(<sst xmlns="http://schemas.openxmlformats.org/spreadsheetml/2006/main"><si><t>Common )"
    R"(Name</t></si><si><r><t>a</t></r><r><t>b</t></r></si></sst>)",
    R"(<workbook xmlns="http://schemas.openxmlformats.org/spreadsheetml/2006/main" )"
    R"(xmlns:r="http://schemas.openxmlformats.org/officeDocument/2006/relationships"><sheets>)"
    R"(<sheet name="Logon Hours" sheetId="1" r:id="rId2"/></sheets></workbook>)",
    R"(<Relationships xmlns="http://schemas.openxmlformats.org/package/2006/relationships">)"
    R"(<Relationship Id="rId2" Type="http://schemas.openxmlformats.org/officeDocument/2006/)"
    R"(relationships/worksheet" Target="worksheets/sheet1.xml"/><Relationship Id="rId3" )"
    R"(Type="http://schemas.openxmlformats.org/officeDocument/2006/relationships/sharedStrings" )"
    R"(Target="sharedStrings.xml"/></Relationships>)"};

// The parts as a zip file in memory, stored without compression.
std::vector<char> storedZip(const std::array<std::string, 4>& parts) {
    zip_error_t error;
    zip_error_init(&error);
    zip_source_t* buffer = zip_source_buffer_create(nullptr, 0, 0, &error);
    zip_source_keep(buffer);
    zip_t* archive = zip_open_from_source(buffer, ZIP_TRUNCATE, &error);
    for (std::size_t i = 0; i < parts.size(); ++i) {
        zip_source_t* part = zip_source_buffer(archive, parts[i].data(), parts[i].size(), 0);
        const zip_int64_t index = zip_file_add(archive, kPartNames[i], part, 0);
        zip_set_file_compression(archive, static_cast<zip_uint64_t>(index), ZIP_CM_STORE, 0);
    }
    zip_close(archive);
    std::vector<char> bytes;
    if (zip_source_open(buffer) == 0) {
        zip_source_seek(buffer, 0, SEEK_END);
        bytes.resize(static_cast<std::size_t>(zip_source_tell(buffer)));
        zip_source_seek(buffer, 0, SEEK_SET);
        zip_source_read(buffer, bytes.data(), bytes.size());
        zip_source_close(buffer);
    }
    zip_source_free(buffer);
    zip_error_fini(&error);
    return bytes;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) {
        return 0;
    }
    std::array<std::string, 4> parts = kSoundParts;
    parts[data[0] % parts.size()].assign(reinterpret_cast<const char*>(data + 1), size - 1);
    const std::vector<char> zip = storedZip(parts);

    qm::ReaderLimits limits;
    limits.sheetBytes = 1 << 20;
    limits.sharedStringsBytes = 1 << 20;
    limits.sharedStrings = 10000;
    try {
        qm::XlsxCellReader reader(qm::ZipArchive::openBuffer(zip.data(), zip.size(), "fuzz"),
                                  limits);
        for (int pass = 0; pass < 2; ++pass) {
            for (std::int32_t row = 1; row <= 40; ++row) {
                for (std::int32_t column = 1; column <= 4; ++column) {
                    (void)reader.cellValue(row, column);
                }
            }
        }
        (void)reader.cellValue(1048576, 27);
    } catch (const qm::RunTimeError&) {
    }
    return 0;
}
