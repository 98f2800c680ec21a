#include "export/calc/office_pipe.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <rtl/bootstrap.hxx>

#include "export/calc/uno_support.h"

std::string OfficePipePath(const std::string& pipeName) {
    std::string dir;
    if (access("/tmp", W_OK) == 0) {
        dir = "/tmp";
    } else if (access("/var/tmp", W_OK) == 0) {
        dir = "/var/tmp";
    } else {
        rtl::OUString configured;
        if (rtl::Bootstrap::get("OSL_SOCKET_PATH", configured)) dir = ToUtf8(configured);
    }
    return dir + "/OSL_PIPE_" + std::to_string(getuid()) + "_" + pipeName;
}

PipeHolder WhoHoldsPipe(const std::string& pipeName) {
    struct stat st {};
    if (lstat(OfficePipePath(pipeName).c_str(), &st) != 0)
        return errno == ENOENT ? PipeHolder::Nobody : PipeHolder::Other;
    return S_ISSOCK(st.st_mode) && st.st_uid == getuid() ? PipeHolder::ThisUser : PipeHolder::Other;
}

void RestrictPipe(const std::string& pipeName) {
    if (WhoHoldsPipe(pipeName) == PipeHolder::ThisUser)
        chmod(OfficePipePath(pipeName).c_str(), S_IRWXU);
}
