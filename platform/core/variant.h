#pragma once

#include <cstdint>
#include <string>
#include <variant>
#include <vector>

namespace qm {

using Bytes = std::vector<std::uint8_t>;

// A value as the platform components hand it over: an attribute, a field of a query, a cell, the
// time-zone bias. Null stands for an attribute the object does not have; Empty for a blank cell.
class Variant {
public:
    enum class Type { Empty, Null, Long, Text, Bytes };

    Variant() = default;
    Variant(std::int32_t value) : value_(value) {}            // NOLINT
    Variant(std::string text) : value_(std::move(text)) {}    // NOLINT
    Variant(const char* text) : value_(std::string(text)) {}  // NOLINT
    Variant(Bytes bytes) : value_(std::move(bytes)) {}        // NOLINT
    static Variant null() {
        Variant v;
        v.value_ = NullTag{};
        return v;
    }

    Type type() const { return static_cast<Type>(value_.index()); }
    bool isNull() const { return type() == Type::Null; }
    bool isEmpty() const { return type() == Type::Empty; }

    // The type's name as the platform reports it: "Empty", "Null", "Long", "String", "Byte()".
    std::string typeName() const;

    // The value as text: a number in plain decimal, Empty as "". Null is run-time error 94 and a
    // byte array error 13, as converting them to text is on Windows.
    std::string toText() const;

    std::int32_t toLong() const;  // error 13 unless Long
    const Bytes& bytes() const;   // error 13 unless a byte array

    friend bool operator==(const Variant&, const Variant&) = default;

private:
    struct EmptyTag {
        friend bool operator==(EmptyTag, EmptyTag) = default;
    };
    struct NullTag {
        friend bool operator==(NullTag, NullTag) = default;
    };
    std::variant<EmptyTag, NullTag, std::int32_t, std::string, Bytes> value_;
};

}  // namespace qm
