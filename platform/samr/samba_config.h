#pragma once

#include <string>

namespace qm {

// Samba's client libraries read an smb.conf and keep lock and cache files in folders it names.
// Quillmark gives them a minimal one of its own, written at run time into a private folder, so the
// system's /etc/samba/smb.conf and Samba's system folders are never read or written.

// $XDG_CACHE_HOME/quillmark/samba, else ~/.cache/quillmark/samba, else a new folder under $TMPDIR
// or /tmp; created with mode 0700 and refused when another user owns it. Raises a RunTimeError
// when no such folder can be made.
std::string sambaClientFolder();

// Writes the settings file into the folder (replacing an older one) and returns its path.
std::string writeSambaClientConfig(const std::string& folder);

}  // namespace qm
