#pragma once

#include "platform/core/checked_int.h"
#include "platform/core/variant.h"

namespace qm {

// The time-zone bias in whole hours from the Bias value read at start-up, minutes with
// UTC = local time + bias: a Long is divided by 60 toward zero; binary data is summed little-endian
// in 16 bits (overflow is run-time error 6) and then divided; any other type gives 0.
Int16 BiasHoursFrom(const Variant& bias);

}  // namespace qm
