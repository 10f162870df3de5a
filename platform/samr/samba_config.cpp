#include "platform/samr/samba_config.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>

#include "platform/samr/winnt_errors.h"

namespace qm {

namespace {

RunTimeError folderError(const std::string& path, int error) {
    return winNtError(hresultFromWin32(win32::AccessDenied),
                      "Cannot prepare the private folder " + path +
                          " for the Samba client settings: " + std::strerror(error));
}

// Creates the folder and its parents; only the last one is made private.
void makeFolders(const std::string& path) {
    for (std::size_t slash = path.find('/', 1); slash != std::string::npos;
         slash = path.find('/', slash + 1)) {
        const std::string parent = path.substr(0, slash);
        if (mkdir(parent.c_str(), 0700) != 0 && errno != EEXIST) {
            throw folderError(parent, errno);
        }
    }
    if (mkdir(path.c_str(), 0700) != 0 && errno != EEXIST) {
        throw folderError(path, errno);
    }
}

// The folder must be a real directory of ours that nobody else can read or write.
void makePrivate(const std::string& path) {
    struct stat info {};
    if (lstat(path.c_str(), &info) != 0) {
        throw folderError(path, errno);
    }
    if (!S_ISDIR(info.st_mode) || info.st_uid != geteuid()) {
        throw folderError(path, EPERM);
    }
    if ((info.st_mode & 077) != 0 && chmod(path.c_str(), 0700) != 0) {
        throw folderError(path, errno);
    }
}

std::string cacheBase() {
    if (const char* cache = std::getenv("XDG_CACHE_HOME"); cache != nullptr && cache[0] == '/') {
        return cache;
    }
    if (const char* home = std::getenv("HOME"); home != nullptr && home[0] == '/') {
        return std::string(home) + "/.cache";
    }
    return {};
}

std::string temporaryFolder() {
    const char* tmp = std::getenv("TMPDIR");
    std::string pattern =
        std::string(tmp != nullptr && tmp[0] == '/' ? tmp : "/tmp") + "/quillmark-samba-XXXXXX";
    if (mkdtemp(pattern.data()) == nullptr) {
        throw folderError(pattern, errno);
    }
    return pattern;
}

}  // namespace

std::string sambaClientFolder() {
    const std::string base = cacheBase();
    if (base.empty()) {
        return temporaryFolder();
    }
    const std::string folder = base + "/quillmark/samba";
    makeFolders(folder);
    makePrivate(folder);
    return folder;
}

std::string writeSambaClientConfig(const std::string& folder) {
    const std::string path = folder + "/smb.conf";
    const std::string draft = path + ".new";
    {
        std::ofstream file(draft, std::ios::trunc);
        file << "# Written by Quillmark at each start for Samba's client libraries.\n"
             << "[global]\n";
        for (const char* setting : {"lock directory", "state directory", "cache directory",
                                    "private dir", "ncalrpc dir", "pid directory"}) {
            file << "    " << setting << " = " << folder << "\n";
        }
        // Names resolve as everywhere else on this system; SMB over TCP port 445 only.
        file << "    name resolve order = host\n"
             << "    smb ports = 445\n"
             << "    log level = 0\n";
        if (!file.flush()) {
            throw folderError(draft, errno);
        }
    }
    if (std::rename(draft.c_str(), path.c_str()) != 0) {
        throw folderError(path, errno);
    }
    return path;
}

}  // namespace qm
