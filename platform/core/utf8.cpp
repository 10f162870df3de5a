#include "platform/core/utf8.h"

namespace qm::utf8 {

namespace {

bool isContinuation(unsigned char byte) {
    return (byte & 0xC0) == 0x80;
}

}  // namespace

bool decode(std::string_view text, std::size_t& pos, char32_t& codePoint) {
    const auto lead = static_cast<unsigned char>(text[pos]);
    if (lead < 0x80) {
        codePoint = lead;
        ++pos;
        return true;
    }
    std::size_t length;
    char32_t value;
    char32_t minimum;
    if ((lead & 0xE0) == 0xC0) {
        length = 2, value = lead & 0x1F, minimum = 0x80;
    } else if ((lead & 0xF0) == 0xE0) {
        length = 3, value = lead & 0x0F, minimum = 0x800;
    } else if ((lead & 0xF8) == 0xF0) {
        length = 4, value = lead & 0x07, minimum = 0x10000;
    } else {
        return false;
    }
    if (text.size() - pos < length) {
        return false;
    }
    for (std::size_t i = 1; i < length; ++i) {
        const auto byte = static_cast<unsigned char>(text[pos + i]);
        if (!isContinuation(byte)) {
            return false;
        }
        value = (value << 6) | (byte & 0x3F);
    }
    if (value < minimum || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) {
        return false;
    }
    codePoint = value;
    pos += length;
    return true;
}

void append(std::string& out, char32_t codePoint) {
    if (codePoint < 0x80) {
        out += static_cast<char>(codePoint);
    } else if (codePoint < 0x800) {
        out += static_cast<char>(0xC0 | (codePoint >> 6));
        out += static_cast<char>(0x80 | (codePoint & 0x3F));
    } else if (codePoint < 0x10000) {
        out += static_cast<char>(0xE0 | (codePoint >> 12));
        out += static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (codePoint & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (codePoint >> 18));
        out += static_cast<char>(0x80 | ((codePoint >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (codePoint & 0x3F));
    }
}

bool isValid(std::string_view text) {
    std::size_t pos = 0;
    char32_t codePoint;
    while (pos < text.size()) {
        if (!decode(text, pos, codePoint)) {
            return false;
        }
    }
    return true;
}

std::size_t utf16Length(std::string_view validText) {
    std::size_t units = 0;
    for (char ch : validText) {
        const auto byte = static_cast<unsigned char>(ch);
        if (!isContinuation(byte)) {
            units += (byte & 0xF8) == 0xF0 ? 2 : 1;
        }
    }
    return units;
}

std::string repaired(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    std::size_t pos = 0;
    char32_t codePoint;
    while (pos < text.size()) {
        const std::size_t start = pos;
        if (decode(text, pos, codePoint)) {
            out.append(text.substr(start, pos - start));
        } else {
            append(out, 0xFFFD);
            ++pos;
        }
    }
    return out;
}

}  // namespace qm::utf8
