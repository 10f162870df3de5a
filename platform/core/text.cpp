#include "platform/core/text.h"

#include <algorithm>

#include "platform/core/run_time_error.h"

namespace qm {

namespace {

char lowerChar(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

}  // namespace

std::string trimSpaces(const std::string& text) {
    const std::size_t first = text.find_first_not_of(' ');
    if (first == std::string::npos) {
        return {};
    }
    return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

std::string lowerAscii(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) {
        return static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    });
    return text;
}

std::string upperAscii(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) {
        return static_cast<char>(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c);
    });
    return text;
}

bool equalsIgnoringCase(std::string_view a, std::string_view b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(),
                      [](char x, char y) { return lowerChar(x) == lowerChar(y); });
}

const char* cString(const std::string& text) {
    if (text.find('\0') != std::string::npos) {
        throw err::invalidProcedureCall("a text holding a NUL character cannot be passed on");
    }
    return text.c_str();
}

std::string netbiosName(const std::string& hostName) {
    constexpr std::size_t kNetbiosNameLength = 15;
    return upperAscii(hostName.substr(0, hostName.find('.')).substr(0, kNetbiosNameLength));
}

}  // namespace qm
