#pragma once

#include "platform/core/version.h"

namespace qm {

// The program's identity as the screens, the sheet and the log show it.
inline constexpr const char* kAppTitle = "Quillmark";
inline constexpr const char* kComments =
    "Document and Set Logon Hours for Active Directory and Windows Users";
inline constexpr const char* kCopyright = "Copyright \u00a9 2026 The Quillmark developers";
inline constexpr const char* kContactEmail = "quillmark@example.org";
inline constexpr const char* kWebSite = "https://quillmark.example.org";
// The Set task's log, in the program's folder.
inline constexpr const char* kLogFileName = "Quillmark.log";

}  // namespace qm
