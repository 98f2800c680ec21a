// What the suites run under Wine share: paths on Wine's Z: drive, waiting
// while this thread's messages are handled, and the recording
// "Excel.Application" server.
#pragma once

#include <windows.h>

#include <algorithm>
#include <chrono>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

// A Unix path as the programs under Wine see it.
inline std::string DosPath(std::string path) {
    std::replace(path.begin(), path.end(), '/', '\\');
    return "Z:" + path;
}

// Handles this thread's messages until `done` holds or `seconds` pass.
inline bool WaitFor(const std::function<bool()>& done, int seconds = 20) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 50, QS_ALLINPUT);
        for (MSG msg; PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE);) DispatchMessageW(&msg);
    }
    return true;
}

// The recording server with its log in a file of this process; its
// `failAt`-th call fails (0: none). Registered only on demand, and never
// left registered. For suites built with its path.
#ifdef KELVARIN_RECORDER_DLL
class Recorder {
public:
    explicit Recorder(int failAt = 0) {
        SetEnvironmentVariableA("KELVARIN_EXCEL_LOG", m_log.c_str());
        SetEnvironmentVariableA("KELVARIN_EXCEL_FAIL_AT", std::to_string(failAt).c_str());
        DeleteFileA(m_log.c_str());
        Register(false);
    }
    ~Recorder() {
        Register(false);
        DeleteFileA(m_log.c_str());
    }
    static bool Register(bool on) {
        const std::string clsid = "{6B1E3C52-9A4D-4F0B-8C1E-2D7A5B9E4C31}",
                          server = "CLSID\\" + clsid + "\\InprocServer32";
        RegDeleteTreeA(HKEY_CLASSES_ROOT, "Excel.Application");
        RegDeleteTreeA(HKEY_CLASSES_ROOT, ("CLSID\\" + clsid).c_str());
        auto set = [](const std::string& key, const char* name, const std::string& value) {
            return RegSetKeyValueA(HKEY_CLASSES_ROOT, key.c_str(), name, REG_SZ, value.c_str(),
                                   static_cast<DWORD>(value.size() + 1)) == ERROR_SUCCESS;
        };
        return !on || (set("Excel.Application\\CLSID", nullptr, clsid) &&
                       set(server, nullptr, DosPath(KELVARIN_RECORDER_DLL)) &&
                       set(server, "ThreadingModel", "Apartment"));
    }
    std::vector<std::string> Lines() const {
        std::ifstream in(m_log, std::ios::binary);
        std::vector<std::string> lines;
        for (std::string line; std::getline(in, line);) lines.push_back(line);
        return lines;
    }

private:
    std::string m_log =
        "C:\\windows\\temp\\kelvarin-excel-" + std::to_string(GetCurrentProcessId()) + ".log";
};
#endif
