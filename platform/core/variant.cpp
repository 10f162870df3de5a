#include "platform/core/variant.h"

#include "platform/core/run_time_error.h"

namespace qm {

std::string Variant::typeName() const {
    switch (type()) {
        case Type::Empty:
            return "Empty";
        case Type::Null:
            return "Null";
        case Type::Long:
            return "Long";
        case Type::Text:
            return "String";
        case Type::Bytes:
            return "Byte()";
    }
    return "Unknown";
}

std::string Variant::toText() const {
    switch (type()) {
        case Type::Empty:
            return {};
        case Type::Null:
            throw err::invalidUseOfNull();
        case Type::Long:
            return std::to_string(std::get<std::int32_t>(value_));
        case Type::Text:
            return std::get<std::string>(value_);
        case Type::Bytes:
            break;
    }
    throw err::typeMismatch();
}

std::int32_t Variant::toLong() const {
    if (type() != Type::Long) {
        throw err::typeMismatch();
    }
    return std::get<std::int32_t>(value_);
}

const Bytes& Variant::bytes() const {
    if (type() != Type::Bytes) {
        throw err::typeMismatch();
    }
    return std::get<Bytes>(value_);
}

}  // namespace qm
