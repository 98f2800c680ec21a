#pragma once

#include <filesystem>
#include <string>
#include <system_error>

// A private folder (owner only) under the system's temporary folder, for
// what a program must write by name before it puts the result in place:
// a library's workbook, a copy of the history. Gone with this object.
class ScratchFolder {
public:
    explicit ScratchFolder(const std::string& prefix);
    ~ScratchFolder();
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    // Empty when no folder could be made; Error() then says why.
    const std::filesystem::path& Path() const { return m_path; }
    std::string Error() const { return m_error ? m_error.message() : "no temporary folder"; }

private:
    std::filesystem::path m_path;
    std::error_code m_error;
};

// The whole content of `file`; false when it cannot be read.
bool ReadWholeFile(const std::filesystem::path& file, std::string& bytes);
