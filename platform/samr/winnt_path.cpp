#include "platform/samr/winnt_path.h"

#include <algorithm>
#include <cctype>

#include "platform/samr/winnt_errors.h"

namespace qm {

namespace {

constexpr std::string_view kPrefix = "WinNT://";

RunTimeError badPath(const std::string& path, const std::string& why) {
    return winNtError(kBadPathName, "The path " + path + " cannot be bound: " + why + ".");
}

}  // namespace

bool equalsIgnoringCase(const std::string& a, const std::string& b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](unsigned char x, unsigned char y) {
        return std::toupper(x) == std::toupper(y);
    });
}

std::string upperCase(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    return text;
}

WinNtPath parseWinNtPath(const std::string& path) {
    if (path.compare(0, kPrefix.size(), kPrefix) != 0) {
        throw badPath(path, "a path of this provider starts with WinNT://");
    }
    std::string names = path.substr(kPrefix.size());
    std::string className;
    if (const auto comma = names.rfind(','); comma != std::string::npos) {
        className = names.substr(comma + 1);
        names.erase(comma);
    }

    WinNtPath parsed;
    const auto slash = names.find('/');
    parsed.computer = names.substr(0, slash);
    if (slash != std::string::npos) {
        parsed.user = names.substr(slash + 1);
        if (parsed.user.empty() || parsed.user.find('/') != std::string::npos) {
            throw badPath(path, "give a computer and one of its users, as WinNT://PC01/kiosk,user");
        }
    }
    if (parsed.computer.empty()) {
        throw badPath(path, "the computer name is missing");
    }
    const char* expected = parsed.isUser() ? "user" : "computer";
    if (!className.empty() && !equalsIgnoringCase(className, expected)) {
        throw badPath(path,
                      "this provider binds WinNT://computer,computer and "
                      "WinNT://computer/user,user only");
    }
    return parsed;
}

}  // namespace qm
