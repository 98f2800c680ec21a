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

// The recording server, registered for the lifetime of this object, with
// its log in a file of this process; its `failAt`-th call fails (0: none).
// For suites built with its path.
#ifdef KELVARIN_RECORDER_DLL
class Recorder {
public:
    explicit Recorder(int failAt = 0) {
        SetEnvironmentVariableA("KELVARIN_EXCEL_LOG", m_log.c_str());
        SetEnvironmentVariableA("KELVARIN_EXCEL_FAIL_AT", std::to_string(failAt).c_str());
        DeleteFileA(m_log.c_str());  // the log of an earlier process with this number
        // A failure shows as a server that cannot be created. With no
        // threading model, its objects live on the first thread to use them.
        RegSetValueA(HKEY_CLASSES_ROOT, "Excel.Application\\CLSID", REG_SZ, m_clsid.c_str() + 6, 0);
        RegSetValueA(HKEY_CLASSES_ROOT, (m_clsid + "\\InprocServer32").c_str(), REG_SZ,
                     DosPath(KELVARIN_RECORDER_DLL).c_str(), 0);
    }
    ~Recorder() {
        RegDeleteTreeA(HKEY_CLASSES_ROOT, "Excel.Application");
        RegDeleteTreeA(HKEY_CLASSES_ROOT, m_clsid.c_str());
    }
    std::vector<std::string> Lines() const {
        std::ifstream in(m_log, std::ios::binary);
        std::vector<std::string> lines;
        for (std::string line; std::getline(in, line);) lines.push_back(line);
        return lines;
    }

private:
    const std::string m_clsid = "CLSID\\{6B1E3C52-9A4D-4F0B-8C1E-2D7A5B9E4C31}";
    const std::string m_log =
        "C:\\windows\\temp\\kelvarin-excel-" + std::to_string(GetCurrentProcessId()) + ".log";
};
#endif
