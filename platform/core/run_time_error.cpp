#include "platform/core/run_time_error.h"

namespace qm {

RunTimeError::RunTimeError(std::int32_t number, std::string description, std::string source)
    : std::runtime_error(description),
      number_(number),
      description_(std::move(description)),
      source_(std::move(source)) {}

namespace err {

RunTimeError overflow() {
    return {Overflow, "Overflow", kProgramSource};
}

RunTimeError subscriptOutOfRange() {
    return {SubscriptOutOfRange, "Subscript out of range", kProgramSource};
}

RunTimeError typeMismatch() {
    return {TypeMismatch, "Type mismatch", kProgramSource};
}

RunTimeError invalidUseOfNull() {
    return {InvalidUseOfNull, "Invalid use of Null", kProgramSource};
}

RunTimeError invalidProcedureCall(const std::string& detail) {
    std::string text = "Invalid procedure call or argument";
    if (!detail.empty()) {
        text += ": " + detail;
    }
    return {InvalidProcedureCall, text, kProgramSource};
}

}  // namespace err
}  // namespace qm
