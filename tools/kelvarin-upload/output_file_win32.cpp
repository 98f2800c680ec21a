#include <windows.h>

#include <vector>

#include "output_file.h"
#include "winapi/win32_text.h"

namespace {

std::string ErrorText(DWORD code) {
    const std::string text = SystemMessage(code);
    return text.empty() ? "error " + std::to_string(code) : text;
}

std::string LastErrorText() {
    return ErrorText(GetLastError());
}

// FILE as a full name, split after its folder's last separator: "\out.csv"
// is the current drive's root, "C:out.csv" is in drive C's current folder.
// `name` is empty when FILE ends in a separator.
struct FullName {
    std::wstring folder, name;

    std::wstring Path() const { return folder + name; }
    // ".FILE.kelvarin-upload-TOKEN.tmp": removed by a later run once nobody
    // holds it open.
    std::wstring Temp(const std::wstring& token) const {
        return folder + L"." + name + L".kelvarin-upload-" + token + L".tmp";
    }
    // "FILE.kelvarin-upload-TOKEN": a complete upload that could not be put
    // in place, which no later run removes.
    std::wstring Kept(const std::wstring& token) const {
        return folder + name + L".kelvarin-upload-" + token;
    }
};

bool Resolve(const std::string& path, FullName& out) {
    const std::wstring wide = WidenUtf8(path);
    std::vector<wchar_t> full(MAX_PATH);
    wchar_t* part = nullptr;
    DWORD size =
        GetFullPathNameW(wide.c_str(), static_cast<DWORD>(full.size()), full.data(), &part);
    if (size >= full.size()) {
        full.resize(size);
        size = GetFullPathNameW(wide.c_str(), size, full.data(), &part);
    }
    if (size == 0 || size >= full.size()) return false;
    const std::size_t split = part ? static_cast<std::size_t>(part - full.data()) : size;
    out.folder.assign(full.data(), split);
    out.name.assign(full.data() + split, size - split);
    return true;
}

std::wstring NewToken() {
    return std::to_wstring(GetCurrentProcessId()) + L"-" + std::to_wstring(GetTickCount());
}

// The temporary files of killed runs. A writer holds its own open from
// creation until it is in place or kept under another name, and an open
// asking to share nothing fails on a file someone holds: only files nobody
// holds are deleted, and by the handle that was checked.
void RemoveStaleTemporaries(const FullName& file) {
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW(file.Temp(L"*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return;
    do {
        HANDLE stale = CreateFileW((file.folder + found.cFileName).c_str(), DELETE, 0, nullptr,
                                   OPEN_EXISTING, FILE_FLAG_DELETE_ON_CLOSE, nullptr);
        if (stale != INVALID_HANDLE_VALUE) CloseHandle(stale);
    } while (FindNextFileW(search, &found));
    FindClose(search);
}

// Renames the open file to `to`, the handle staying open throughout.
bool RenameOpenFile(HANDLE file, const std::wstring& to, bool replace) {
    std::vector<char> buffer(sizeof(FILE_RENAME_INFO) + to.size() * sizeof(wchar_t));
    auto* info = reinterpret_cast<FILE_RENAME_INFO*>(buffer.data());
    info->ReplaceIfExists = replace;
    info->RootDirectory = nullptr;
    info->FileNameLength = static_cast<DWORD>(to.size() * sizeof(wchar_t));
    to.copy(info->FileName, to.size());
    return SetFileInformationByHandle(file, FileRenameInfo, info,
                                      static_cast<DWORD>(buffer.size()));
}

WriteResult Failure(std::string& error) {
    const DWORD code = GetLastError();
    error = ErrorText(code);
    return code == ERROR_ALREADY_EXISTS || code == ERROR_FILE_EXISTS ? WriteResult::Exists
                                                                     : WriteResult::Failed;
}

// Puts the complete, open temporary file in FILE's place, or keeps it under
// the kept name (else its own) and names it in `kept`. Closes `file`.
WriteResult Place(HANDLE file, const FullName& target, const std::wstring& token, bool replace,
                  std::string& error, std::string& kept) {
    const std::wstring keptName = target.Kept(token);
    std::wstring where = target.Temp(token);
    WriteResult result = WriteResult::Written;
    if (!replace) {
        if (!RenameOpenFile(file, target.Path(), false)) {
            result = Failure(error);
            if (RenameOpenFile(file, keptName, false)) where = keptName;
        }
        CloseHandle(file);
    } else {
        // ReplaceFileW gives the new file the old one's security and
        // attributes, but opens it itself: it is first moved, still held, to
        // a name that no other run's clean-up touches. With no old file
        // left (none, or taken away by a half-done replacement) a move does.
        if (RenameOpenFile(file, keptName, false)) where = keptName;
        CloseHandle(file);
        const bool placed = ReplaceFileW(target.Path().c_str(), where.c_str(), nullptr,
                                         REPLACEFILE_IGNORE_MERGE_ERRORS, nullptr, nullptr) ||
                            ((GetLastError() == ERROR_FILE_NOT_FOUND ||
                              GetLastError() == ERROR_UNABLE_TO_MOVE_REPLACEMENT) &&
                             MoveFileExW(where.c_str(), target.Path().c_str(),
                                         MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH));
        if (!placed) result = Failure(error);
    }
    if (result != WriteResult::Written) kept = NarrowUtf16(where);
    return result;
}

}  // namespace

std::string CheckOutputFile(const std::string& path, bool force) {
    FullName file;
    if (!Resolve(path, file)) return "cannot use " + path + ": " + LastErrorText();
    const DWORD attributes = GetFileAttributesW(file.Path().c_str());
    if (file.name.empty() ||
        (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)))
        return path + " is a folder";
    if (attributes != INVALID_FILE_ATTRIBUTES && !force)
        return path + " exists (--force replaces it)";
    const DWORD folder = GetFileAttributesW(file.folder.c_str());
    if (folder == INVALID_FILE_ATTRIBUTES || !(folder & FILE_ATTRIBUTE_DIRECTORY))
        return "no folder " + NarrowUtf16(file.folder) + " for " + path;
    // Only creating a file tells: the folder's attributes do not, nor do
    // permissions on a read-only medium or a share.
    HANDLE probe = CreateFileW(file.Temp(NewToken()).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                               FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    if (probe == INVALID_HANDLE_VALUE)
        return "cannot write in " + NarrowUtf16(file.folder) + ": " + LastErrorText();
    CloseHandle(probe);
    return {};
}

WriteResult WriteFileAtomically(const std::string& path, const std::string& data, bool replace,
                                std::string& error, std::string& kept) {
    kept.clear();
    FullName target;
    if (!Resolve(path, target)) {
        error = LastErrorText();
        return WriteResult::Failed;
    }
    RemoveStaleTemporaries(target);
    const std::wstring token = NewToken();
    // Shared with nobody; DELETE to rename it.
    HANDLE file = CreateFileW(target.Temp(token).c_str(), GENERIC_WRITE | DELETE, 0, nullptr,
                              CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        error = LastErrorText();
        return WriteResult::Failed;
    }
    DWORD written = 0;
    if (!WriteFile(file, data.data(), static_cast<DWORD>(data.size()), &written, nullptr) ||
        written != data.size() || !FlushFileBuffers(file)) {
        error = LastErrorText();
        FILE_DISPOSITION_INFO discard{TRUE};
        SetFileInformationByHandle(file, FileDispositionInfo, &discard, sizeof discard);
        CloseHandle(file);
        return WriteResult::Failed;
    }
    return Place(file, target, token, replace, error, kept);
}
