#include <dlfcn.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "export/calc/calc_options.h"
#include "export/calc_module_path.h"
#include "export/export_to_excel.h"
#include "export/lazy_client.h"

// The Calc bridge is a module loaded on first use: the office's libraries
// are then needed only by those who export, and a machine without an office
// gets the "Warning" box instead of a program that does not start.

namespace {

using Factory = AutomationClient* (*)(const CalcOptions*);

std::string ProgramDir() {
    char path[4096];
    ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
    if (n <= 0) return {};
    std::string exe(path, static_cast<std::size_t>(n));
    return exe.substr(0, exe.rfind('/') + 1);
}

AutomationClient* LoadBridge() {
    void* module = nullptr;
    for (const std::string& candidate : CalcModuleCandidates(ProgramDir())) {
        module = dlopen(candidate.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (module) break;
    }
    if (!module) return nullptr;
    auto factory = reinterpret_cast<Factory>(dlsym(module, "kelvarin_calc_client"));
    if (!factory) {
        dlclose(module);  // not kept: the next Export loads it anew
        return nullptr;
    }
    CalcOptions options;
    // A profile of its own (tests, demos) keeps the user's office out of it.
    if (const char* profile = std::getenv("KELVARIN_OFFICE_PROFILE")) options.profileDir = profile;
    return factory(&options);
}

}  // namespace

AutomationClient& DefaultAutomationClient() {
    static LazyClient client(LoadBridge);
    return client;
}
