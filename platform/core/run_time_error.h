#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

namespace qm {

// A failure as administrators know it from Windows tools: a number, a description and the
// component that raised it. Every platform wrapper raises one; every error trap reports one.
class RunTimeError : public std::runtime_error {
public:
    RunTimeError(std::int32_t number, std::string description, std::string source);

    std::int32_t number() const { return number_; }
    const std::string& description() const { return description_; }
    const std::string& source() const { return source_; }

private:
    std::int32_t number_;
    std::string description_;
    std::string source_;
};

// The errors the program raises itself carry its own name as their source, as a Windows program's
// language run-time does.
inline constexpr const char* kProgramSource = "Quillmark";

namespace err {
inline constexpr std::int32_t InvalidProcedureCall = 5;
inline constexpr std::int32_t Overflow = 6;
inline constexpr std::int32_t OutOfMemory = 7;
inline constexpr std::int32_t SubscriptOutOfRange = 9;
inline constexpr std::int32_t TypeMismatch = 13;
inline constexpr std::int32_t InternalError = 51;
inline constexpr std::int32_t InvalidUseOfNull = 94;

RunTimeError overflow();
RunTimeError subscriptOutOfRange();
RunTimeError typeMismatch();
RunTimeError invalidUseOfNull();
RunTimeError invalidProcedureCall(const std::string& detail = {});
}  // namespace err

}  // namespace qm
