#include "platform/core/code_page.h"

#include <array>
#include <cstdio>

#include "platform/core/run_time_error.h"
#include "platform/core/utf8.h"

namespace qm::cp1252 {

namespace {

// Bytes 0x80 to 0x9F; the rest of the code page is Latin-1.
constexpr std::array<char16_t, 32> kHighControls = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

int byteFor(char32_t codePoint) {
    if (codePoint < 0x80 || (codePoint >= 0xA0 && codePoint <= 0xFF)) {
        return static_cast<int>(codePoint);
    }
    for (std::size_t i = 0; i < kHighControls.size(); ++i) {
        if (kHighControls[i] == codePoint) {
            return static_cast<int>(0x80 + i);
        }
    }
    return -1;
}

RunTimeError notRepresentable(std::string_view utf8Text, char32_t codePoint) {
    char code[16];
    std::snprintf(code, sizeof code, "U+%04X", static_cast<unsigned>(codePoint));
    return RunTimeError(err::InvalidProcedureCall,
                        "The text \"" + std::string(utf8Text) + "\" holds the character " + code +
                            ", which the code page Windows-1252 cannot store",
                        kProgramSource);
}

}  // namespace

namespace {

// Strict: what the code page cannot hold is an error. Lossy: it becomes '?', as on Windows.
std::string encode(std::string_view utf8Text, bool lossy) {
    std::string out;
    out.reserve(utf8Text.size());
    std::size_t pos = 0;
    char32_t codePoint;
    while (pos < utf8Text.size()) {
        if (static_cast<unsigned char>(utf8Text[pos]) < 0x80) {
            out += utf8Text[pos++];
            continue;
        }
        if (!utf8::decode(utf8Text, pos, codePoint)) {
            if (!lossy) {
                throw RunTimeError(
                    err::InvalidProcedureCall,
                    "The text \"" + utf8::repaired(utf8Text) + "\" is not valid UTF-8",
                    kProgramSource);
            }
            out += '?';
            ++pos;
            continue;
        }
        const int byte = byteFor(codePoint);
        if (byte < 0 && !lossy) {
            throw notRepresentable(utf8Text, codePoint);
        }
        out += byte < 0 ? '?' : static_cast<char>(byte);
    }
    return out;
}

}  // namespace

std::string fromUtf8(std::string_view utf8Text) {
    return encode(utf8Text, false);
}

std::string fromUtf8Lossy(std::string_view utf8Text) {
    return encode(utf8Text, true);
}

std::string toUtf8(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size());
    for (char ch : bytes) {
        const auto byte = static_cast<unsigned char>(ch);
        if (byte < 0x80) {
            out += ch;
        } else if (byte < 0xA0) {
            utf8::append(out, kHighControls[byte - 0x80]);
        } else {
            utf8::append(out, byte);
        }
    }
    return out;
}

}  // namespace qm::cp1252
