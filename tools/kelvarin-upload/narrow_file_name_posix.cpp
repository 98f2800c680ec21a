#include "narrow_file_name.h"

std::string NarrowFileName(const std::filesystem::path& path) {
    return path.string();
}
