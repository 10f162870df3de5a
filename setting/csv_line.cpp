#include "setting/csv_line.h"

#include "platform/core/checked_int.h"

namespace qm {

namespace {

bool isBlank(const std::string& line) {
    return line.find_first_not_of(' ') == std::string::npos;
}

std::string unquote(const std::string& field) {
    std::string inner = field.size() >= 2 ? field.substr(1, field.size() - 2) : std::string();
    std::string text;
    text.reserve(inner.size());
    for (std::size_t i = 0; i < inner.size(); ++i) {
        text += inner[i];
        if (inner[i] == '"' && i + 1 < inner.size() && inner[i + 1] == '"') {
            ++i;
        }
    }
    return text;
}

}  // namespace

std::vector<std::string> ParseCsvLine(const std::string& line, TrapServices& services) {
    ErrorTrap trap("QMK24", services);
    return trap.run([&] {
        trap.step("1");
        if (isBlank(line)) {
            return std::vector<std::string>{std::string()};
        }
        trap.step("2");
        std::vector<std::string> fields;
        bool inQuotes = false;
        // Positions are 32-bit: a longer line is an invalid line, not an overflow.
        Int32 start = 0;
        trap.step("3");
        const std::string extended = line + ',';
        for (Int32 j = 0; j < Int32(extended.size()); ++j) {
            trap.step("4");
            const char ch = extended[static_cast<std::size_t>(j.value())];
            trap.step("5");
            if (ch == '"') {
                trap.step("6");
                inQuotes = !inQuotes;
            } else if (ch == ',') {
                trap.step("7");
                if (inQuotes) {
                    continue;
                }
                trap.step("8");
                trap.step("9");
                const Int32 length = j - start;
                if (length > 0) {
                    trap.step("10");
                    std::string field = extended.substr(static_cast<std::size_t>(start.value()),
                                                        static_cast<std::size_t>(length.value()));
                    if (field.front() == '"') {
                        trap.step("11");
                        fields.push_back(unquote(field));
                    } else {
                        trap.step("12");
                        fields.push_back(std::move(field));
                    }
                } else {
                    trap.step("13");
                    fields.emplace_back();
                }
                trap.step("14");
                start = j + 1;
            }
        }
        trap.step("15");
        return fields;
    });
}

}  // namespace qm
