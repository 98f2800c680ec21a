#include "export/calc_module_path.h"

namespace {
constexpr const char* kModuleName = "libkelvarin_calc.so";
}

std::vector<std::string> CalcModuleCandidates(const std::string& programDir) {
    if (programDir.empty() || programDir.front() != '/' || programDir.back() != '/') return {};
    return {programDir + kModuleName, programDir + "../lib/kelvarin/" + kModuleName};
}
