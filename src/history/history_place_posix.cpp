#include <sys/vfs.h>

#include <cstdlib>

#include "history/history_place.h"
#include "winapi/kernel_posix.h"

std::string EnvironmentText(const char* name) {
    const char* value = std::getenv(name);
    return value ? value : "";
}

std::string SystemErrorText(int code) {
    return kernel::ErrorText(static_cast<std::uint32_t>(code));
}

std::string KelvarinDataFolder() {
    const std::string data = EnvironmentText("XDG_DATA_HOME");
    if (!data.empty() && data[0] == '/') return data + "/kelvarin";
    const std::string home = EnvironmentText("HOME");
    return home.empty() ? std::string() : home + "/.local/share/kelvarin";
}

bool OnNetworkFileSystem(const std::string& folder) {
    struct statfs fs {};
    if (statfs(folder.empty() ? "." : folder.c_str(), &fs) != 0) return false;
    switch (static_cast<unsigned long>(fs.f_type)) {
        case 0x6969:      // NFS
        case 0x517B:      // SMB
        case 0xFF534D42:  // CIFS
        case 0xFE534D42:  // SMB2
        case 0x65735546:  // FUSE (sshfs and the like)
        case 0x564C:      // NCP
        case 0x6B414653:  // AFS
        case 0x73757245:  // Coda
            return true;
        default:
            return false;
    }
}
