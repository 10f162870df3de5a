#include "logonhours/sheet_layout.h"

#include <algorithm>
#include <cstdio>

#include "platform/core/text.h"

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

bool holdsNoValue(const std::array<std::string, 7>& days) {
    return std::ranges::all_of(
        days, [](const std::string& day) { return lowerAscii(trimSpaces(day)) == kNoValueDay; });
}

// UTC = local time + bias, so a positive bias is west of Greenwich: UTC minus hours.
std::string offsetText(int biasHours) {
    const int hours = biasHours < 0 ? -biasHours : biasHours;
    return std::string("UTC") + (biasHours > 0 ? '-' : '+') + (hours < 10 ? "0" : "") +
           std::to_string(hours) + ":00";
}

std::string offsetNote(int biasHours) {
    return "Hours in " + offsetText(biasHours) + " (standard time)";
}

std::optional<int> biasOfNote(const std::string& note) {
    const std::size_t at = note.find("UTC");
    int hours = 0;
    int minutes = 0;
    char sign = 0;
    if (at == std::string::npos ||
        std::sscanf(note.c_str() + at, "UTC%c%2d:%2d", &sign, &hours, &minutes) != 3 ||
        (sign != '+' && sign != '-') || minutes != 0 || hours > 24) {
        return std::nullopt;
    }
    return sign == '-' ? hours : -hours;
}

}  // namespace qm::sheet
