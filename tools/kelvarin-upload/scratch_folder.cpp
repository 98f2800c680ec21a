#include "scratch_folder.h"

#include <fstream>
#include <iterator>
#include <random>

namespace fs = std::filesystem;

ScratchFolder::ScratchFolder(const std::string& prefix) {
    std::random_device random;
    for (int attempt = 0; attempt < 16 && m_path.empty(); ++attempt) {
        const fs::path candidate = fs::temp_directory_path(m_error) /
                                   (prefix + std::to_string(random()) + std::to_string(random()));
        if (!m_error && fs::create_directory(candidate, m_error)) m_path = candidate;
    }
    if (!m_path.empty())
        fs::permissions(m_path, fs::perms::owner_all, fs::perm_options::replace, m_error);
}

ScratchFolder::~ScratchFolder() {
    std::error_code ignored;
    if (!m_path.empty()) fs::remove_all(m_path, ignored);
}

bool ReadWholeFile(const fs::path& file, std::string& bytes) {
    std::ifstream in(file, std::ios::binary);
    if (!in) return false;
    bytes.assign(std::istreambuf_iterator<char>(in), {});
    return !in.bad();
}
