#include "setting/name_escape.h"

#include <array>
#include <utility>

namespace qm {

std::string EscapeName(const std::string& commonName) {
    static constexpr std::array<char, 10> kEscapedInOrder = {'\\', '/', ',', '#', '+',
                                                             '<',  '>', ';', '"', '='};
    std::string text = commonName;
    for (char special : kEscapedInOrder) {
        std::string escaped;
        escaped.reserve(text.size());
        for (char ch : text) {
            if (ch == special) {
                escaped += '\\';
            }
            escaped += ch;
        }
        text = std::move(escaped);
    }
    return text;
}

}  // namespace qm
