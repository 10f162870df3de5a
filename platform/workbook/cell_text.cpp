#include "platform/workbook/cell_text.h"

#include <cmath>
#include <cstdio>

#include "platform/core/utf8.h"

namespace qm::cell_text {

namespace {

int hexValue(char ch) {
    if (ch >= '0' && ch <= '9') {
        return ch - '0';
    }
    if (ch >= 'A' && ch <= 'F') {
        return ch - 'A' + 10;
    }
    if (ch >= 'a' && ch <= 'f') {
        return ch - 'a' + 10;
    }
    return -1;
}

// The code of an "_xHHHH_" sequence at pos, or -1.
int escapeAt(std::string_view text, std::size_t pos) {
    if (text.size() - pos < 7 || text[pos] != '_' || text[pos + 1] != 'x' || text[pos + 6] != '_') {
        return -1;
    }
    int code = 0;
    for (std::size_t i = pos + 2; i < pos + 6; ++i) {
        const int digit = hexValue(text[i]);
        if (digit < 0) {
            return -1;
        }
        code = code * 16 + digit;
    }
    return code;
}

}  // namespace

std::string escapeForOoxml(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t pos = 0; pos < text.size(); ++pos) {
        if (escapeAt(text, pos) >= 0) {
            out += "_x005F";
        }
        // U+FFFE and U+FFFF are no XML characters; Excel stores them escaped too.
        if (text.substr(pos, 2) == "\xEF\xBF" && pos + 2 < text.size() &&
            (text[pos + 2] == '\xBE' || text[pos + 2] == '\xBF')) {
            out += text[pos + 2] == '\xBE' ? "_xFFFE_" : "_xFFFF_";
            pos += 2;
            continue;
        }
        out += text[pos];
    }
    return out;
}

std::string decodeOoxml(std::string_view text) {
    if (text.find("_x") == std::string_view::npos) {
        return std::string(text);
    }
    std::string out;
    out.reserve(text.size());
    std::size_t pos = 0;
    while (pos < text.size()) {
        const int code = escapeAt(text, pos);
        if (code < 0) {
            out += text[pos++];
            continue;
        }
        // A lone surrogate has no UTF-8 form; it shows as the replacement character.
        utf8::append(out, code >= 0xD800 && code <= 0xDFFF ? 0xFFFD : static_cast<char32_t>(code));
        pos += 7;
    }
    return out;
}

std::size_t utf16Length(std::string_view text) {
    std::size_t length = 0;
    for (const char byte : text) {
        const auto unit = static_cast<unsigned char>(byte);
        // Every lead byte starts a character; a four-byte one is a surrogate pair.
        length += (unit & 0xC0) != 0x80 ? 1 : 0;
        length += unit >= 0xF0 ? 1 : 0;
    }
    return length;
}

std::string formatNumber(double value) {
    if (value == 0 || !std::isfinite(value)) {
        return value == 0 ? "0" : (std::isnan(value) ? "NaN" : (value > 0 ? "INF" : "-INF"));
    }
    char text[40];
    std::snprintf(text, sizeof text, "%.15G", value);
    return text;
}

}  // namespace qm::cell_text
