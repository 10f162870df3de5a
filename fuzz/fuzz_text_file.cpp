#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "fuzz/fuzz_trap.h"
#include "platform/core/code_page.h"
#include "platform/textfile/text_file.h"
#include "platform/core/utf8.h"
#include "setting/csv_line.h"

// Any file reads as lines of valid UTF-8 without line ends; a line that was not UTF-8 on disk (so
// was read as Windows-1252) can be stored as Windows-1252 again; each parses as a CSV line without
// a fired trap.
namespace {

// Whether the line stood in the file as it is, in UTF-8.
bool onDiskAsUtf8(const std::string& file, const std::string& line) {
    return file.find(line) != std::string::npos;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const std::string path = "/tmp/qm-fuzz-text-" + std::to_string(getpid()) + ".csv";
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) {
        std::abort();
    }
    std::fwrite(bytes.data(), 1, bytes.size(), file);
    std::fclose(file);
    const bool utf8File = bytes.starts_with("\xEF\xBB\xBF");
    FuzzTrapServices services;
    try {
        qm::TextFileReader reader(path);
        std::string line;
        while (reader.readLine(line)) {
            if (!qm::utf8::isValid(line) || line.find_first_of("\r\n") != std::string::npos) {
                std::abort();
            }
            if (!utf8File && !onDiskAsUtf8(bytes, line)) {
                (void)qm::cp1252::fromUtf8(line);
            }
            (void)qm::ParseCsvLine(line, services);
        }
        reader.close();
    } catch (const TrapFired&) {
        std::abort();
    }
    return 0;
}
