#include <cerrno>

#include "winapi/program_title.h"

// As the program was started (argv[0]), not where a link leads.
std::string ExecutablePath() {
    return program_invocation_name ? program_invocation_name : "";
}
