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
// KELVARIN_EXCEL_FAIL_AT-th call fails (0: none). Registered only on demand,
// and never left registered. For suites built with its path.
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
        HMODULE dll = LoadLibraryA(DosPath(KELVARIN_RECORDER_DLL).c_str());
        using Entry = HRESULT(STDAPICALLTYPE*)();
        auto entry = reinterpret_cast<Entry>(reinterpret_cast<void*>(
            GetProcAddress(dll, on ? "DllRegisterServer" : "DllUnregisterServer")));
        const bool ok = entry && entry() == S_OK;
        FreeLibrary(dll);
        return ok;
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
