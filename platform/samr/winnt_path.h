#pragma once

#include <string>

namespace qm {

// A path of the WinNT provider, taken apart: "WinNT://PC01,computer", "WinNT://PC01" (a computer's
// ADsPath), "WinNT://PC01/kiosk,user" or "WinNT://PC01/kiosk" (a local account).
struct WinNtPath {
    std::string computer;
    std::string user;  // empty for a computer
    bool isUser() const { return !user.empty(); }
};

// Raises E_ADS_BAD_PATHNAME when the text is not such a path: another provider, an empty name, more
// than two names, or a class other than "computer" for one name and "user" for two.
WinNtPath parseWinNtPath(const std::string& path);

bool equalsIgnoringCase(const std::string& a, const std::string& b);
std::string upperCase(std::string text);

}  // namespace qm
