#pragma once

#include <concepts>
#include <cstdint>
#include <limits>
#include <utility>

#include "platform/core/run_time_error.h"

namespace qm {

// A signed integer of fixed width whose every operation is overflow-checked: node numbers, loop
// indices and the bias are 16-bit, user counts and worksheet rows 32-bit, and a value that does not
// fit is run-time error 6 "Overflow" for the procedure's error trap, never a silent wrap-around.
template <typename T>
class CheckedInt {
public:
    constexpr CheckedInt() = default;

    template <std::integral U>
    constexpr CheckedInt(U value) : value_(narrow(value)) {}  // NOLINT: implicit like the literal

    constexpr T value() const { return value_; }
    constexpr explicit operator T() const { return value_; }

    constexpr CheckedInt& operator+=(CheckedInt other) {
        T result;
        if (__builtin_add_overflow(value_, other.value_, &result)) {
            throw err::overflow();
        }
        value_ = result;
        return *this;
    }
    constexpr CheckedInt& operator-=(CheckedInt other) {
        T result;
        if (__builtin_sub_overflow(value_, other.value_, &result)) {
            throw err::overflow();
        }
        value_ = result;
        return *this;
    }
    constexpr CheckedInt& operator*=(CheckedInt other) {
        T result;
        if (__builtin_mul_overflow(value_, other.value_, &result)) {
            throw err::overflow();
        }
        value_ = result;
        return *this;
    }
    // Whole-number division, truncated toward zero.
    constexpr CheckedInt& operator/=(CheckedInt other) {
        if (other.value_ == 0) {
            throw RunTimeError(11, "Division by zero", kProgramSource);
        }
        if (other.value_ == -1) {
            return *this = -*this;
        }
        value_ = static_cast<T>(value_ / other.value_);
        return *this;
    }
    constexpr CheckedInt& operator++() { return *this += 1; }
    constexpr CheckedInt& operator--() { return *this -= 1; }

    constexpr CheckedInt operator-() const { return CheckedInt(0) -= *this; }
    friend constexpr CheckedInt operator+(CheckedInt a, CheckedInt b) { return a += b; }
    friend constexpr CheckedInt operator-(CheckedInt a, CheckedInt b) { return a -= b; }
    friend constexpr CheckedInt operator*(CheckedInt a, CheckedInt b) { return a *= b; }
    friend constexpr CheckedInt operator/(CheckedInt a, CheckedInt b) { return a /= b; }
    friend constexpr auto operator<=>(CheckedInt a, CheckedInt b) = default;

private:
    template <std::integral U>
    static constexpr T narrow(U value) {
        if (!std::in_range<T>(value)) {
            throw err::overflow();
        }
        return static_cast<T>(value);
    }

    T value_ = 0;
};

using Int16 = CheckedInt<std::int16_t>;
using Int32 = CheckedInt<std::int32_t>;

// Element access that reports an index outside the array as run-time error 9.
template <typename Container>
constexpr auto& subscript(Container& container, long long index) {
    if (index < 0 || static_cast<unsigned long long>(index) >= std::size(container)) {
        throw err::subscriptOutOfRange();
    }
    return container[static_cast<std::size_t>(index)];
}

}  // namespace qm
