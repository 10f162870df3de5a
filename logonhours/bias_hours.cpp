#include "logonhours/bias_hours.h"

namespace qm {

Int16 BiasHoursFrom(const Variant& bias) {
    switch (bias.type()) {
        case Variant::Type::Long:
            return Int16(bias.toLong() / 60);
        case Variant::Type::Bytes: {
            Int16 minutes = 0;
            long long weight = 1;
            for (std::uint8_t byte : bias.bytes()) {
                // Each term becomes a 16-bit integer before it is added.
                minutes += Int16(byte * weight);
                weight = weight < (1LL << 40) ? weight * 256 : weight;
            }
            return minutes / 60;
        }
        default:
            return 0;
    }
}

}  // namespace qm
