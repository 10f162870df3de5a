#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "fuzz/fuzz_trap.h"
#include "platform/code_page.h"
#include "platform/text_file.h"
#include "platform/utf8.h"
#include "setting/csv_line.h"

// Any file reads as lines of valid UTF-8 without line ends, each of which a Windows-1252 file can
// store again unless the file was UTF-8, and each parses as a CSV line without a fired trap.
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
            if (!utf8File) {
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
