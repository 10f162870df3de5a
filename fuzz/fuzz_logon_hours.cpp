#include <algorithm>
#include <cstdlib>

#include "fuzz/fuzz_trap.h"
#include "logonhours/logon_hours.h"

// Decode then encode gives back any 21-byte value for any bias the conversions accept; day strings
// of any shape either encode or are refused, and never fire a trap.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1) {
        return 0;
    }
    FuzzTrapServices services;
    const int bias = static_cast<int>(data[0]) % 335 - 167;  // -167 .. 167
    qm::LogonHours hours(services, bias);
    const qm::Bytes rest(data + 1, data + size);
    try {
        if (rest.size() >= 21) {
            const qm::Bytes value(rest.begin(), rest.begin() + 21);
            qm::DayStrings days;
            hours.DecodeLogonHours(value, days);
            qm::Bytes encoded;
            if (!hours.EncodeLogonHours(days, encoded) || encoded != value) {
                std::abort();
            }
        }
        // The same bytes read as seven day strings separated by newlines.
        qm::DayStrings days;
        std::size_t day = 0;
        for (std::uint8_t byte : rest) {
            if (byte == '\n') {
                if (++day == days.size()) {
                    break;
                }
            } else {
                days[day] += static_cast<char>(byte);
            }
        }
        qm::Bytes encoded;
        if (hours.EncodeLogonHours(days, encoded)) {
            qm::DayStrings decoded;
            hours.DecodeLogonHours(encoded, decoded);
            for (std::size_t d = 0; d < days.size(); ++d) {
                std::string typed = hours.StripDaySeparators(days[d]);
                std::string shown = decoded[d];
                std::erase(shown, ' ');
                if (bias == 0 && typed != shown) {
                    std::abort();
                }
            }
        }
    } catch (const TrapFired&) {
        std::abort();
    }
    return 0;
}
