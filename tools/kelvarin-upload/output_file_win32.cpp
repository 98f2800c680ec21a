#include <windows.h>

#include "output_file.h"

namespace {

std::string Folder(const std::string& path) {
    const auto slash = path.find_last_of("\\/");
    if (slash == std::string::npos) return ".";
    return slash == 0 ? path.substr(0, 1) : path.substr(0, slash);
}

std::string BaseName(const std::string& path) {
    return path.substr(path.find_last_of("\\/") + 1);
}

std::string TempPrefix(const std::string& path) {
    return Folder(path) + "\\." + BaseName(path) + ".kelvarin-upload-";
}

std::string LastErrorText() {
    char* text = nullptr;
    const DWORD code = GetLastError();
    FormatMessageA(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, code, 0, reinterpret_cast<char*>(&text), 0, nullptr);
    std::string out = text ? text : "error " + std::to_string(code);
    LocalFree(text);
    while (!out.empty() && (out.back() == '\n' || out.back() == '\r' || out.back() == ' '))
        out.pop_back();
    return out;
}

// A temporary file of a killed run: one still open elsewhere cannot be
// deleted, so a running upload keeps its own.
void RemoveStaleTemporaries(const std::string& path) {
    WIN32_FIND_DATAA found;
    const std::string pattern = TempPrefix(path) + "*.tmp";
    HANDLE search = FindFirstFileA(pattern.c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return;
    do {
        DeleteFileA((Folder(path) + "\\" + found.cFileName).c_str());
    } while (FindNextFileA(search, &found));
    FindClose(search);
}

}  // namespace

std::string CheckOutputFile(const std::string& path, bool force) {
    const DWORD attributes = GetFileAttributesA(path.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES) {
        if (attributes & FILE_ATTRIBUTE_DIRECTORY) return path + " is a folder";
        if (!force) return path + " exists (--force replaces it)";
    }
    const DWORD folder = GetFileAttributesA(Folder(path).c_str());
    if (folder == INVALID_FILE_ATTRIBUTES || !(folder & FILE_ATTRIBUTE_DIRECTORY))
        return "no folder " + Folder(path) + " for " + path;
    return {};
}

WriteResult WriteFileAtomically(const std::string& path, const std::string& data, bool replace,
                                std::string& error, std::string& kept) {
    kept.clear();
    RemoveStaleTemporaries(path);
    const std::string temp = TempPrefix(path) + std::to_string(GetCurrentProcessId()) + ".tmp";
    HANDLE file = CreateFileA(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        error = LastErrorText();
        return WriteResult::Failed;
    }
    DWORD written = 0;
    const bool ok =
        WriteFile(file, data.data(), static_cast<DWORD>(data.size()), &written, nullptr) &&
        written == data.size() && FlushFileBuffers(file);
    if (!ok) error = LastErrorText();
    CloseHandle(file);
    WriteResult result = WriteResult::Failed;
    if (ok) {
        const DWORD flags = MOVEFILE_WRITE_THROUGH | (replace ? MOVEFILE_REPLACE_EXISTING : 0);
        if (MoveFileExA(temp.c_str(), path.c_str(), flags)) {
            result = WriteResult::Written;
        } else {
            const DWORD code = GetLastError();
            error = LastErrorText();
            if (code == ERROR_ALREADY_EXISTS || code == ERROR_FILE_EXISTS)
                result = WriteResult::Exists;
        }
    }
    if (result != WriteResult::Written) DeleteFileA(temp.c_str());
    return result;
}
