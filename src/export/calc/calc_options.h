#pragma once

#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

// How the Calc bridge reaches an office. Free of office headers, so the
// program can fill it in without linking the office's libraries.
struct CalcOptions {
    // The office program; empty finds "soffice" on PATH or in the usual place.
    std::string soffice;
    // A profile directory of its own (tests, demos); empty uses the user's
    // profile, so an office the user already runs is reused.
    std::string profileDir;
    // Extra arguments for an office the bridge starts (e.g. "--headless").
    std::vector<std::string> extraArgs;
    // Longest wait for an office to answer, starting one included.
    std::chrono::milliseconds startTimeout{30000};
    // Longest wait for any single call once connected.
    std::chrono::milliseconds callTimeout{20000};
};

// The name of the pipe the office accepts connections on: one per profile,
// so an office with another profile is never mistaken for ours.
inline std::string OfficePipeName(const std::string& profileDir) {
    if (profileDir.empty()) return "kelvarin_office";
    // FNV-1a: the same name in every process that knows the profile.
    unsigned long long hash = 14695981039346656037ull;
    for (unsigned char c : profileDir) hash = (hash ^ c) * 1099511628211ull;
    char suffix[24];
    std::snprintf(suffix, sizeof suffix, "_%016llx", hash);
    return "kelvarin_office" + std::string(suffix);
}
